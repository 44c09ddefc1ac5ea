// The process-wide reflectance-coefficient cache: shared across probes and lighting objects for
// the library's own models, never for a caller's class, bounded.
#include <gtest/gtest.h>

#include "iximage/lighting/brdf_coeff_cache.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "lighting_test_util.h"

namespace {

using ixImage::ImageBasedLighting;
using Rgb = ixImage::FloatPixel3<double>;

class CountingPhong : public ixImage::PhongReflectance {
public:
    using PhongReflectance::PhongReflectance;
    void sampleBrdf(ixUtil::ArrayN<3, Rgb>& samples, Rgb& norm) const override {
        ++samplings;
        PhongReflectance::sampleBrdf(samples, norm);
    }
    mutable int samplings = 0;
};

struct Lit {
    explicit Lit(ixTest::Rgb (*radiance)(const ixTest::Dir&))
        : probe(ixTest::makeLatLongProbe(64, 32, radiance)) {
        ImageBasedLighting::setRotationMatrixFilename(ixOS::Filename(ixTest::rotationMatrixFile()));
        ixUtil::Error error;
        lighting.setLightProbe(probe.get(), error);
    }
    ix::Reference<ixImage::Float3Image> probe;
    ImageBasedLighting lighting;
};

// A second probe, in another lighting object, reuses the coefficients of the first build (the
// same array, not a new projection) yet gets its own map; a derived class is sampled per build.
TEST(BrdfCoeffCache, SharedAcrossProbesForShippedModelsOnly) {
    ixImage::clearBrdfCoeffCache();
    Lit white(ixTest::whiteRadiance), sky(ixTest::skyRadiance);
    const ixImage::PhongReflectance phong(8);
    const ixImage::LambertReflectance lambert;
    const CountingPhong counting(9);  // a key of its own: lighting objects cache maps by key
    struct Case {
        const ixImage::ReflectanceFunction& rf;
        bool shared;
    };
    for (const Case& c : {Case{phong, true}, Case{lambert, true}, Case{counting, false}}) {
        EXPECT_EQ(ixImage::isSharedByKey(c.rf), c.shared) << c.rf.getKey();
        ixImage::EnvironmentMap* first = white.lighting.getSpecularMap(c.rf, nullptr);
        ixImage::BrdfCoeffEntry before, after;
        EXPECT_EQ(ixImage::findBrdfCoeffs(c.rf, before), c.shared);
        ixImage::EnvironmentMap* second = sky.lighting.getSpecularMap(c.rf, nullptr);
        ASSERT_TRUE(first && second);
        EXPECT_NE(first, second);
        EXPECT_EQ(ixImage::findBrdfCoeffs(c.rf, after), c.shared);
        EXPECT_EQ(before.coeffs, after.coeffs) << c.rf.getKey();
        EXPECT_EQ(before.coeffs != nullptr, c.shared);
    }
    EXPECT_EQ(counting.samplings, 2);
    EXPECT_EQ(ixImage::getBrdfCoeffCacheSize(), 2);
    ixImage::clearBrdfCoeffCache();
    EXPECT_EQ(ixImage::getBrdfCoeffCacheSize(), 0);
}

// One entry past the bound evicts the least recently used one, and a lookup counts as a use.
TEST(BrdfCoeffCache, EvictsTheLeastRecentlyUsed) {
    ixImage::clearBrdfCoeffCache();
    const int n = ixImage::kBrdfCoeffCacheCapacity;
    ixImage::BrdfCoeffEntry entry;
    entry.norm = Rgb(1.0, 1.0, 1.0);
    for (int e = 0; e < n; ++e) ixImage::storeBrdfCoeffs(ixImage::PhongReflectance(e), entry);
    ASSERT_TRUE(ixImage::findBrdfCoeffs(ixImage::PhongReflectance(0), entry));  // 1 is now oldest
    ixImage::storeBrdfCoeffs(ixImage::PhongReflectance(n), entry);
    EXPECT_EQ(ixImage::getBrdfCoeffCacheSize(), n);
    const struct {
        int exponent;
        bool present;
    } cases[] = {{0, true}, {1, false}, {2, true}, {n, true}};
    for (const auto& c : cases)
        EXPECT_EQ(ixImage::findBrdfCoeffs(ixImage::PhongReflectance(c.exponent), entry), c.present)
            << "exponent " << c.exponent;
    ixImage::clearBrdfCoeffCache();
}

}  // namespace
