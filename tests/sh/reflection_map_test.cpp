// The reflection map (the light-times-reflectance product rotated onto every grid axis, rows
// split over threads, AVX2 and portable row kernels) and its evaluation into a specular map.
#include "iximage/sh/reflection_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "iximage/interfaces/thread_pool.h"
#include "iximage/lighting/phong_reflectance.h"
#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/detail/reflection_worker.h"
#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/detail/shrm_rows.h"
#include "iximage/sh/light_coeffs.h"
#include "iximage/sh/rotation_matrices.h"
#include "iximage/sh/specular_map.h"
#include "sh/prefilter_reference.h"
#include "sh_reference.h"

namespace {

using ixImage::FloatPixel3;
using ixImage::ShrmImage;
using Rgb = FloatPixel3<double>;
using BrdfArray = ixUtil::ArrayN<3, Rgb>;
using shTest::kPi;

bool sameBits(const ShrmImage& a, const ShrmImage& b, int rows) {
    return std::memcmp(a.data(), b.data(), sizeof(ixImage::ShrmPixel) * 200 * rows) == 0;
}

// A smooth sky: a bright red lobe above, a green lobe below, a blue gradient.
ix::Reference<ixImage::Float3Image> syntheticProbe(int w, int h) {
    auto lobe = [](const ixTest::Dir& v, ixTest::Dir d, double k) {
        return std::exp(k * (ixTest::dot(v, d) / std::sqrt(ixTest::dot(d, d)) - 1.0));
    };
    ix::Reference<ixImage::Float3Image> image(new ixImage::Float3Image());
    image->setSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const ixTest::Dir v = ixTest::pixelDirection(x, y, w, h);
            image->at(x, y) = FloatPixel3<float>(float(0.2 + 3.0 * lobe(v, {0.6, -0.3, 0.74}, 6)),
                                                 float(0.5 + 2.0 * lobe(v, {-0.5, 0.2, -0.84}, 10)),
                                                 float(1.0 + 0.5 * v.z));
        }
    return image;
}

class ReflectionMapTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        loaded = ixImage::initializeReflectance(ixTest::rotationMatrixFile().c_str(), nullptr);
    }
    void SetUp() override { ASSERT_TRUE(loaded) << "cannot load " << ixTest::rotationMatrixFile(); }
    static inline bool loaded = false;
};

// Every split of 10 rows over the work indices, more indices than rows and runs through the
// pool included, gives the single-index map bit for bit (no row done twice or skipped).
TEST_F(ReflectionMapTest, RowBandsCoverEveryRowOnce) {
    ixImage::ReflectionProduct z({21, 41, 21, 41});
    shTest::fillRandom(z.data(), z.getCount(), 7u);
    ShrmImage single;
    single.setSize(200, 10);
    ixImage::CreateSHRM(&z, &single, 3, ixImage::getRotationMatrices()).work(0, 1);
    for (int count : {2, 3, 10, 11, 150})
        for (bool pooled : {false, true}) {
            ShrmImage split;
            split.setSize(200, 10);
            ixImage::CreateSHRM alg(&z, &split, 3, ixImage::getRotationMatrices());
            if (pooled)
                ixUtil::ThreadPool::get().run(alg, count);
            else
                for (int t = count - 1; t >= 0; --t) alg.work(t, count);
            EXPECT_TRUE(sameBits(single, split, 10))
                << "count " << count << (pooled ? " through the pool" : "");
        }
}

