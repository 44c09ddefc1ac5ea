#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "iximage/envmap/latlong_map.h"
#include "iximage/interfaces/thread_pool.h"
#include "iximage/lighting/phong_reflectance.h"
#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/detail/reflection_worker.h"
#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/detail/sh_tables.h"
#include "iximage/sh/light_coeffs.h"
#include "iximage/sh/reflection_map.h"
#include "iximage/sh/rotation_matrices.h"
#include "iximage/sh/specular_map.h"
#include "sh/prefilter_reference.h"

namespace {

using ixImage::FloatPixel3;
using ixImage::ShrmImage;
using Rgb = FloatPixel3<double>;
using BrdfArray = ixUtil::ArrayN<3, Rgb>;

// Deterministic values in [-1, 1] for count entries from first.
void fillRandom(Rgb* first, int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int i = 0; i < count; ++i) first[i] = Rgb(uniform(rng), uniform(rng), uniform(rng));
}

// A smooth synthetic sky: a bright red lobe above, a green lobe below, a blue gradient.
Rgb syntheticRadiance(const ixTest::Dir& w) {
    const ixTest::Dir up{0.6, -0.3, 0.74};
    const ixTest::Dir down{-0.5, 0.2, -0.84};
    auto lobe = [&w](const ixTest::Dir& d, double k) {
        const double len = std::sqrt(ixTest::dot(d, d));
        return std::exp(k * (ixTest::dot(w, d) / len - 1.0));
    };
    return {0.2 + 3.0 * lobe(up, 6.0), 0.5 + 2.0 * lobe(down, 10.0), 1.0 + 0.5 * w.z};
}

ix::Reference<ixImage::Float3Image> syntheticProbe(int w, int h) {
    ix::Reference<ixImage::Float3Image> image(new ixImage::Float3Image());
    image->setSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb r = syntheticRadiance(ixTest::pixelDirection(x, y, w, h));
            image->at(x, y) = FloatPixel3<float>(float(r.red), float(r.green), float(r.blue));
        }
    return image;
}

// The chain light projection -> reflection map -> evaluation along each pixel's axis.
void specularMapOf(const ixImage::Float3Image& probe, const BrdfArray& brdf,
                   ixImage::Float3Image& map) {
    ixImage::SphericalHarmonics<Rgb> light(20);
    ixImage::computeLightCoeffs(probe, light);
    ShrmImage shrm;
    ixImage::computeReflectionCoeffs(light, brdf, 20, 10, shrm, nullptr);
    const double view[3] = {0.0, 0.0, 1.0};
    ixImage::computeSpecularMap(shrm, view, 10, 1.0, map);
}

class ReflectionMapTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        loaded = ixImage::initializeReflectance(ixTest::rotationMatrixFile().c_str(), nullptr);
    }
    void SetUp() override { ASSERT_TRUE(loaded) << "cannot load " << ixTest::rotationMatrixFile(); }

    // Reflectance coefficients of a Phong lobe, as the pipeline projects them.
    static BrdfArray phongCoefficients(int exponent) {
        BrdfArray samples({100, 100, 200});
        Rgb norm;
        ixImage::PhongReflectance(exponent).sampleBrdf(samples, norm);
        BrdfArray coeffs({21, 21, 21});
        coeffs.clear();
        ixImage::computeBrdfCoeffs(samples, coeffs, 10);
        return coeffs;
    }

    static inline bool loaded = false;
};

// Every split of the rows over the work indices, including more indices than rows and a run
// through the pool, must produce the map that a single index produces, bit for bit: a row done
// twice would double, a row skipped would stay zero. Ten rows keep the images small; the split
// rule does not depend on the height.
TEST_F(ReflectionMapTest, RowBandsCoverEveryRowOnce) {
    ixImage::ReflectionProduct z({21, 41, 21, 41});
    fillRandom(z.data(), z.getCount(), 7u);
    const int lightOrder = 3;
    const int rows = 10;
    const size_t bytes = sizeof(ixImage::ShrmPixel) * 200 * rows;

    ShrmImage single;
    single.setSize(200, rows);
    ixImage::CreateSHRM(&z, &single, lightOrder, ixImage::getRotationMatrices()).work(0, 1);

    for (int count : {2, 3, 10, 11, 150})
        for (bool pooled : {false, true}) {
            ShrmImage split;
            split.setSize(200, rows);
            ixImage::CreateSHRM alg(&z, &split, lightOrder, ixImage::getRotationMatrices());
            if (pooled)
                ixUtil::ThreadPool::get().run(alg, count);
            else
                for (int t = count - 1; t >= 0; --t) alg.work(t, count);
            EXPECT_EQ(0, std::memcmp(single.data(), split.data(), bytes))
                << "count " << count << (pooled ? " through the pool" : "");
        }
}

