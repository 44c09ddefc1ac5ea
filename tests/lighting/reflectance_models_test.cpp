#include <gtest/gtest.h>

#include <cmath>

#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "support/test_math.h"

namespace {

using ixImage::FloatPixel3;
using Rgb = FloatPixel3<double>;
using Samples = ixUtil::ArrayN<3, Rgb>;

using ixTest::kPi;
const double kStep = kPi / 100.0;

// The norm the pipeline expects, summed plainly over all two million samples, and the integral
// over incident directions (midpoint in theta, exact in phi).
double bruteForceNorm(const Samples& s) {
    double sum = 0.0;
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 100; ++j)
            for (int k = 0; k < 200; ++k)
                sum += s(i, j, k).red * s(i, j, k).red * std::sin(i * kStep) * std::sin(j * kStep);
    return sum * kStep * kStep * kStep;
}

double incidentIntegral(const Samples& s) {
    double sum = 0.0;
    for (int i = 0; i < 100; ++i) sum += s(i, 0, 0).red * std::sin(i * kStep);
    return sum * kStep * 2.0 * kPi;
}

struct ModelCase {
    const char* name;
    int exponent;      // < 0: Lambert
    double tolerance;  // on the hemisphere integral; n = 0 is a step at the horizon, which the
                       // polar grid resolves only to first order
};

class ReflectanceModel : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ReflectanceModel, SamplesFollowTheFormulaAndNormMatchesTheirSum) {
    const ModelCase c = GetParam();
    ixImage::PhongReflectance phong(c.exponent < 0 ? 0 : c.exponent);
    ixImage::LambertReflectance lambert;
    const ixImage::ReflectanceFunction& rf =
        c.exponent < 0 ? static_cast<const ixImage::ReflectanceFunction&>(lambert) : phong;

    Samples s({100, 100, 200});
    Rgb norm(-1, -1, -1);
    rf.sampleBrdf(s, norm);

    for (int i : {0, 10, 49, 50, 51, 99}) {
        const double cosTheta = std::cos(i * kStep);
        const double expected =
            cosTheta <= 0.0  ? 0.0
            : c.exponent < 0 ? cosTheta / kPi
                             : (c.exponent + 1) / (2.0 * kPi) * std::pow(cosTheta, c.exponent);
        for (int j : {0, 33, 99})
            for (int k : {0, 101, 199}) {
                const Rgb& v = s(i, j, k);
                EXPECT_NEAR(v.red, expected, 1e-12 * (1.0 + expected))
                    << c.name << " i " << i << " j " << j << " k " << k;
                EXPECT_EQ(v.red, v.green);
                EXPECT_EQ(v.red, v.blue);
            }
    }

    const double reference = bruteForceNorm(s);
    EXPECT_NEAR(norm.red, reference, 1e-10 * reference) << c.name;
    EXPECT_EQ(norm.red, norm.green);
    EXPECT_EQ(norm.red, norm.blue);
    // Normalised lobes integrate to 1 over the incident hemisphere, up to the grid's error.
    EXPECT_NEAR(incidentIntegral(s), 1.0, c.tolerance) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Models, ReflectanceModel,
    ::testing::Values(ModelCase{"Lambert", -1, 0.01}, ModelCase{"Phong0", 0, 0.02},
                      ModelCase{"Phong1", 1, 0.01}, ModelCase{"Phong8", 8, 0.01},
                      ModelCase{"Phong32", 32, 0.01}),
    [](const ::testing::TestParamInfo<ModelCase>& info) { return std::string(info.param.name); });

// Cache keys: equal parameters share one, models never collide, and out-of-range exponents
// clamp (their keys follow the clamped value).
TEST(ReflectanceModelKeys, EqualParametersShareAKeyAndExponentsClamp) {
    using ixImage::PhongReflectance;
    EXPECT_EQ(PhongReflectance(16).getKey(), PhongReflectance(16).getKey());
    EXPECT_NE(PhongReflectance(16).getKey(), PhongReflectance(17).getKey());
    const int lambertKey = ixImage::LambertReflectance().getKey();
    for (int n : {0, 1, 64, 0xFFFFFF, 0x7FFFFFFF, -5})
        EXPECT_NE(PhongReflectance(n).getKey(), lambertKey) << "n " << n;
    EXPECT_EQ(PhongReflectance(-5).getExponent(), 0);
    EXPECT_EQ(PhongReflectance(-5).getKey(), PhongReflectance(0).getKey());
    EXPECT_EQ(PhongReflectance(0x7FFFFFFF).getExponent(), PhongReflectance::kMaxExponent);
}

}  // namespace