// The rows against the per-pixel formula written plainly, azimuth factors from std::cos/sin:
//   c_pq(x, y) = sum_mu A_mu cos(mu phi_x) + S_mu sin(mu phi_x), phi_x = 2 pi x / 200,
//   A_|m| += Z[l][m][p][q] D_l(m, q), S_|m| += -sign(m) Z[l][m][p][q] D_l(-m, q).
TEST_F(ReflectionMapTest, RowsMatchThePerPixelFormula) {
    ixImage::ReflectionProduct z({21, 41, 21, 41});
    shTest::fillRandom(z.data(), z.getCount(), 11u);
    const double* rot = ixImage::getRotationMatrices();
    ShrmImage image;
    image.setSize(200, 100);
    ixImage::CreateSHRM alg(&z, &image, 20, rot);
    for (int y : {0, 37, 99}) alg.work(y, 100);  // with 100 indices, index y owns row y alone
    for (int y : {0, 37, 99})
        for (int x : {0, 1, 50, 57, 124, 151, 199})
            for (int p : {0, 3, 10})
                for (int q = -p; q <= p; q += (p > 0 ? p : 1))
                    for (int ch = 0; ch < 3; ++ch) {
                        double ref = 0.0, magnitude = 0.0;
                        for (int mu = 0; mu <= 20; ++mu) {
                            double A = 0.0, S = 0.0;
                            for (int l = std::max(mu, std::abs(q)); l <= 20; ++l)
                                for (int m : {mu, -mu}) {
                                    const double v = shTest::channel(z(l, m + 20, p, q + 20), ch);
                                    A += v * rot[ixImage::rotationMatrixIndex(l, m, q, y)];
                                    S -= (m < 0 ? -v : v) *
                                         rot[ixImage::rotationMatrixIndex(l, -m, q, y)];
                                    if (mu == 0) break;  // m = +0 and -0 are the same order
                                }
                            const double angle = mu * 2 * kPi * x / 200.0;
                            ref += A * std::cos(angle) + S * std::sin(angle);
                            magnitude += std::abs(A) + std::abs(S);
                        }
                        EXPECT_NEAR(shTest::channel(image.at(x, y).at(p, q), ch), ref,
                                    1e-12 * magnitude + 1e-14)
                            << "pixel (" << x << ", " << y << ") p " << p << " q " << q;
                    }
}

// Light projection -> Phong coefficients -> reflection map -> evaluation along each pixel's
// axis, against the Phong prefilter of the sky integrated on a finer grid. This pins the
// frame: a mirrored or shifted map would put the lobes in the wrong place.
TEST_F(ReflectionMapTest, PhongMapOfSmoothSkyMatchesBruteForce) {
    const ix::Reference<ixImage::Float3Image> probe = syntheticProbe(200, 100);
    const ixTest::WeightedSamples fine(*syntheticProbe(360, 180));
    ixImage::SphericalHarmonics<Rgb> light(20);
    ixImage::computeLightCoeffs(*probe, light);
    for (int exponent : {1, 8}) {
        BrdfArray samples({100, 100, 200}), brdf({21, 21, 21});
        Rgb norm;
        ixImage::PhongReflectance(exponent).sampleBrdf(samples, norm);
        brdf.clear();
        ixImage::computeBrdfCoeffs(samples, brdf, 10);
        ShrmImage shrm;
        ixImage::computeReflectionCoeffs(light, brdf, 20, 10, shrm, nullptr);
        const double view[3] = {0.0, 0.0, 1.0};
        ixImage::Float3Image map;
        ixImage::computeSpecularMap(shrm, view, 10, 1.0, map);
        ASSERT_EQ(map.getWidth(), 200);
        // Probe rows are read at the grid angles y pi / 100, half a row off their centres, and
        // the map is evaluated on the same grid: the shifts cancel but near the poles.
        ixTest::RelativeRms rms;
        double worstMiddle = 0.0, worstPolar = 0.0;
        for (int y = 2; y < 100; y += 6)
            for (int x = 1; x < 200; x += 6) {
                const Rgb ref =
                    ixTest::phongPrefilter(fine, ixTest::pixelDirection(x, y, 200, 100), exponent);
                const Rgb got(map.at(x, y).red, map.at(x, y).green, map.at(x, y).blue);
                for (int ch = 0; ch < 3; ++ch) {
                    const double a = shTest::channel(got, ch), b = shTest::channel(ref, ch);
                    rms.add(a, b);
                    double& worst = (y < 10 || y >= 90) ? worstPolar : worstMiddle;
                    worst = std::max(worst, std::abs(a - b) / b);
                }
            }
        EXPECT_LT(rms.value(), 0.01) << "n = " << exponent;
        EXPECT_LT(worstMiddle, 0.03) << "n = " << exponent;
        EXPECT_LT(worstPolar, 0.05) << "n = " << exponent;
    }
}

