// The reflectance models: white furnace against an albedo integrated here, the norm the order
// analysis relies on, the measured file format round trip and its refusals, cache keys.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "iximage/lighting/blinn_phong_reflectance.h"
#include "iximage/lighting/ggx_reflectance.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/measured_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "lighting_test_util.h"

namespace {

using ixImage::MeasuredReflectance;
using ixTest::kPi;
using BrdfCos = std::function<double(const double*, const double*)>;

// Directional albedo at normal incidence: the integral of f(w, n) cos(theta) over the
// hemisphere, midpoint rule on a 400 x 800 (theta, phi) grid.
double albedoAtNormal(const BrdfCos& brdfCos) {
    const double dt = kPi / 2 / 400, dp = 2 * kPi / 800, wo[3] = {0, 0, 1};
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

// A constant probe of 1 gives, at every normal, the directional albedo at normal incidence:
// 1 for the normalised Phong and Lambert lobes. The fixed polar grid of the samples and the
// truncated series cost up to 1.4 %, hence 2 % at every pixel.
TEST(ReflectanceModels, WhiteFurnaceGivesTheAlbedoAtNormalIncidence) {
    auto probe = ixTest::makeProbe(200, ixTest::whiteRadiance);
    ixImage::ImageBasedLighting lighting;
    ASSERT_TRUE(ixTest::useProbe(lighting, probe.get()));
    const ixImage::LambertReflectance lambert;
    const ixImage::PhongReflectance phong1(1), phong8(8), phong32(32);
    const ixImage::GgxReflectance ggx3(0.3), ggx6(0.6, 0.04);
    const ixImage::BlinnPhongReflectance blinn16(16), blinn64(64);
    const MeasuredReflectance measured(ixTest::ggxTable(0.4, 0.1));
    const auto ggx = [](double alpha, double f0) -> BrdfCos {
        return [=](const double* i, const double* o) { return ixTest::ggxCos(alpha, f0, i, o); };
    };
    const auto blinn = [](double n) -> BrdfCos {
        return [=](const double* i, const double* o) { return ixTest::blinnPhongCos(n, i, o); };
    };
    const struct {
        const char* name;
        const ixImage::ReflectanceFunction* rf;
        BrdfCos reference;  // null: albedo 1
        bool tinted;        // the measured table's channel tints
    } cases[] = {{"Lambert", &lambert, nullptr, false},
                 {"Phong 1", &phong1, nullptr, false},
                 {"Phong 8", &phong8, nullptr, false},
                 {"Phong 32", &phong32, nullptr, false},
                 {"GGX 0.3", &ggx3, ggx(0.3, 1.0), false},
                 {"GGX 0.6 f0 0.04", &ggx6, ggx(0.6, 0.04), false},
                 {"Blinn-Phong 16", &blinn16, blinn(16), false},
                 {"Blinn-Phong 64", &blinn64, blinn(64), false},
                 {"measured", &measured, ggx(0.4, 0.1), true}};
    for (const auto& c : cases) {
        const double albedo = c.reference ? albedoAtNormal(c.reference) : 1.0;
        const ixImage::Float3Image* image = ixTest::specularImage(lighting, *c.rf);
        ASSERT_NE(image, nullptr) << c.name;
        for (int ch = 0; ch < 3; ++ch) {
            const double expected = albedo * (c.tinted ? ixTest::kTableTint[ch] : 1.0);
            double worst = 0;
            for (int i = 0; i < 200 * 100; ++i) {
                const auto& v = image->data()[i];
                const double got = ch == 0 ? v.red : ch == 1 ? v.green : v.blue;
                worst = std::max(worst, std::fabs(got / expected - 1));
            }
            EXPECT_LT(worst, 0.02) << c.name << " channel " << ch;
        }
    }
}

// The norm (per channel, the squared samples summed over the sphere pair) against a plain sum
// over all two million samples of the polar grid.
TEST(ReflectanceModels, NormIsTheSumOfTheSquaredSamples) {
    const double step = kPi / 100.0;
    const ixImage::LambertReflectance lambert;
    const ixImage::PhongReflectance phong0(0), phong8(8), phong32(32);
    const ixImage::ReflectanceFunction* models[] = {&lambert, &phong0, &phong8, &phong32};
    for (const ixImage::ReflectanceFunction* rf : models) {
        ixUtil::ArrayN<3, ixImage::FloatPixel3<double>> s({100, 100, 200});
        ixImage::FloatPixel3<double> norm(-1, -1, -1);
        rf->sampleBrdf(s, norm);
        double sum = 0.0;
        for (int i = 0; i < 100; ++i)
            for (int j = 0; j < 100; ++j)
                for (int k = 0; k < 200; ++k)
                    sum +=
                        s(i, j, k).red * s(i, j, k).red * std::sin(i * step) * std::sin(j * step);
        sum *= step * step * step;
        EXPECT_NEAR(norm.red, sum, 1e-10 * sum) << rf->getKey();
        EXPECT_EQ(norm.red, norm.green);
        EXPECT_EQ(norm.red, norm.blue);
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

// A whole file reads back to the table it was written from (the key hashes the values; the
// values themselves are checked through the white furnace); damaged or missing files are
// refused with a clear message. Scratch files are per process: suites may run in parallel.
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
// entry, distinct ones never do, and no model's key meets another's.
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
    const int keys[] = {GgxReflectance(0.5).getKey(),
                        GgxReflectance(0.501).getKey(),
                        GgxReflectance(0.5, 0.999).getKey(),
                        GgxReflectance(1.0, 0.0).getKey(),
                        GgxReflectance(0.001, 1.0).getKey(),
                        BlinnPhongReflectance(16).getKey(),
                        BlinnPhongReflectance(16.001).getKey(),
                        BlinnPhongReflectance(1e9).getKey(),
                        PhongReflectance(0).getKey(),
                        PhongReflectance(16).getKey(),
                        PhongReflectance(17).getKey(),
                        PhongReflectance(0xFFFFFF).getKey(),
                        ixImage::LambertReflectance().getKey(),
                        MeasuredReflectance(ixTest::ggxTable(0.5, 0.2)).getKey(),
                        MeasuredReflectance(ixTest::ggxTable(0.5, 0.21)).getKey()};
    for (size_t a = 0; a < std::size(keys); ++a)
        for (size_t b = a + 1; b < std::size(keys); ++b)
            EXPECT_NE(keys[a], keys[b]) << "cases " << a << " and " << b;
}

}  // namespace
