#include "iximage/sh/rotation_matrices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/detail/sh_tables.h"
#include "sh/prefilter_reference.h"
#include "sh_reference.h"

namespace {

using namespace ixImage;
using shTest::kPi;

std::string writeTempFile(const char* name, const std::string& text) {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Loader semantics on small crafted files.
TEST(ReadRotationMatrices, MissingFileIsTheOnlyFailure) {
    std::vector<double> block(kRotationMatrixCount, 7.0);
    EXPECT_FALSE(readRotationMatrices(block.data(), "no/such/rotation/file.txt", nullptr));
}

TEST(InitializeReflectance, FailureThenSuccessThenKeep) {
    finalizeReflectance();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(initializeReflectance("no/such/rotation/file.txt", nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Failed to load spherical harmonic matrix file no/such/rotation/file.txt.\n");
    EXPECT_EQ(getRotationMatrices(), nullptr);

    const std::string path = writeTempFile("sh_tiny.txt", "0 0 0.75\n");
    ixTest::RecordingProgress loading, kept;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(initializeReflectance(path.c_str(), &loading));
    EXPECT_EQ(loading.seen.size(), 12u);
    EXPECT_TRUE(sphericalHarmonicTables().built);
    ASSERT_NE(getRotationMatrices(), nullptr);
    EXPECT_EQ(getRotationMatrices()[rotationMatrixIndex(0, 0, 0, 0)], 0.75);

    // Loaded: another name (even a missing one) keeps the block, prints nothing, no progress.
    const double* loaded = getRotationMatrices();
    EXPECT_TRUE(initializeReflectance("no/such/rotation/file.txt", &kept));
    EXPECT_EQ(getRotationMatrices(), loaded);
    EXPECT_TRUE(kept.seen.empty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    finalizeReflectance();
    EXPECT_EQ(getRotationMatrices(), nullptr);
    finalizeReflectance();  // releasing nothing is harmless
}

// Properties of the rotation matrices in the generated file. Tolerance 1e-12 absolute (all
// elements are at most 1 in magnitude).
constexpr double kTol = 1e-12;

class GeneratedRotations : public testing::Test {
protected:
    static void SetUpTestSuite() {
        block.assign(kRotationMatrixCount, 0.0);
        loaded = readRotationMatrices(block.data(), ixTest::rotationMatrixFile().c_str(), nullptr);
    }
    void SetUp() override { ASSERT_TRUE(loaded) << "missing " << ixTest::rotationMatrixFile(); }
    static double D(int l, int a, int b, int k) { return block[rotationMatrixIndex(l, a, b, k)]; }
    static inline std::vector<double> block;
    static inline bool loaded = false;
};

TEST_F(GeneratedRotations, FileHoldsExactlyWhatTheMathComputes) {
    const ixShRotation::YRotation rotation;
    for (int l = 0; l <= 20; ++l)
        for (int k = 0; k < 100; k += 11) {
            const std::vector<double> M = rotation.band(l, k * kPi / 100.0);
            const int n = 2 * l + 1;
            for (int a = -l; a <= l; ++a)
                for (int b = -l; b <= l; ++b)
                    ASSERT_EQ(D(l, a, b, k), M[(a + l) * n + (b + l)])
                        << "l=" << l << " k=" << k << " a=" << a << " b=" << b;
        }
}

TEST_F(GeneratedRotations, OrthogonalIdentityAtPoleAndParityZeros) {
    for (int l = 0; l <= 20; ++l)
        for (int k = 0; k < 100; ++k)
            for (int a = -l; a <= l; ++a)
                for (int b = -l; b <= l; ++b) {
                    double dot = 0.0;
                    for (int c = -l; c <= l; ++c) dot += D(l, c, a, k) * D(l, c, b, k);
                    ASSERT_NEAR(dot, a == b ? 1.0 : 0.0, kTol)
                        << "columns " << a << "," << b << " l=" << l << " k=" << k;
                    if ((a < 0) != (b < 0)) {
                        ASSERT_NEAR(D(l, a, b, k), 0.0, kTol)
                            << "l=" << l << " k=" << k << " a=" << a << " b=" << b;
                    }
                    if (k == 0) {
                        ASSERT_NEAR(D(l, a, b, 0), a == b ? 1.0 : 0.0, kTol)
                            << "l=" << l << " a=" << a << " b=" << b;
                    }
                }
}

// Y(l,b)(R^-1 w) = sum_a D[a][b] Y(l,a)(w) at random directions w.
TEST_F(GeneratedRotations, DefiningIdentityOnRandomDirections) {
    std::mt19937_64 rng(11);
    std::normal_distribution<double> normal;
    for (int trial = 0; trial < 40; ++trial) {
        double w[3] = {normal(rng), normal(rng), normal(rng)};
        const double len = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
        for (double& c : w) c /= len;
        const int k = static_cast<int>(rng() % 100);
        const double beta = k * kPi / 100.0;
        // R^-1 w with R = Ry(beta): R^T w.
        const double c = std::cos(beta), s = std::sin(beta);
        const double r[3] = {c * w[0] - s * w[2], w[1], s * w[0] + c * w[2]};
        std::vector<double> Yw(441), Yr(441);
        ixShRotation::realHarmonics(20, w[0], w[1], w[2], Yw.data());
        ixShRotation::realHarmonics(20, r[0], r[1], r[2], Yr.data());
        for (int l = 0; l <= 20; ++l)
            for (int b = -l; b <= l; ++b) {
                double sum = 0.0;
                for (int a = -l; a <= l; ++a) sum += D(l, a, b, k) * Yw[l * l + l + a];
                ASSERT_NEAR(sum, Yr[l * l + l + b], 1e-11)
                    << "w=(" << w[0] << "," << w[1] << "," << w[2] << ") k=" << k << " l=" << l
                    << " b=" << b;
            }
    }
}

}  // namespace