// Both builds of the kernel, on every chunk height, give the same bits: the vector width must
// not change a single rounding, and lanes past a short chunk's last row must not leak into it.
TEST_F(ReflectionMapTest, Avx2AndPortableKernelsAgreeBitForBit) {
    if (!ixImage::detail::haveAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    for (int L : {0, 20}) {
        ixImage::ReflectionProduct z({21, 41, 21, 41});
        shTest::fillRandom(z.data(), z.getCount(), 5u + L);
        const std::vector<Rgb> packed = ixImage::detail::packShrmProduct(
            L, [&z](int l, int m, int p, int q) { return z(l, m + 20, p, q + 20); });
        ixImage::detail::ShrmRowsInput input;
        input.packed = packed.data();
        input.rotationMatrices = ixImage::getRotationMatrices();
        input.lightOrder = L;
        ixImage::detail::setupShrmInput(input);
        for (int chunk = 1; chunk <= ixImage::detail::kShrmRowChunk; ++chunk) {
            ShrmImage portable, avx2;
            portable.setSize(200, 100);
            avx2.setSize(200, 100);
            for (int y = 0; y < 12; y += chunk) {
                ixImage::detail::addShrmRowsPortable(input, portable.data(), y,
                                                     std::min(chunk, 12 - y));
                ixImage::detail::addShrmRowsAvx2(input, avx2.data(), y, std::min(chunk, 12 - y));
            }
            EXPECT_TRUE(sameBits(portable, avx2, 12)) << "L " << L << ", chunks of " << chunk;
        }
    }
}

// A pixel holding one unit coefficient (p, q) evaluates to the scale times Y_pq along the view
// direction; on grid directions nothing is interpolated. Red holds +1 and green -1, so one of
// them shows the value past the clip at 0; a band past the order is left out, and a negative
// order gives black.
TEST(SpecularMap, SingleCoefficientEvaluatesItsHarmonic) {
    const int directions[][2] = {{0, 0}, {13, 0}, {50, 50}, {71, 123}, {99, 199}, {30, 170}};
    ShrmImage shrm;
    shrm.setSize(200, 100);
    for (int i = 0; i < 200 * 100; ++i) shrm.data()[i] = ixImage::ShrmPixel();
    ixImage::ShrmPixel& pixel = shrm.at(17, 42);
    pixel.at(3, 1) = Rgb(5.0, 5.0, 5.0);  // beyond the order 2 used below
    for (const auto& [ty, px] : directions) {
        const double theta = ty * kPi / 100, phi = px * kPi / 100;
        const double d[3] = {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi),
                             std::cos(theta)};
        for (int p = 0; p <= 2; ++p)
            for (int q = -p; q <= p; ++q) {
                pixel.at(p, q) = Rgb(1.0, -1.0, 0.0);
                ixImage::Float3Image out, black;
                ixImage::computeSpecularMap(shrm, d, 2, 2.5, out);
                ixImage::computeSpecularMap(shrm, d, -1, 2.5, black);
                pixel.at(p, q) = Rgb();
                EXPECT_NEAR(out.at(17, 42).red - out.at(17, 42).green,
                            2.5 * shTest::referenceHarmonics(theta, phi)[shTest::shIndex(p, q)],
                            1e-5)
                    << "p " << p << " q " << q << " direction " << ty << "," << px;
                EXPECT_EQ(out.at(16, 42).red + black.at(17, 42).red + black.at(17, 42).green, 0.0f);
            }
    }
}

}  // namespace
