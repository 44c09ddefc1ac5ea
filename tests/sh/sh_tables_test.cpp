// The tables behind every spherical-harmonic lookup: Legendre and azimuth grids, and the
// rotation matrices of the generated file.
#include "iximage/sh/detail/sh_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/rotation_matrices.h"
#include "sh/prefilter_reference.h"
#include "sh_reference.h"

namespace {

using namespace ixImage;
using shTest::kStep;

class ShTables : public testing::Test {
protected:
    static void SetUpTestSuite() { setupSphericalHarmonicTables(); }
    const ShTableView tables = sphericalHarmonicTables();
};

// Between grid points the lookups interpolate linearly; within 1e-4 of one they read it alone.
TEST_F(ShTables, FractionalReadingInterpolates) {
    const struct {
        double t, w;  // index, weight of the entry above
    } cases[] = {{5.00005, 0.0}, {5.25, 0.25}, {5.5, 0.5}, {98.9, 0.9}};
    for (const auto& c : cases)
        for (int m : {0, 2, -3}) {
            // The azimuth grid follows the same rule, here 100 columns on.
            const std::function<double(double)> reads[] = {
                [&](double t) { return legendreRealAt(tables.legendre, 9, m, t); },
                [&](double t) { return azimuthAt(tables.azimuth, m, t + 100); }};
            const int i = static_cast<int>(c.t);
            for (const auto& f : reads)
                EXPECT_NEAR(f(c.t), (1 - c.w) * f(i) + c.w * f(i + 1), 1e-15) << c.t << " " << m;
        }
}

// The Legendre table against the generator's independent recurrence, and the lookups against
// the exact real harmonics up to the 1.4142136 literal (relative 2.7e-8).
TEST_F(ShTables, TablesMatchTheReference) {
    for (int t = 0; t < kShPolarCount; ++t)
        for (int l = 0; l <= 20; ++l)
            for (int m = 0; m <= l; ++m) {
                const double expected = shTest::referenceLegendreAtGrid(l, m, t);
                ASSERT_NEAR(tables.legendre[l][m][t], expected, 1e-13 + 1e-12 * std::abs(expected))
                    << "l=" << l << " m=" << m << " t=" << t;
            }
    for (int t = 0; t < 100; t += 9)
        for (int s = 0; s < 200; s += 13) {
            const std::vector<double> Y = shTest::referenceHarmonics(t * kStep, s * kStep);
            for (int i = 0; i < 441; ++i) {
                const int l = int(std::sqrt(i)), m = i - l * l - l;
                ASSERT_NEAR(realHarmonicAt(tables.legendre, tables.azimuth, l, m, t, s), Y[i],
                            1e-13 + 3e-8 * std::abs(Y[i]))
                    << "l=" << l << " m=" << m << " t=" << t << " s=" << s;
            }
        }
}

// A missing file is the one failure, reported on stdout; once loaded, the block is kept
// whatever name comes next, until finalized.
TEST(InitializeReflectance, FailureThenSuccessThenKeep) {
    const char* missing = "no/such/rotation/file.txt";
    finalizeReflectance();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(initializeReflectance(missing, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Failed to load spherical harmonic matrix file no/such/rotation/file.txt.\n");
    EXPECT_EQ(getRotationMatrices(), nullptr);

    const std::string path = testing::TempDir() + "sh_tiny.txt";
    std::ofstream(path) << "0 0 0.75\n";
    ixTest::RecordingProgress loading, kept;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(initializeReflectance(path.c_str(), &loading));
    EXPECT_EQ(loading.seen.size(), 12u);
    ASSERT_NE(getRotationMatrices(), nullptr);
    EXPECT_EQ(getRotationMatrices()[rotationMatrixIndex(0, 0, 0, 0)], 0.75);
    const double* loaded = getRotationMatrices();
    EXPECT_TRUE(initializeReflectance(missing, &kept));
    EXPECT_EQ(getRotationMatrices(), loaded);
    EXPECT_TRUE(kept.seen.empty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    finalizeReflectance();
    EXPECT_EQ(getRotationMatrices(), nullptr);
}

// D(l, a, b, k) of the generated file (initializeReflectance keeps a block once loaded).
double D(int l, int a, int b, int k) {
    static const bool loaded = initializeReflectance(ixTest::rotationMatrixFile().c_str(), nullptr);
    const double* block = getRotationMatrices();
    return loaded && block ? block[rotationMatrixIndex(l, a, b, k)] : NAN;
}

// Orthogonal, the identity at the pole, and no coupling between the cos (m >= 0) and
// sin (m < 0) halves of a band.
TEST(GeneratedRotations, OrthogonalIdentityAtPoleAndParityZeros) {
    ASSERT_NEAR(D(0, 0, 0, 0), 1.0, 1e-12) << "cannot load " << ixTest::rotationMatrixFile();
    for (int l = 0; l <= 20; ++l)
        for (int k = 0; k < 100; ++k)
            for (int a = -l; a <= l; ++a)
                for (int b = -l; b <= l; ++b) {
                    double dot = 0.0;
                    for (int c = -l; c <= l; ++c) dot += D(l, c, a, k) * D(l, c, b, k);
                    ASSERT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-12) << l << " " << k << " " << a;
                    if ((a < 0) != (b < 0) || k == 0) {
                        ASSERT_NEAR(D(l, a, b, k), a == b ? 1.0 : 0.0, 1e-12) << a << "," << b;
                    }
                }
}

// Y(l,b)(R^-1 w) = sum_a D[a][b] Y(l,a)(w), R = Ry(k pi / 100), at random directions w.
TEST(GeneratedRotations, DefiningIdentityOnRandomDirections) {
    std::mt19937_64 rng(11);
    std::normal_distribution<double> normal;
    for (int trial = 0; trial < 40; ++trial) {
        double w[3] = {normal(rng), normal(rng), normal(rng)};
        const double len = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
        for (double& c : w) c /= len;
        const int k = static_cast<int>(rng() % 100);
        const double c = std::cos(k * shTest::kStep), s = std::sin(k * shTest::kStep);
        std::vector<double> Yw(441), Yr(441);
        ixShRotation::realHarmonics(20, w[0], w[1], w[2], Yw.data());
        ixShRotation::realHarmonics(20, c * w[0] - s * w[2], w[1], s * w[0] + c * w[2], Yr.data());
        for (int l = 0; l <= 20; ++l)
            for (int b = -l; b <= l; ++b) {
                double sum = 0.0;
                for (int a = -l; a <= l; ++a) sum += D(l, a, b, k) * Yw[l * l + l + a];
                ASSERT_NEAR(sum, Yr[l * l + l + b], 1e-11) << "k=" << k << " l=" << l;
            }
    }
}

}  // namespace
