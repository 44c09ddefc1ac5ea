// Specular lighting: every reflectance model in a white furnace, the measured file format, cache
// keys, a lighting object's map caches, the process-wide coefficient cache, the light window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "iximage/lighting/brdf_coeff_cache.h"
#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/detail/sh_tables.h"
#include "iximage/sh/reflection_map.h"
#include "lighting_test_util.h"

namespace {

using ixImage::ImageBasedLighting;
using ixImage::LightWindow;
using ixImage::MeasuredReflectance;
using ixTest::kPi;
using ixTest::Rgb;

// Directional albedo at normal incidence of modelCos(alpha, f0): the integral of f(w, n)
// cos(theta) over the hemisphere, midpoint rule on a 400 x 800 (theta, phi) grid.
double albedoAtNormal(double alpha, double f0) {
    const double dt = kPi / 2 / 400, dp = 2 * kPi / 800, wo[3] = {0, 0, 1};
    double sum = 0;
    for (int i = 0; i < 400; ++i)
        for (int k = 0; k < 800; ++k) {
            const double t = (i + 0.5) * dt, p = (k + 0.5) * dp;
            const double wi[3] = {std::sin(t) * std::cos(p), std::sin(t) * std::sin(p),
                                  std::cos(t)};
            sum += ixTest::modelCos(alpha, f0, wi, wo) * std::sin(t) * dt * dp;
        }
    return sum;
}

// A constant probe of 1 gives, at every normal, the directional albedo at normal incidence:
// 1 for the normalised Phong and Lambert lobes. The fixed polar grid of the samples and the
// truncated series cost up to 1.6 % (Phong 64), hence 2 % at every pixel.
TEST(ReflectanceModels, WhiteFurnaceGivesTheAlbedoAtNormalIncidence) {
    auto probe = ixTest::makeProbe(200, ixTest::whiteRadiance);
    ixImage::ImageBasedLighting lighting;
    ASSERT_TRUE(ixTest::useProbe(lighting, probe.get()));
    for (const ixTest::Model& c : ixTest::allModels()) {
        const double albedo = c.phong > 0 ? 1.0 : albedoAtNormal(c.alpha, c.f0);
        const ixImage::Float3Image* image = ixTest::specularImage(lighting, *c.rf);
        ASSERT_NE(image, nullptr) << c.name;
        for (int ch = 0; ch < 3; ++ch) {
            const double expected = albedo * (c.tinted ? ixTest::kTableTint[ch] : 1.0);
            double worst = 0;
            for (int i = 0; i < 200 * 100; ++i)
                worst = std::max(worst,
                                 std::fabs(ixTest::channel(image->data()[i], ch) / expected - 1));
            EXPECT_LT(worst, 0.02) << c.name << " channel " << ch;
        }
    }
}

void writeTableFile(const std::string& path, const std::vector<double>& stored, int32_t dimH,
                    long long truncateTo) {
    std::string bytes;
    for (int32_t d : {dimH, int32_t(90), int32_t(180)})
        bytes.append(reinterpret_cast<char*>(&d), 4);
    bytes.append(reinterpret_cast<const char*>(stored.data()), stored.size() * sizeof(double));
    if (truncateTo >= 0) bytes.resize(size_t(truncateTo));  // cut, or padded with zeros
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// A whole file reads back to its table (the key hashes the values, which the white furnace
// checks); damaged or missing files are refused clearly. Scratch files are per process.
TEST(MeasuredFile, ReadsWholeTablesAndRefusesDamagedOnes) {
    const std::vector<double> stored = ixTest::ggxTable(0.5, 0.2);
    const long long full = MeasuredReflectance::kFileBytes;
    const struct {
        int32_t dimH;
        long long bytes;       // < 0: the whole table; 0: no file
        const char* expected;  // null: accepted
    } cases[] = {{90, -1, nullptr},
                 {91, -1, "has dimensions 91 x 90 x 180"},
                 {90, full - 8, "is truncated"},
                 {90, 11, "is truncated: 11 bytes"},
                 {90, full + 1, "is too long"},
                 {90, 0, "Cannot open"}};
    const std::string path =
        ::testing::TempDir() + "ggx_table_" + std::to_string(getpid()) + ".binary";
    for (const auto& c : cases) {
        if (c.bytes != 0) writeTableFile(path, stored, c.dimH, c.bytes);
        ixUtil::Error error;
        const std::unique_ptr<MeasuredReflectance> read =
            MeasuredReflectance::readFile(path, error);
        std::remove(path.c_str());
        if (!c.expected) {
            ASSERT_TRUE(read) << error.getMessage();
            EXPECT_EQ(read->getKey(), MeasuredReflectance(stored).getKey());
            continue;
        }
        EXPECT_FALSE(read) << c.expected;
        EXPECT_EQ(error.getCode(), 1);
        EXPECT_NE(error.getMessage().find(c.expected), std::string::npos) << error.getMessage();
    }
}

// Keys follow the quantised (and clamped) parameters: equal effective parameters share a cache
// entry, distinct ones never do, and no model's key meets another's (every model is listed).
TEST(ReflectanceKeys, QuantisedParametersNameTheEntry) {
    using ixImage::BlinnPhongReflectance;
    using ixImage::GgxReflectance;
    using ixImage::PhongReflectance;
    EXPECT_EQ(GgxReflectance(0.5).getKey(), GgxReflectance(0.5004).getKey());
    EXPECT_EQ(GgxReflectance(0.5004).getAlpha(), 0.5);
    EXPECT_EQ(BlinnPhongReflectance(16).getKey(), BlinnPhongReflectance(16.0003).getKey());
    EXPECT_EQ(PhongReflectance(-5).getExponent(), 0);
    EXPECT_EQ(PhongReflectance(-5).getKey(), PhongReflectance(0).getKey());
    EXPECT_EQ(PhongReflectance(0x7FFFFFFF).getExponent(), PhongReflectance::kMaxExponent);
    std::vector<int> keys = {GgxReflectance(0.5).getKey(),
                             GgxReflectance(0.501).getKey(),
                             GgxReflectance(0.5, 0.999).getKey(),
                             GgxReflectance(1.0, 0.0).getKey(),
                             GgxReflectance(0.001, 1.0).getKey(),
                             BlinnPhongReflectance(16.001).getKey(),
                             BlinnPhongReflectance(1e9).getKey(),
                             PhongReflectance(0).getKey(),
                             PhongReflectance(17).getKey(),
                             PhongReflectance(0xFFFFFF).getKey(),
                             MeasuredReflectance(ixTest::ggxTable(0.5, 0.21)).getKey()};
    for (const ixTest::Model& m : ixTest::allModels()) keys.push_back(m.rf->getKey());
    for (size_t a = 0; a < std::size(keys); ++a)
        for (size_t b = a + 1; b < std::size(keys); ++b)
            EXPECT_NE(keys[a], keys[b]) << "cases " << a << " and " << b;
}

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

// The squared norm sampleBrdf reports is the sum over its own samples of
// sample^2 sin(theta_i) sin(theta_j) (pi / 100)^3, summed here plainly.
TEST(ReflectanceModels, NormIsTheSquaredNormOfTheSamples) {
    const ixImage::PhongReflectance phong(8);
    const ixImage::LambertReflectance lambert;
    const ixImage::ReflectanceFunction* models[] = {&phong, &lambert};
    for (const ixImage::ReflectanceFunction* rf : models) {
        ixUtil::ArrayN<3, ixTest::Rgb> samples({100, 100, 200});
        ixTest::Rgb norm;
        rf->sampleBrdf(samples, norm);
        const double step = ixTest::kPi / 100;
        double sum = 0;
        for (int i = 0; i < 100; ++i)
            for (int j = 0; j < 100; ++j)
                for (int k = 0; k < 200; ++k)
                    sum += samples(i, j, k).green * samples(i, j, k).green * std::sin(i * step) *
                           std::sin(j * step);
        EXPECT_NEAR(norm.green, sum * step * step * step, 1e-9 * norm.green);
    }
}

// Phong and Lambert skip their 48 MB sample array (their samples depend on the incident angle
// alone): a subclass, which samples itself in full, must get the same map bit for bit and the
// same order analysis (its printed norms included).
TEST_F(Caches, IncidentAngleShortcutEqualsFullSampling) {
    for (int exponent : {1, 32}) {
        const ixImage::PhongReflectance exact(exponent);
        const ixTest::CountingPhong sampled(exponent);
        const ixImage::ReflectanceFunction* models[2] = {&exact, &sampled};
        std::string printed[2];
        std::vector<ixImage::FloatPixel3<float>> pixels[2];
        for (int k = 0; k < 2; ++k) {
            ImageBasedLighting own;
            ASSERT_TRUE(ixTest::useProbe(own, probe.get()));
            testing::internal::CaptureStdout();
            const ixImage::Float3Image* image = ixTest::specularImage(own, *models[k]);
            std::fflush(stdout);
            printed[k] = testing::internal::GetCapturedStdout();
            ASSERT_NE(printed[k].find("Percentage accuracy"), std::string::npos);
            ASSERT_NE(image, nullptr);
            pixels[k].assign(image->data(), image->data() + 200 * 100);
        }
        EXPECT_EQ(sampled.samplings, 1);
        EXPECT_EQ(printed[0], printed[1]) << "Phong " << exponent;
        EXPECT_EQ(0, std::memcmp(pixels[0].data(), pixels[1].data(), sizeof(pixels[0][0]) * 20000))
            << "Phong " << exponent;
    }
}

// One build per key, a 200 x 100 latitude-longitude map; a zero norm is remembered as a null
// map. New entries start used; a sweep keeps exactly the marked ones.
TEST_F(Caches, SpecularMapsBuildOncePerKeyAndSweepTheUnmarked) {
    const ixTest::CountingPhong a(4), sameKey(4), b(16);
    const ixTest::CountingPhong dark(7, true);
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
    const ixTest::CountingPhong phong(8);
    EXPECT_EQ(empty.getSpecularMap(phong, nullptr), nullptr);
    EXPECT_EQ(phong.samplings, 0);
    ASSERT_TRUE(ixTest::useProbe(empty, probe.get()));
    EXPECT_NE(empty.getSpecularMap(phong, nullptr), nullptr);
    EXPECT_EQ(phong.samplings, 1);

    const ixTest::CountingPhong dark(5, true);
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

// Another lighting object reuses the first build's coefficients (the same array) for its own
// map, for the library's models only: a caller's class is sampled per build.
TEST_F(Caches, CoefficientsSharedAcrossProbesForTheLibrarysModelsOnly) {
    ImageBasedLighting white;
    auto whiteProbe = ixTest::makeProbe(64, ixTest::whiteRadiance);
    ASSERT_TRUE(ixTest::useProbe(white, whiteProbe.get()));
    const ixImage::PhongReflectance phong(8);
    const ixImage::LambertReflectance lambert;
    const ixTest::CountingPhong counting(
        9);  // a key of its own: lighting objects cache maps by key
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

using Brdf = ixUtil::ArrayN<3, ixImage::FloatPixel3<double>>;

std::unique_ptr<Brdf> phongCoeffs(int n) {
    Brdf samples({100, 100, 200});
    std::unique_ptr<Brdf> brdf(new Brdf({21, 21, 21}));
    ixImage::FloatPixel3<double> norm;
    ixImage::PhongReflectance(n).sampleBrdf(samples, norm);
    ixImage::computeBrdfCoeffs(samples, *brdf, 10);
    return brdf;
}

// Unclamped map values (channel mean) under the windowed light, on the map grid: along the
// pixel's own axis only the q = 0 terms survive.
std::vector<double> unclampedMap(const ixImage::ImageBasedLighting& lighting, const Brdf& brdf,
                                 const LightWindow& window) {
    ixImage::SphericalHarmonics<ixImage::FloatPixel3<double>> light(*lighting.getLightCoeffs());
    ixImage::applyLightWindow(window, light);
    ixImage::ShrmImage shrm;
    ixImage::computeReflectionCoeffs(light, brdf, 20, 10, shrm, nullptr);
    const ixImage::LegendreTable& legendre = ixImage::sphericalHarmonicTables().legendre;
    std::vector<double> values(200 * 100, 0.0);
    for (int i = 0; i < 200 * 100; ++i)
        for (int p = 0; p <= 10; ++p) {
            const ixImage::FloatPixel3<double>& c = shrm.data()[i].coeffs[p * p + p];
            values[size_t(i)] +=
                (c.red + c.green + c.blue) / 3 * ixImage::legendreRealAt(legendre, p, 0, 0.0);
        }
    return values;
}

// Ringing: a one-pixel sun under Phong 256, whose lobe reaches past band 20, gives the truncated
// series negative lobes of more than 1 % of the brute-force peak (before the map's clamp at 0),
// which the Hann and Lanczos windows all but remove.
TEST(LightWindow, WindowsRemoveTheNegativeLobesOfAPointSun) {
    const ixTest::Dir sun = ixTest::pixelDirection(40, 90, 256, 128);
    auto probe = ixTest::makeProbe(256, [&sun](const ixTest::Dir& d) {
        const double s = ixTest::dot(d, sun) > 0.99999 ? 3000 : 0.1;
        return ixTest::Rgb(s, s, s);
    });
    ixImage::ImageBasedLighting lighting;
    ASSERT_TRUE(ixTest::useProbe(lighting, probe.get()));
    ixImage::Irradiance irradiance;  // asking for it computes the light coefficients
    lighting.getIrradiance(irradiance, nullptr);
    ASSERT_NE(lighting.getLightCoeffs(), nullptr);

    const ixTest::Rgb peak = ixTest::phongPrefilter(ixTest::WeightedSamples(*probe), sun, 256);
    const std::unique_ptr<Brdf> brdf = phongCoeffs(256);
    const LightWindow windows[] = {
        {LightWindow::kNone, 0}, {LightWindow::kHann, 0}, {LightWindow::kLanczos, 0}};
    double mostNegative[3];
    for (int k = 0; k < 3; ++k) {
        const std::vector<double> map = unclampedMap(lighting, *brdf, windows[k]);
        mostNegative[k] =
            *std::min_element(map.begin(), map.end()) / ((peak.red + peak.green + peak.blue) / 3);
        std::printf("window %d: most negative %.5f of the peak\n", k, mostNegative[k]);
    }
    EXPECT_LT(mostNegative[0], -0.01) << "no ringing to control";
    EXPECT_GT(mostNegative[1], 0.02 * mostNegative[0]) << "Hann";
    EXPECT_GT(mostNegative[2], 0.1 * mostNegative[0]) << "Lanczos";

    // The lighting object's own maps follow the window it is given.
    const std::vector<double> expected = unclampedMap(lighting, *phongCoeffs(32), windows[1]);
    lighting.setLightWindow(windows[1]);
    const ixImage::Float3Image* image =
        ixTest::specularImage(lighting, ixImage::PhongReflectance(32));
    ASSERT_NE(image, nullptr);
    for (int i = 0; i < 200 * 100; i += 97) {
        const ixImage::FloatPixel3<float>& v = image->data()[i];
        EXPECT_NEAR((v.red + v.green + v.blue) / 3, std::max(expected[size_t(i)], 0.0),
                    1e-5 * (1 + expected[size_t(i)]))
            << i;
    }
}

}  // namespace
