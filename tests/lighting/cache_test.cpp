// The caches: a lighting object's specular and view-dependent maps (one build per key, failed
// builds remembered, mark and sweep, emptied by a new probe) and the process-wide
// reflectance-coefficient cache (shared for the library's own models only, bounded).
#include <gtest/gtest.h>

#include "iximage/lighting/brdf_coeff_cache.h"
#include "iximage/lighting/ggx_reflectance.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "lighting_test_util.h"

namespace {

using ixImage::ImageBasedLighting;
using ixTest::Rgb;

// A Phong lobe of a class of the caller's own that counts how often it is sampled.
class CountingPhong : public ixImage::PhongReflectance {
public:
    using PhongReflectance::PhongReflectance;
    void sampleBrdf(ixUtil::ArrayN<3, Rgb>& samples, Rgb& norm) const override {
        ++samplings;
        PhongReflectance::sampleBrdf(samples, norm);
    }
    mutable int samplings = 0;
};

class Caches : public ::testing::Test {
protected:
    void SetUp() override {
        ixImage::clearBrdfCoeffCache();
        ASSERT_TRUE(ixTest::useProbe(lighting, probe.get()));
    }
    void TearDown() override { ixImage::clearBrdfCoeffCache(); }
    ix::Reference<ixImage::Float3Image> probe = ixTest::makeProbe(64, ixTest::skyRadiance);
    ImageBasedLighting lighting;
};

// One build per key, a 200 x 100 latitude-longitude map; a zero norm is remembered as a null
// map. New entries start used; a sweep keeps exactly the marked ones.
TEST_F(Caches, SpecularMapsBuildOncePerKeyAndSweepTheUnmarked) {
    const CountingPhong a(4), sameKey(4), b(16);
    ixTest::NoGreenReflectance dark(-7);
    ixImage::EnvironmentMap* mapA = lighting.getSpecularMap(a, nullptr);
    ASSERT_NE(mapA, nullptr);
    EXPECT_EQ(lighting.getSpecularMap(sameKey, nullptr), mapA);
    const ixImage::Image* image = mapA->getImage();
    EXPECT_TRUE(mapA->getType() == ixImage::EnvironmentMap::kLatLong && image &&
                image->getPixelType() == ixImage::kPixelFloat3 && image->getWidth() == 200 &&
                image->getHeight() == 100);
    ixImage::EnvironmentMap* mapB = lighting.getSpecularMap(b, nullptr);
    EXPECT_NE(mapB, mapA);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);

    lighting.deleteUnusedSpecularMaps();
    EXPECT_EQ(lighting.getSpecularMap(b, nullptr), mapB);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(a.samplings + sameKey.samplings + b.samplings + dark.samplings, 3);

    lighting.markAllSpecularMapsUnused();
    lighting.markSpecularMapUsed(a.getKey());
    lighting.markSpecularMapUsed(12345);  // absent: changes nothing
    lighting.deleteUnusedSpecularMaps();
    EXPECT_EQ(lighting.getSpecularMap(a, nullptr), mapA);
    EXPECT_EQ(a.samplings, 1);
    EXPECT_NE(lighting.getSpecularMap(b, nullptr), nullptr);
    EXPECT_EQ(b.samplings, 2);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(dark.samplings, 2);
}

