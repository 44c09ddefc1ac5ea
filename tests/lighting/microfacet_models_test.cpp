// The two-direction reflectances (GGX, Blinn-Phong, a measured table): white furnace against an
// albedo integrated here, the measured file format round trip and its refusals, cache keys.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "iximage/lighting/blinn_phong_reflectance.h"
#include "iximage/lighting/ggx_reflectance.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/measured_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "lighting/lighting_test_util.h"
#include "lighting/reflectance_reference.h"

namespace {

using ixImage::FloatPixel3;
using BrdfCos = std::function<double(const double*, const double*)>;

// Directional albedo at normal incidence: the integral of f(w, n) cos(theta) over the
// hemisphere, midpoint rule on a 400 x 800 (theta, phi) grid.
double albedoAtNormal(const BrdfCos& brdfCos) {
    const double pi = ixTest::kPi, dt = pi / 2 / 400, dp = 2 * pi / 800;
    const double wo[3] = {0, 0, 1};
    double sum = 0;
    for (int i = 0; i < 400; ++i)
        for (int k = 0; k < 800; ++k) {
            const double t = (i + 0.5) * dt, p = (k + 0.5) * dp;
            const double wi[3] = {std::sin(t) * std::cos(p), std::sin(t) * std::sin(p),
                                  std::cos(t)};
            sum += brdfCos(wi, wo) * std::sin(t) * dt * dp;
        }
    return sum;
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

class MicrofacetModels : public ::testing::Test {
protected:
    void SetUp() override {
        ixImage::ImageBasedLighting::setRotationMatrixFilename(
            ixOS::Filename(ixTest::rotationMatrixFile()));
    }
    // The map of rf under probe, with error if the build fails.
    static const ixImage::Float3Image* mapOf(ixImage::ImageBasedLighting& lighting,
                                             const ixImage::ReflectanceFunction& rf) {
        ixImage::EnvironmentMap* map = lighting.getSpecularMap(rf, nullptr);
        return map ? static_cast<const ixImage::Float3Image*>(map->getImage()) : nullptr;
    }
};

// A constant probe of 1 gives, at every normal, the directional albedo at normal incidence.
TEST_F(MicrofacetModels, WhiteFurnaceGivesTheAlbedoAtNormalIncidence) {
    ix::Reference<ixImage::Float3Image> probe =
        ixTest::makeLatLongProbe(200, 100, ixTest::whiteRadiance);
    ixImage::ImageBasedLighting lighting;
    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
    ixImage::GgxReflectance ggx3(0.3), ggx6(0.6, 0.04);
    ixImage::BlinnPhongReflectance blinn16(16), blinn64(64);
    ixImage::MeasuredReflectance measured(ixTest::ggxTable(0.4, 0.1));
    const struct {
        const char* name;
        const ixImage::ReflectanceFunction* rf;
        double alpha, f0, blinn;  // the reference: Blinn-Phong when blinn > 0, else GGX
        bool tinted;              // the measured table's channel tints
    } cases[] = {{"GGX 0.3", &ggx3, 0.3, 1, 0, false},
                 {"GGX 0.6 f0 0.04", &ggx6, 0.6, 0.04, 0, false},
                 {"Blinn-Phong 16", &blinn16, 0, 0, 16, false},
                 {"Blinn-Phong 64", &blinn64, 0, 0, 64, false},
                 {"measured", &measured, 0.4, 0.1, 0, true}};
    for (const auto& c : cases) {
        const double albedo = albedoAtNormal([&c](const double* i, const double* o) {
            return c.blinn > 0 ? ixTest::blinnPhongCos(c.blinn, i, o)
                               : ixTest::ggxCos(c.alpha, c.f0, i, o);
        });
        const ixImage::Float3Image* image = mapOf(lighting, *c.rf);
        ASSERT_NE(image, nullptr) << c.name;
        for (int y = 0; y < 100; y += 9)
            for (int x = 0; x < 200; x += 13) {
                const FloatPixel3<float>& v = image->at(x, y);
                const float got[3] = {v.red, v.green, v.blue};
                for (int ch = 0; ch < 3; ++ch) {
                    const double expected = albedo * (c.tinted ? ixTest::kTableTint[ch] : 1.0);
                    EXPECT_NEAR(got[ch], expected, 0.015 * expected)
                        << c.name << " pixel " << x << ", " << y << " channel " << ch;
                }
            }
    }
}

// A table file written from GGX(0.5, 0.2), tinted per channel, reads back to a reflectance
// whose map equals the analytic model's map (times the tint) within 1 % on a smooth sky.
TEST_F(MicrofacetModels, MeasuredFileReproducesTheAnalyticMap) {
    const std::string path =
        ::testing::TempDir() + "ggx_table_" + std::to_string(getpid()) + ".binary";
    const std::vector<double> stored = ixTest::ggxTable(0.5, 0.2);
    writeTableFile(path, stored, 90, -1);
    ixUtil::Error error;
    std::unique_ptr<ixImage::MeasuredReflectance> measured =
        ixImage::MeasuredReflectance::readFile(path, error);
    std::remove(path.c_str());
    ASSERT_TRUE(measured) << error.getMessage();
    EXPECT_EQ(measured->getKey(), ixImage::MeasuredReflectance(stored).getKey());

    ix::Reference<ixImage::Float3Image> probe =
        ixTest::makeLatLongProbe(200, 100, ixTest::skyRadiance);
    ixImage::ImageBasedLighting lighting;
    lighting.setLightProbe(probe.get(), error);
    const ixImage::Float3Image* got = mapOf(lighting, *measured);
    const ixImage::Float3Image* want = mapOf(lighting, ixImage::GgxReflectance(0.5, 0.2));
    ASSERT_TRUE(got && want);
    ixTest::RelativeRms rms[3];
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            rms[0].add(got->at(x, y).red, want->at(x, y).red * ixTest::kTableTint[0]);
            rms[1].add(got->at(x, y).green, want->at(x, y).green * ixTest::kTableTint[1]);
            rms[2].add(got->at(x, y).blue, want->at(x, y).blue * ixTest::kTableTint[2]);
        }
    for (int ch = 0; ch < 3; ++ch) EXPECT_LT(rms[ch].value(), 0.01) << "channel " << ch;
}

// View-dependent maps share the specular maps' keys and mark-and-sweep protocol; views below
// the horizon read as the view projected onto it.
TEST_F(MicrofacetModels, ViewDependentMapsFollowTheCacheProtocol) {
    ix::Reference<ixImage::Float3Image> probe =
        ixTest::makeLatLongProbe(200, 100, ixTest::skyRadiance);
    ixImage::ImageBasedLighting lighting;
    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
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
    const FloatPixel3<float> a = first->evaluate(n, below), b = first->evaluate(n, onHorizon);
    EXPECT_NEAR(a.red, b.red, 1e-5f * b.red);
    EXPECT_GT(b.red, 0.0f);
    EXPECT_EQ(first->evaluate(ixLinear::VectorFlt(0, 0, 0), n).red, 0.0f);
}

TEST(MeasuredFile, RefusesWrongDimensionsAndSizes) {
    const std::vector<double> stored(3 * size_t(ixImage::MeasuredReflectance::kCells), 1.0);
    const long long full = ixImage::MeasuredReflectance::kFileBytes;
    const struct {
        int32_t dimH;
        long long bytes;  // < 0: the whole table
        const char* expected;
    } cases[] = {{91, -1, "has dimensions 91 x 90 x 180"},
                 {90, full - 8, "is truncated"},
                 {90, 11, "is truncated: 11 bytes"},
                 {90, full + 1, "is too long"}};
    const std::string path =
        ::testing::TempDir() + "bad_table_" + std::to_string(getpid()) + ".binary";
    for (const auto& c : cases) {
        writeTableFile(path, stored, c.dimH, c.bytes);
        ixUtil::Error error;
        EXPECT_FALSE(ixImage::MeasuredReflectance::readFile(path, error)) << c.expected;
        EXPECT_EQ(error.getCode(), 1);
        EXPECT_NE(error.getMessage().find(c.expected), std::string::npos) << error.getMessage();
    }
    std::remove(path.c_str());
    ixUtil::Error missing;
    EXPECT_FALSE(ixImage::MeasuredReflectance::readFile(path, missing));
    EXPECT_NE(missing.getMessage().find("Cannot open"), std::string::npos);
}

// Keys follow the quantised parameters: equal effective parameters share an entry, distinct
// ones never do, and no model's key meets another's.
TEST(MicrofacetKeys, QuantisedParametersNameTheEntry) {
    using ixImage::BlinnPhongReflectance;
    using ixImage::GgxReflectance;
    EXPECT_EQ(GgxReflectance(0.5).getKey(), GgxReflectance(0.5004).getKey());
    EXPECT_EQ(GgxReflectance(0.5004).getAlpha(), 0.5);
    EXPECT_EQ(BlinnPhongReflectance(16).getKey(), BlinnPhongReflectance(16.0003).getKey());
    const int keys[] = {GgxReflectance(0.5).getKey(),
                        GgxReflectance(0.501).getKey(),
                        GgxReflectance(0.5, 0.999).getKey(),
                        GgxReflectance(1.0, 0.0).getKey(),
                        GgxReflectance(0.001, 1.0).getKey(),
                        BlinnPhongReflectance(16).getKey(),
                        BlinnPhongReflectance(16.001).getKey(),
                        BlinnPhongReflectance(1e9).getKey(),
                        ixImage::PhongReflectance(0xFFFFFF).getKey(),
                        ixImage::LambertReflectance().getKey(),
                        ixImage::MeasuredReflectance(ixTest::ggxTable(0.5, 0.2)).getKey(),
                        ixImage::MeasuredReflectance(ixTest::ggxTable(0.5, 0.21)).getKey()};
    for (size_t a = 0; a < sizeof keys / sizeof keys[0]; ++a)
        for (size_t b = a + 1; b < sizeof keys / sizeof keys[0]; ++b)
            EXPECT_NE(keys[a], keys[b]) << "cases " << a << " and " << b;
}

}  // namespace
