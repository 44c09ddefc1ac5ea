// The reflection-map row kernel: its AVX2 and portable builds, and the product packed straight
// from light and reflectance coefficients, against the plain forms they replace.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "iximage/sh/detail/reflection_worker.h"
#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/detail/shrm_rows.h"
#include "iximage/sh/reflection_map.h"
#include "iximage/sh/rotation_matrices.h"
#include "sh/prefilter_reference.h"
#include "sh_reference.h"

namespace {

using ixImage::ShrmImage;
using Rgb = ixImage::FloatPixel3<double>;

bool sameBits(const ShrmImage& a, const ShrmImage& b, int rows) {
    return std::memcmp(a.data(), b.data(), sizeof(ixImage::ShrmPixel) * 200 * rows) == 0;
}

class ShrmRows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ixImage::initializeReflectance(ixTest::rotationMatrixFile().c_str(), nullptr));
    }
};

// Both builds of the kernel, on every chunk height, give the same bits: the vector width must
// not change a single rounding, and lanes past a short chunk's last row must not leak into it.
TEST_F(ShrmRows, Avx2AndPortableKernelsAgreeBitForBit) {
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

// computeReflectionCoeffs packs f a_lm B[l][p][|q|] directly; CreateSHRM over the full product
// written plainly (f = sqrt(pi), times sqrt(2) for q = 0) must give the same bits.
TEST_F(ShrmRows, DirectPackingMatchesTheFullProduct) {
    for (int L : {0, 20}) {
        ixImage::SphericalHarmonics<Rgb> light(20);
        shTest::fillRandom(&light[0], light.getCount(), 17u);
        ixUtil::ArrayN<3, Rgb> brdf({21, 21, 21});
        shTest::fillRandom(brdf.data(), brdf.getCount(), 19u);
        ShrmImage direct;
        ixImage::computeReflectionCoeffs(light, brdf, L, 10, direct, nullptr);

        ixImage::ReflectionProduct z({21, 41, 21, 41});
        z.clear();
        for (int l = 0; l <= L; ++l)
            for (int p = 0; p <= 10; ++p)
                for (int q = 0; q <= std::min(l, p); ++q)
                    for (int m = -l; m <= l; ++m) {
                        const double f = std::sqrt(M_PI) * (q == 0 ? std::sqrt(2.0) : 1.0);
                        const Rgb &a = light.at(l, m), &b = brdf(l, p, q);
                        z(l, m + 20, p, 20 + q) = z(l, m + 20, p, 20 - q) =
                            Rgb(f * a.red * b.red, f * a.green * b.green, f * a.blue * b.blue);
                    }
        ShrmImage plain;
        plain.setSize(200, 100);
        ixImage::CreateSHRM alg(&z, &plain, L, ixImage::getRotationMatrices());
        ixUtil::ThreadPool::get().run(alg);
        EXPECT_TRUE(sameBits(direct, plain, 100)) << "L " << L;
    }
}

}  // namespace
