#include "iximage/sh/rotation_matrices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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

TEST(ReadRotationMatrices, ShortFileFillsWhatItHas) {
    // Band 0 complete (100 records of one number), then band 1, sample 0, first row only.
    std::string text;
    for (int k = 0; k < 100; ++k)
        text += "0 " + std::to_string(k) + "\n" + std::to_string(k + 1) + "\n";
    text += "1 0\n0.5 -0.25 2e-3";
    const std::string path = writeTempFile("sh_short.txt", text);
    std::vector<double> block(kRotationMatrixCount, 7.0);
    ixTest::RecordingProgress progress;
    ASSERT_TRUE(readRotationMatrices(block.data(), path.c_str(), &progress));
    for (int k = 0; k < 100; ++k) EXPECT_EQ(block[rotationMatrixIndex(0, 0, 0, k)], k + 1.0) << k;
    EXPECT_EQ(block[rotationMatrixIndex(1, -1, -1, 0)], 0.5);
    EXPECT_EQ(block[rotationMatrixIndex(1, -1, 0, 0)], -0.25);
    EXPECT_EQ(block[rotationMatrixIndex(1, -1, 1, 0)], 2e-3);
    EXPECT_EQ(block[rotationMatrixIndex(1, 0, -1, 0)], 0.0);  // zero-filled, not the old 7
    EXPECT_EQ(block[rotationMatrixIndex(20, 20, 20, 99)], 0.0);
    // 0, 0.1, ..., 1.0 at the even bands 0, 2, ..., 20, then the final 1.0, even for a short file.
    ASSERT_EQ(progress.seen.size(), 12u);
    for (size_t i = 0; i < 12; ++i)
        EXPECT_DOUBLE_EQ(progress.seen[i], i < 11 ? i / 10.0 : 1.0) << i;
}

// Any whitespace separates numbers and "x" stops everything after it; tokens longer than any
// read buffer still parse.
TEST(ReadRotationMatrices, TokenRules) {
    const std::string zeros(300000, '0');
    const struct {
        const char* name;
        std::string text;
        std::vector<double> band0;  // expected values of (0, 0, 0, k), k = 0, 1, ...
    } cases[] = {
        {"malformed", "0 0\t+1.5\r\n0 1\n\n-2\n0 2 x 4\n0 3 5\n", {1.5, -2.0, 0.0, 0.0}},
        {"long",
         "0 0 " + std::string(90, '0') + "2.5\n0 1 -" + zeros + "1e-3 0 2 0." +
             std::string(70, '0') + "1e+71\n",
         {2.5, -1e-3, 1.0}},
    };
    for (const auto& c : cases) {
        const std::string path = writeTempFile("sh_tokens.txt", c.text);
        std::vector<double> block(kRotationMatrixCount, 7.0);
        ASSERT_TRUE(readRotationMatrices(block.data(), path.c_str(), nullptr)) << c.name;
        for (size_t k = 0; k < c.band0.size(); ++k)
            EXPECT_EQ(block[rotationMatrixIndex(0, 0, 0, int(k))], c.band0[k])
                << c.name << " " << k;
    }
}

TEST(ReadRotationMatrices, TrailingTokensAreIgnoredAndValuesRoundTrip) {
    // A full file of distinct values, the shortest decimal form of each, plus trailing junk.
    std::vector<double> values;
    std::string text;
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int l = 0; l <= 20; ++l)
        for (int k = 0; k < 100; ++k) {
            text += std::to_string(l) + " " + std::to_string(k) + "\n";
            for (int e = 0; e < (2 * l + 1) * (2 * l + 1); ++e) {
                values.push_back(uniform(rng));
                char buf[40];
                std::snprintf(buf, sizeof buf, "%.17g ", values.back());
                text += buf;
            }
        }
    text += "\n1 2 3 garbage 4.5\n";
    const std::string path = writeTempFile("sh_trailing.txt", text);
    std::vector<double> block(kRotationMatrixCount, 7.0);
    ASSERT_TRUE(readRotationMatrices(block.data(), path.c_str(), nullptr));
    size_t next = 0;
    for (int l = 0; l <= 20; ++l)
        for (int k = 0; k < 100; ++k)
            for (int a = -l; a <= l; ++a)
                for (int b = -l; b <= l; ++b)
                    ASSERT_EQ(block[rotationMatrixIndex(l, a, b, k)], values[next++])
                        << "l=" << l << " k=" << k << " a=" << a << " b=" << b;
    EXPECT_EQ(next, 1234100u);
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
    EXPECT_TRUE(tablesReady);
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

// Y(l,0)(R^-1 w) = Pbar(l,0)(Rz . w): by the addition theorem column 0 holds
// sqrt(4 pi / (2l+1)) Y(l,a) at the rotated pole (theta_k, 0).
TEST_F(GeneratedRotations, ColumnZeroIsTheRotatedPole) {
    for (int k = 0; k < 100; ++k) {
        const std::vector<double> Y = shTest::referenceHarmonics(k * kPi / 100.0, 0.0);
        for (int l = 0; l <= 20; ++l)
            for (int a = -l; a <= l; ++a)
                ASSERT_NEAR(D(l, a, 0, k), std::sqrt(4 * kPi / (2 * l + 1)) * Y[l * l + l + a],
                            kTol)
                    << "l=" << l << " a=" << a << " k=" << k;
    }
}

TEST_F(GeneratedRotations, CompositionOnGridAngles) {
    const int pairs[][2] = {{1, 1}, {3, 7}, {10, 25}, {33, 33}, {49, 50}, {2, 97}, {60, 39}};
    for (const auto& pair : pairs) {
        const int k1 = pair[0], k2 = pair[1];
        for (int l = 0; l <= 20; ++l)
            for (int a = -l; a <= l; ++a)
                for (int b = -l; b <= l; ++b) {
                    double product = 0.0;
                    for (int c = -l; c <= l; ++c) product += D(l, a, c, k1) * D(l, c, b, k2);
                    ASSERT_NEAR(D(l, a, b, k1 + k2), product, kTol)
                        << "k1=" << k1 << " k2=" << k2 << " l=" << l << " a=" << a << " b=" << b;
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