// Without a probe nothing is built or remembered; a copy carries the entries along; a new
// probe (even a refused one) empties the cache, so the reflectance is sampled again.
TEST_F(Caches, ProbeChangesEmptyTheSpecularCache) {
    ImageBasedLighting empty;
    const CountingPhong phong(8);
    EXPECT_EQ(empty.getSpecularMap(phong, nullptr), nullptr);
    EXPECT_EQ(phong.samplings, 0);
    ASSERT_TRUE(ixTest::useProbe(empty, probe.get()));
    EXPECT_NE(empty.getSpecularMap(phong, nullptr), nullptr);
    EXPECT_EQ(phong.samplings, 1);

    ixTest::NoGreenReflectance dark(5);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    ImageBasedLighting copy(lighting);
    EXPECT_EQ(copy.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(dark.samplings, 1);
    ix::Reference<ixImage::Float3Image> sphere = new ixImage::Float3Image;
    sphere->setSize(16, 16);
    EXPECT_FALSE(ixTest::useProbe(lighting, sphere.get()));
    EXPECT_TRUE(ixTest::useProbe(lighting, probe.get()));
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(dark.samplings, 2);
}

// View-dependent maps share the specular maps' keys and mark-and-sweep protocol; views below
// the horizon read as the view projected onto it.
TEST_F(Caches, ViewDependentMapsFollowTheCacheProtocol) {
    const ixImage::GgxReflectance ggx(0.5);
    const ix::Reference<ixImage::ViewDependentMap> first =
        lighting.getViewDependentMap(ggx, nullptr);
    ASSERT_TRUE(first);
    EXPECT_EQ(lighting.getViewDependentMap(ixImage::GgxReflectance(0.5004), nullptr), first.get());
    lighting.markAllSpecularMapsUnused();
    lighting.markSpecularMapUsed(ggx.getKey());
    lighting.deleteUnusedSpecularMaps();
    EXPECT_EQ(first->getRefCount(), 2) << "kept by the cache";
    lighting.markAllSpecularMapsUnused();
    lighting.deleteUnusedSpecularMaps();
    EXPECT_EQ(first->getRefCount(), 1) << "released by the sweep";

    const ixLinear::VectorFlt n(0.6f, 0.0f, 0.8f), below(0.8f, 0.3f, -0.9f),
        onHorizon(0.944f, 0.3f, -0.708f);  // below minus its part along n
    const auto a = first->evaluate(n, below), b = first->evaluate(n, onHorizon);
    EXPECT_NEAR(a.red, b.red, 1e-5f * b.red);
    EXPECT_GT(b.red, 0.0f);
    EXPECT_EQ(first->evaluate(ixLinear::VectorFlt(0, 0, 0), n).red, 0.0f);
}

// A second probe, in another lighting object, reuses the coefficients of the first build (the
// same array, not a new projection) yet gets its own map; a caller's class is sampled per build.
TEST_F(Caches, CoefficientsSharedAcrossProbesForTheLibrarysModelsOnly) {
    ImageBasedLighting white;
    auto whiteProbe = ixTest::makeProbe(64, ixTest::whiteRadiance);
    ASSERT_TRUE(ixTest::useProbe(white, whiteProbe.get()));
    const ixImage::PhongReflectance phong(8);
    const ixImage::LambertReflectance lambert;
    const CountingPhong counting(9);  // a key of its own: lighting objects cache maps by key
    const struct {
        const ixImage::ReflectanceFunction& rf;
        bool shared;
    } cases[] = {{phong, true}, {lambert, true}, {counting, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(ixImage::isSharedByKey(c.rf), c.shared) << c.rf.getKey();
        ixImage::EnvironmentMap* first = white.getSpecularMap(c.rf, nullptr);
        ixImage::BrdfCoeffEntry before, after;
        EXPECT_EQ(ixImage::findBrdfCoeffs(c.rf, before), c.shared);
        ixImage::EnvironmentMap* second = lighting.getSpecularMap(c.rf, nullptr);
        ASSERT_TRUE(first && second);
        EXPECT_NE(first, second);
        EXPECT_EQ(ixImage::findBrdfCoeffs(c.rf, after), c.shared);
        EXPECT_EQ(before.coeffs, after.coeffs) << c.rf.getKey();
        EXPECT_EQ(before.coeffs != nullptr, c.shared);
    }
    EXPECT_EQ(counting.samplings, 2);
    EXPECT_EQ(ixImage::getBrdfCoeffCacheSize(), 2);
}

// One entry past the bound evicts the least recently used one, and a lookup counts as a use.
TEST_F(Caches, CoefficientCacheEvictsTheLeastRecentlyUsed) {
    const int n = ixImage::kBrdfCoeffCacheCapacity;
    ixImage::BrdfCoeffEntry entry;
    entry.norm = Rgb(1.0, 1.0, 1.0);
    for (int e = 0; e < n; ++e) ixImage::storeBrdfCoeffs(ixImage::PhongReflectance(e), entry);
    ASSERT_TRUE(ixImage::findBrdfCoeffs(ixImage::PhongReflectance(0), entry));  // 1 is now oldest
    ixImage::storeBrdfCoeffs(ixImage::PhongReflectance(n), entry);
    EXPECT_EQ(ixImage::getBrdfCoeffCacheSize(), n);
    for (int e : {0, 1, 2, n})
        EXPECT_EQ(ixImage::findBrdfCoeffs(ixImage::PhongReflectance(e), entry), e != 1) << e;
}

}  // namespace
