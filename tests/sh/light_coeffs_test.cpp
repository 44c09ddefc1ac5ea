#include "iximage/sh/light_coeffs.h"
#include "iximage/sh/light_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "sh_reference.h"

namespace {

using namespace ixImage;
using shTest::kPi;
using shTest::kStep;
using shTest::shIndex;

// The polar rectangle rule (pi/100) sum_i Pbar(l,m) Pbar(l2,m) sin(theta_i): exactly
// delta(l,l2) / (2 pi) for the true integral; its deviation is the quadrature error the
// projection inherits (the 200-point azimuth sum is exact for orders up to 40).
double polarRule(int l, int l2, int m) {
    double sum = 0.0;
    for (int i = 0; i < 100; ++i)
        sum += shTest::referenceLegendreAtGrid(l, m, i) *
               shTest::referenceLegendreAtGrid(l2, m, i) * std::sin(i * kStep);
    return sum * kStep;
}

class SingleHarmonic : public testing::TestWithParam<std::pair<int, int>> {};

// A 200 x 100 probe equal to Y(l,m) in red (2 Y in green, -Y in blue) projects onto order m
// alone, with 2 pi times the polar rule (float pixels: 1e-6). Y(0,0) is the constant probe.
// The rule itself is within 5e-3 of orthonormality on the diagonal.
TEST_P(SingleHarmonic, ProjectsOntoItself) {
    const auto [l, m] = GetParam();
    Float3Image probe;
    probe.setSize(200, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            const float v = float(shTest::referenceHarmonics(y * kStep, x * kStep)[shIndex(l, m)]);
            probe.at(x, y) = FloatPixel3<float>(v, 2 * v, -v);
        }
    SphericalHarmonics<FloatPixel3<double>> coeffs(20);
    computeLightCoeffs(probe, coeffs);
    for (int l2 = 0; l2 <= 20; ++l2)
        for (int m2 = -l2; m2 <= l2; ++m2) {
            const double predicted =
                (m2 == m && l2 >= std::abs(m)) ? 2 * kPi * polarRule(l, l2, std::abs(m)) : 0.0;
            const FloatPixel3<double>& got = coeffs[shIndex(l2, m2)];
            const double tol = 1e-6 + 1e-6 * std::abs(predicted);
            ASSERT_NEAR(got.red, predicted, tol) << "(" << l2 << "," << m2 << ")";
            ASSERT_NEAR(got.green, 2 * predicted, 2 * tol) << "(" << l2 << "," << m2 << ")";
            ASSERT_NEAR(got.blue, -predicted, tol) << "(" << l2 << "," << m2 << ")";
        }
    EXPECT_NEAR(coeffs[shIndex(l, m)].red, 1.0, 5e-3);
}

INSTANTIATE_TEST_SUITE_P(Bands, SingleHarmonic,
                         testing::Values(std::pair{0, 0}, std::pair{1, -1}, std::pair{1, 1},
                                         std::pair{3, 2}, std::pair{8, 8}, std::pair{12, -7},
                                         std::pair{20, 0}, std::pair{20, -20}));

TEST(LightCoeffs, WrongHeightLeavesCoefficients) {
    Float3Image probe;
    probe.setSize(200, 50);
    SphericalHarmonics<FloatPixel3<double>> coeffs(20);
    coeffs[5] = FloatPixel3<double>(3, 3, 3);
    computeLightCoeffs(probe, coeffs);
    EXPECT_EQ(coeffs[5].red, 3.0);
}

// Ringing windows at points where their shapes have known values: sigma_0 = 1, half height of
// the raised cosine and 2 / pi of the Lanczos factor at half the width, 0 from the width on.
TEST(LightWindow, FactorsAtKnownPoints) {
    const struct {
        LightWindow window;
        int band;
        double sigma;
    } cases[] = {{{LightWindow::kNone, 0}, 20, 1.0},         {{LightWindow::kHann, 20}, 0, 1.0},
                 {{LightWindow::kHann, 20}, 10, 0.5},        {{LightWindow::kHann, 20}, 20, 0.0},
                 {{LightWindow::kHann, 0}, 21, 0.0},         {{LightWindow::kLanczos, 20}, 0, 1.0},
                 {{LightWindow::kLanczos, 20}, 10, 2 / kPi}, {{LightWindow::kLanczos, 8}, 9, 0.0}};
    for (const auto& c : cases)
        EXPECT_NEAR(lightWindowFactor(c.window, c.band), c.sigma, 1e-15)
            << "kind " << c.window.kind << " width " << c.window.width << " band " << c.band;
    SphericalHarmonics<FloatPixel3<double>> coeffs(20);
    for (int i = 0; i < coeffs.getCount(); ++i) coeffs[i] = FloatPixel3<double>(1, 2, 4);
    applyLightWindow({LightWindow::kHann, 20}, coeffs);
    EXPECT_NEAR(coeffs[shIndex(10, -3)].blue, 2.0, 1e-15);
    EXPECT_EQ(coeffs[shIndex(20, 7)].red, 0.0);
}

}  // namespace