// The per-row evaluation against the per-pixel formula written plainly, with the azimuth
// factors from std::cos / std::sin instead of the tables:
//   c_pq(x, y) = sum_mu A_mu cos(mu phi_x) + S_mu sin(mu phi_x), phi_x = 2 pi x / 200,
//   A_|m| += Z[l][m][p][q] D_l(m, q), S_|m| += -sign(m) Z[l][m][p][q] D_l(-m, q).
TEST_F(ReflectionMapTest, RowsMatchThePerPixelFormula) {
    ixImage::ReflectionProduct z({21, 41, 21, 41});
    fillRandom(z.data(), z.getCount(), 11u);
    const double* rot = ixImage::getRotationMatrices();
    const int L = 20;

    ShrmImage image;
    image.setSize(200, 100);
    ixImage::CreateSHRM alg(&z, &image, L, rot);
    const int rows[] = {0, 37, 99};
    for (int y : rows) alg.work(y, 100);  // with 100 indices, index y owns row y alone

    const double twoPi = 6.283185307179586;
    for (int y : rows)
        for (int x : {0, 1, 50, 57, 100, 124, 150, 151, 199})
            for (int p : {0, 3, 10})
                for (int q = -p; q <= p; q += (p > 0 ? p : 1)) {
                    double ref[3] = {0, 0, 0}, magnitude = 0.0;
                    for (int mu = 0; mu <= L; ++mu) {
                        double A[3] = {0, 0, 0}, S[3] = {0, 0, 0};
                        for (int l = std::max(mu, std::abs(q)); l <= L; ++l)
                            for (int m : {mu, -mu}) {
                                const Rgb& v = z(l, m + 20, p, q + 20);
                                const double r1 = rot[ixImage::rotationMatrixIndex(l, m, q, y)];
                                const double r2 = rot[ixImage::rotationMatrixIndex(l, -m, q, y)];
                                const double sigma = m < 0 ? -1.0 : 1.0;
                                const double c[3] = {v.red, v.green, v.blue};
                                for (int ch = 0; ch < 3; ++ch) {
                                    A[ch] += c[ch] * r1;
                                    S[ch] += -sigma * c[ch] * r2;
                                }
                                if (mu == 0) break;  // m = +0 and -0 are the same order
                            }
                        const double angle = mu * twoPi * x / 200.0;
                        for (int ch = 0; ch < 3; ++ch) {
                            ref[ch] += A[ch] * std::cos(angle) + S[ch] * std::sin(angle);
                            magnitude += std::abs(A[ch]) + std::abs(S[ch]);
                        }
                    }
                    const Rgb& got = image.at(x, y).at(p, q);
                    const double have[3] = {got.red, got.green, got.blue};
                    for (int ch = 0; ch < 3; ++ch)
                        EXPECT_NEAR(have[ch], ref[ch], 1e-12 * magnitude + 1e-14)
                            << "pixel (" << x << ", " << y << ") p " << p << " q " << q
                            << " channel " << ch;
                }
}

// The chain light projection -> Phong coefficients -> reflection map -> evaluation along each
// pixel's axis, against the Phong prefilter of the analytic sky integrated on a fine grid.
// This pins the frame: a mirrored or shifted map would put the lobes in the wrong place.
TEST_F(ReflectionMapTest, PhongMapOfSmoothSkyMatchesBruteForce) {
    const ix::Reference<ixImage::Float3Image> probe = syntheticProbe(200, 100);
    const ixTest::WeightedSamples fine(*syntheticProbe(360, 180));
    for (int exponent : {1, 8}) {
        ixImage::Float3Image map;
        specularMapOf(*probe, phongCoefficients(exponent), map);
        ASSERT_EQ(map.getWidth(), 200);

        // The probe's rows are read at the polar grid angles y pi / 100 while their centres
        // lie half a row further from -Z; the map is evaluated on the same grid, so the two
        // shifts cancel except close to the poles, where a shift in latitude is no rotation.
        // Hence a per-pixel bound away from the poles and a looser one within 18 degrees.
        ixTest::RelativeRms rms;
        double worstMiddle = 0.0, worstPolar = 0.0;
        for (int y = 2; y < 100; y += 6)
            for (int x = 1; x < 200; x += 6) {
                const Rgb ref =
                    ixTest::phongPrefilter(fine, ixTest::pixelDirection(x, y, 200, 100), exponent);
                const FloatPixel3<float>& got = map.at(x, y);
                const double pairs[3][2] = {
                    {got.red, ref.red}, {got.green, ref.green}, {got.blue, ref.blue}};
                for (const auto& pair : pairs) {
                    rms.add(pair[0], pair[1]);
                    const double e = std::abs(pair[0] - pair[1]) / pair[1];
                    double& worst = (y < 10 || y >= 90) ? worstPolar : worstMiddle;
                    worst = std::max(worst, e);
                }
            }
        EXPECT_LT(rms.value(), 0.01) << "n = " << exponent;
        EXPECT_LT(worstMiddle, 0.03) << "n = " << exponent;
        EXPECT_LT(worstPolar, 0.05) << "n = " << exponent;
    }
}

// A quarter turn about the pole is a shift by 50 of the 200 columns of the probe, and so of
// the map.
TEST_F(ReflectionMapTest, QuarterTurnOfLightRollsMapBy50Columns) {
    const ix::Reference<ixImage::Float3Image> probe = syntheticProbe(200, 100);
    ixImage::Float3Image rolled;
    rolled.setSize(200, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) rolled.at((x + 50) % 200, y) = probe->at(x, y);
    const BrdfArray brdf = phongCoefficients(8);
    ixImage::Float3Image original, turned;
    specularMapOf(*probe, brdf, original);
    specularMapOf(rolled, brdf, turned);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            const FloatPixel3<float>& a = original.at(x, y);
            const FloatPixel3<float>& b = turned.at((x + 50) % 200, y);
            ASSERT_NEAR(b.red, a.red, 1e-4 * a.red + 1e-6) << x << ", " << y;
            ASSERT_NEAR(b.green, a.green, 1e-4 * a.green + 1e-6) << x << ", " << y;
            ASSERT_NEAR(b.blue, a.blue, 1e-4 * a.blue + 1e-6) << x << ", " << y;
        }
}

}  // namespace
