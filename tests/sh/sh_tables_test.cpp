#include "iximage/sh/detail/sh_tables.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sh_reference.h"

namespace {

using namespace ixImage;
using shTest::kStep;

class ShTables : public testing::Test {
protected:
    static void SetUpTestSuite() { setupSphericalHarmonicTables(); }
    const ShTableView tables = sphericalHarmonicTables();
};

TEST_F(ShTables, LegendreMatchesReference) {
    for (int i = 0; i < kShPolarCount; ++i)
        for (int l = 0; l <= 20; ++l)
            for (int m = 0; m <= l; ++m) {
                const double expected = shTest::referenceLegendre(l, m, i * kStep);
                ASSERT_NEAR(tables.legendre[l][m][i], expected, 1e-13 + 1e-12 * std::abs(expected))
                    << "l=" << l << " m=" << m << " i=" << i;
            }
}

// Between grid points the lookups interpolate linearly; within 1e-4 of one they read it alone.
TEST_F(ShTables, FractionalReadingInterpolates) {
    const struct {
        double t, weightAbove;
    } cases[] = {{5.00005, 0.0}, {5.25, 0.25}, {5.5, 0.5}, {98.9, 0.9}};
    for (const auto& c : cases)
        for (int m : {0, 2, -3}) {
            const int below = static_cast<int>(c.t);
            auto at = [&](double t) { return legendreRealAt(tables.legendre, 9, m, t); };
            EXPECT_NEAR(at(c.t), (1 - c.weightAbove) * at(below) + c.weightAbove * at(below + 1),
                        1e-15)
                << "t=" << c.t << " m=" << m;
            // The azimuth grid follows the same rule, here shifted by 100 columns.
            auto az = [&](double s) { return azimuthAt(tables.azimuth, m, s + 100); };
            EXPECT_NEAR(az(c.t), (1 - c.weightAbove) * az(below) + c.weightAbove * az(below + 1),
                        1e-15)
                << "s=" << c.t + 100 << " m=" << m;
        }
}

// The lookups are the exact real harmonics up to the 1.4142136 literal (relative 2.7e-8).
TEST_F(ShTables, RealHarmonicAtGridPoints) {
    for (int t = 0; t < 100; t += 9)
        for (int s = 0; s < 200; s += 13) {
            const std::vector<double> Y = shTest::referenceHarmonics(t * kStep, s * kStep);
            for (int l = 0; l <= 20; ++l)
                for (int m = -l; m <= l; ++m) {
                    const double expected = Y[shTest::shIndex(l, m)];
                    ASSERT_NEAR(realHarmonicAt(tables.legendre, tables.azimuth, l, m, t, s),
                                expected, 1e-13 + 3e-8 * std::abs(expected))
                        << "l=" << l << " m=" << m << " t=" << t << " s=" << s;
                }
        }
}

// The reference harmonics are orthonormal under a quadrature exact for band-20 products, which
// pins their normalisation and phase conventions.
TEST(ShReference, OrthonormalUnderExactQuadrature) {
    const ixShRotation::SphereQuadrature quad(20);
    std::vector<double> gram(441 * 441, 0.0), Y(441);
    for (int q = 0; q < quad.size(); ++q) {
        ixShRotation::realHarmonics(20, quad.x[q], quad.y[q], quad.z[q], Y.data());
        for (int a = 0; a < 441; ++a)
            for (int b = 0; b <= a; ++b) gram[a * 441 + b] += quad.weight[q] * Y[a] * Y[b];
    }
    for (int a = 0; a < 441; ++a)
        for (int b = 0; b <= a; ++b)
            ASSERT_NEAR(gram[a * 441 + b], a == b ? 1.0 : 0.0, 1e-12) << "a=" << a << " b=" << b;
}

}  // namespace
