#include "iximage/sh/light_coeffs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <vector>

#include "iximage/sh/detail/sh_tables.h"
#include "sh_reference.h"

namespace {

using namespace ixImage;
using shTest::kPi;
using shTest::kStep;
using shTest::shIndex;

// A width x 100 probe sampling fn(theta_y, phi_x) on the library's grid.
template <class Fn>
void fillProbe(Float3Image& image, Fn fn, int width = 200) {
    image.setSize(width, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < width; ++x) image.at(x, y) = fn(y * kStep, x * 2.0 * kPi / width);
}

// The polar rectangle rule (pi/100) sum_i Pbar(l,m) Pbar(l2,m) sin(theta_i): the exact integral
// is delta(l,l2) / (2 pi); its deviation is the quadrature error the projection inherits (the
// 200-point azimuth sum is exact for orders up to 40).
double polarRule(int l, int l2, int m) {
    double sum = 0.0;
    for (int i = 0; i < 100; ++i) {
        sum += shTest::referenceLegendreAtGrid(l, m, i) *
               shTest::referenceLegendreAtGrid(l2, m, i) * std::sin(i * kStep);
    }
    return sum * kStep;
}

struct HarmonicCase {
    int l, m;
};
void PrintTo(const HarmonicCase& c, std::ostream* os) { *os << "Y(" << c.l << "," << c.m << ")"; }

class SingleHarmonic : public testing::TestWithParam<HarmonicCase> {};

// A probe equal to Y(l,m) in red (2 Y in green, -Y in blue): coefficient (l2, m2) is, for the
// same order m2 = m, 2 pi times the polar rule above and zero otherwise. The tolerance of the
// prediction is rounding only (1e-6: pixels are floats). The rule's own error on the diagonal
// (3.4e-3 at worst over all bands, from sine terms of degree up to 41 that the pole-anchored
// grid does not integrate exactly) is bounded by 5e-3.
TEST_P(SingleHarmonic, ProjectsOntoItself) {
    const HarmonicCase c = GetParam();
    Float3Image probe;
    fillProbe(probe, [&](double t, double p) {
        const double y = shTest::referenceHarmonics(t, p)[shIndex(c.l, c.m)];
        return FloatPixel3<float>(float(y), float(2 * y), float(-y));
    });
    SphericalHarmonics<FloatPixel3<double>> coeffs(20);
    computeLightCoeffs(probe, coeffs);

    for (int l2 = 0; l2 <= 20; ++l2)
        for (int m2 = -l2; m2 <= l2; ++m2) {
            const double predicted = (m2 == c.m && l2 >= std::abs(c.m))
                                         ? 2 * kPi * polarRule(c.l, l2, std::abs(c.m))
                                         : 0.0;
            const FloatPixel3<double>& got = coeffs[shIndex(l2, m2)];
            const double tol = 1e-6 + 1e-6 * std::abs(predicted);
            ASSERT_NEAR(got.red, predicted, tol)
                << "Y(" << c.l << "," << c.m << ") -> (" << l2 << "," << m2 << ")";
            ASSERT_NEAR(got.green, 2 * predicted, 2 * tol) << l2 << "," << m2;
            ASSERT_NEAR(got.blue, -predicted, tol) << l2 << "," << m2;
        }
    EXPECT_NEAR(coeffs[shIndex(c.l, c.m)].red, 1.0, 5e-3) << "Y(" << c.l << "," << c.m << ")";
}

INSTANTIATE_TEST_SUITE_P(Bands, SingleHarmonic,
                         testing::Values(HarmonicCase{0, 0}, HarmonicCase{1, -1},
                                         HarmonicCase{1, 0}, HarmonicCase{1, 1},
                                         HarmonicCase{2, -2}, HarmonicCase{3, 2},
                                         HarmonicCase{5, -4}, HarmonicCase{8, 8},
                                         HarmonicCase{12, -7}, HarmonicCase{20, 0},
                                         HarmonicCase{20, -20}, HarmonicCase{17, 13}));

// A constant probe: only m = 0 survives; (0,0) is sqrt(4 pi) times the colour up to the rule.
TEST(LightCoeffs, ConstantProbe) {
    Float3Image probe;
    fillProbe(probe, [](double, double) { return FloatPixel3<float>(1.0f, 0.5f, 2.0f); });
    SphericalHarmonics<FloatPixel3<double>> coeffs(20);
    computeLightCoeffs(probe, coeffs);
    const double y00 = 1.0 / std::sqrt(4 * kPi);
    // c(0,0) = 2 pi y00 (pi/100) sum_i Pbar(0,0) sin theta_i, with Pbar(0,0) = y00.
    double rule = 0.0;
    for (int i = 0; i < 100; ++i) rule += std::sin(i * kStep);
    const double expected00 = 2 * kPi * y00 * rule * kStep;
    EXPECT_NEAR(coeffs[0].red, expected00, 1e-12);
    EXPECT_NEAR(coeffs[0].green, 0.5 * expected00, 1e-12);
    EXPECT_NEAR(coeffs[0].blue, 2.0 * expected00, 1e-12);
    EXPECT_NEAR(expected00, std::sqrt(4 * kPi), 1e-3);
    for (int l = 1; l <= 20; ++l)
        for (int m = -l; m <= l; ++m)
            if (m != 0) {
                EXPECT_NEAR(coeffs[shIndex(l, m)].red, 0.0, 1e-12) << l << "," << m;
                EXPECT_NEAR(coeffs[shIndex(l, m)].blue, 0.0, 1e-12) << l << "," << m;
            }
}

TEST(LightCoeffs, WrongHeightLeavesCoefficients) {
    Float3Image probe;
    probe.setSize(200, 50);
    SphericalHarmonics<FloatPixel3<double>> coeffs(20);
    coeffs[5] = FloatPixel3<double>(3, 3, 3);
    computeLightCoeffs(probe, coeffs);
    EXPECT_EQ(coeffs[5].red, 3.0);
    EXPECT_EQ(coeffs.getCount(), 441);
}

}  // namespace
