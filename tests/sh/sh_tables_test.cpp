#include "iximage/sh/detail/sh_tables.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sh_reference.h"

namespace {

using namespace ixImage;
using shTest::kPi;
using shTest::kStep;

class ShTables : public testing::Test {
protected:
    static void SetUpTestSuite() { setupSphericalHarmonicTables(); }
    const ShTableView tables = sphericalHarmonicTables();
    const LegendreTable& legendreTable = tables.legendre;
    const AzimuthTable& azimuthTable = tables.azimuth;
};

// Every entry against an independent recurrence (|error| <= 1e-13 absolute + 1e-12 relative).
TEST_F(ShTables, LegendreMatchesReference) {
    for (int i = 0; i < kShPolarCount; ++i)
        for (int l = 0; l <= 20; ++l)
            for (int m = 0; m <= l; ++m) {
                const double expected = shTest::referenceLegendre(l, m, i * kStep);
                ASSERT_NEAR(legendreTable[l][m][i], expected, 1e-13 + 1e-12 * std::abs(expected))
                    << "l=" << l << " m=" << m << " i=" << i;
            }
}

// Within 1e-4 of a grid index the entry is read alone, otherwise interpolated linearly.
TEST_F(ShTables, FractionalReading) {
    const struct {
        double t;
        int below;
        double weightAbove;  // 0 when the entry is read alone
    } cases[] = {{5.0, 5, 0.0},   {5.00005, 5, 0.0}, {5.5, 5, 0.5},
                 {5.25, 5, 0.25}, {98.9, 98, 0.9},   {99.0, 99, 0.0}};
    for (const auto& c : cases) {
        for (int m : {0, 2, -3}) {
            const double* row = legendreTable[9][std::abs(m)];
            const double factor = m != 0 ? 1.4142136 : 1.0;
            const double above = c.weightAbove == 0.0 ? 0.0 : row[c.below + 1];
            const double expected =
                ((1 - c.weightAbove) * row[c.below] + c.weightAbove * above) * factor;
            EXPECT_NEAR(legendreRealAt(legendreTable, 9, m, c.t), expected, 1e-15)
                << "t=" << c.t << " m=" << m;
        }
        // Same rule over the azimuth grid, at the same fractional index scaled to 0..199.
        const double s = c.t * 2.0;
        const int j = static_cast<int>(s);
        const double f = s - j;
        const double cos3 = f < 1e-4
                                ? azimuthTable[j][23][0]
                                : (1 - f) * azimuthTable[j][23][0] + f * azimuthTable[j + 1][23][0];
        EXPECT_NEAR(azimuthAt(azimuthTable, 3, s), cos3, 1e-15) << "s=" << s;
    }
    EXPECT_EQ(azimuthAt(azimuthTable, -3, 199.0), std::sin(3 * 199 * kStep));
}

// The lookups are the exact real harmonics up to the 1.4142136 literal (relative 2.7e-8).
TEST_F(ShTables, RealHarmonicAtGridPoints) {
    for (int t = 0; t < 100; t += 9)
        for (int s = 0; s < 200; s += 13) {
            const std::vector<double> Y = shTest::referenceHarmonics(t * kStep, s * kStep);
            for (int l = 0; l <= 20; ++l)
                for (int m = -l; m <= l; ++m) {
                    const double expected = Y[shTest::shIndex(l, m)];
                    EXPECT_NEAR(realHarmonicAt(legendreTable, azimuthTable, l, m, t, s), expected,
                                1e-13 + 3e-8 * std::abs(expected))
                        << "l=" << l << " m=" << m << " t=" << t << " s=" << s;
                }
        }
}

// The reference harmonics are orthonormal under a quadrature that is exact for band-20
// products, which pins their normalisation and phase conventions.
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
