#include "iximage/image/blur.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <type_traits>
#include <vector>

#include "random_image.h"

using namespace ixImage;

namespace {

using ixTest::componentsOf;
using ixTest::kCount;

using Line = std::vector<double>;
struct Radii {
    int r1, r2, r3, r4;
};

// The documented radii: d clamped to 2^24, r = d / 2 + 1/2, R1 = trunc(r), R2..R4 = r * 176/256,
// 122/256, 65/256 rounded half up.
Radii radiiOf(int d) {
    const float r = static_cast<float>(std::min(d, 1 << 24)) * 0.5f + 0.5f;
    auto scaled = [r](float k) { return static_cast<int>(r * k / 256.0f + 0.5f); };
    return {static_cast<int>(r), scaled(176), scaled(122), scaled(65)};
}

// Direct form: clipped, box k sums every sample of [x - Rk, x + Rk] inside the line and the
// sum is divided by the count; wrapped, the mean of the samples x +- Rk modulo L. Integer
// kernels truncate float(sum) * (1 / n).
Line directLine(const Line& line, const Radii& R, bool wrap, bool truncate) {
    const int L = static_cast<int>(line.size());
    Line out(line.size());
    for (int x = 0; x < L; ++x) {
        double sum = 0.0;
        int n = 0;
        for (int r : {R.r4, R.r3, R.r2, R.r1}) {
            if (wrap) {
                sum += line[((x + r) % L + L) % L] + line[((x - r) % L + L) % L];
                continue;
            }
            for (int p = std::max(0, x - r); p <= std::min(L - 1, x + r); ++p) sum += line[p], ++n;
        }
        const float v = static_cast<float>(sum) * (wrap ? 0.125f : n > 1 ? 1.0f / float(n) : 1.0f);
        out[x] = truncate ? static_cast<double>(static_cast<int>(v)) : v;
    }
    return out;
}

using ixTest::Shape;
const Shape kShapes[] = {{1, 1}, {1, 9}, {9, 1}, {17, 9}, {5, 23}, {2, 3}, {40, 2}};

// Random images of every shape, every diameter up to 40 (and some far past every line) and every
// pair of wrap flags, compared with rows-then-columns of the direct form. Integer kernels
// truncate after the row pass as well.
template <class T, class C>
void compareWithReference(double (*draw)(std::mt19937&), double tolerance) {
    const bool truncate = std::is_integral_v<C>;
    std::mt19937 rng(12345);
    std::vector<int> diameters = {4001, 1 << 24, 1 << 30};
    for (int d = 0; d <= 40; ++d) diameters.push_back(d);
    for (const Shape& s : kShapes) {
        const int W = s.width, H = s.height;
        TypedImage<T> src, dst;
        ixTest::fillComponents<T, C>(src, W, H, [&] { return float(draw(rng)); });
        for (int d : diameters)
            for (int wrapFlags = 0; wrapFlags < 4; ++wrapFlags) {
                const bool wrapX = wrapFlags & 1, wrapY = wrapFlags & 2;
                imageBlur(src, dst, d, wrapX, wrapY);
                ASSERT_TRUE(dst.getWidth() == W && dst.getHeight() == H);
                auto got = [&dst](int x, int y, int c) {
                    return componentsOf<T, C>(dst.at(x, y))[c];
                };
                for (int c = 0; c < kCount<T, C>; ++c) {
                    Line plane(static_cast<size_t>(W * H)), row(W), column(H);
                    for (int y = 0; y < H; ++y) {
                        for (int x = 0; x < W; ++x) row[x] = componentsOf<T, C>(src.at(x, y))[c];
                        row = directLine(row, radiiOf(d), wrapX, truncate);
                        std::copy(row.begin(), row.end(), plane.begin() + y * W);
                    }
                    for (int x = 0; x < W; ++x) {
                        for (int y = 0; y < H; ++y) column[y] = plane[y * W + x];
                        column = directLine(column, radiiOf(d), wrapY, truncate);
                        for (int y = 0; y < H; ++y)
                            ASSERT_NEAR(got(x, y, c), column[y], tolerance)
                                << "tag " << src.getPixelType() << " " << W << "x" << H
                                << " d=" << d << " wrap " << wrapX << wrapY << " pixel " << x << ","
                                << y << " channel " << c;
                    }
                }
            }
    }
}

double byteValue(std::mt19937& g) { return g() % 256; }
double unitValue(std::mt19937& g) { return std::uniform_real_distribution<double>(0, 1)(g); }
double quarterValue(std::mt19937& g) { return (g() % 4) * 0.25; }

}  // namespace

// Integer kernels are exact: the sums are exact and the reference truncates like the kernel.
TEST(BlurReference, IntegerKernelsMatchTheDirectSumExactly) {
    compareWithReference<unsigned char, unsigned char>(byteValue, 0.0);
    compareWithReference<Byte4, unsigned char>(byteValue, 0.0);
}

// Float: the running sum of at most 4 L samples in [0, 1] rounds at each of its at most 8 L
// steps, about 2 L ulps of 1 (L = 40: 5e-6). Half keeps the running sum in half, which steps by
// up to 2^-4 at 4 L * 0.75; divided by n that stays below 2^-6.
TEST(BlurReference, FloatAndHalfKernelsMatchTheDirectSumClosely) {
    compareWithReference<float, float>(unitValue, 5e-6);
    compareWithReference<FloatPixel3<float>, float>(unitValue, 5e-6);
    compareWithReference<FloatPixel4<half>, half>(quarterValue, 1.0 / 64);
}

TEST(BlurFailures, SilentOutcomes) {
    // A type without a kernel: dst is sized, its pixels untouched (same count, kept buffer).
    TypedImage<FloatPixel4<float>> src4, dst4;
    src4.setSize(4, 3);
    dst4.setSize(3, 4);
    std::fill(dst4.data(), dst4.data() + 12, FloatPixel4<float>(-1, -1, -1, -1));
    imageBlur(src4, dst4, 3, false, false);
    EXPECT_TRUE(dst4.getWidth() == 4 && dst4.getHeight() == 3);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(dst4.data()[i].red, -1.0f) << i;
    TypedImage<float> src, empty, dst;  // different pixel types: nothing happens
    TypedImage<unsigned char> mask;
    src.setSize(4, 4);
    imageBlur(src, mask, 2, false, false);
    EXPECT_EQ(mask.getWidth(), 0);
    dst.setSize(3, 3);  // an empty source empties the destination
    imageBlur(empty, dst, 4, true, false);
    EXPECT_TRUE(dst.getWidth() == 0 && dst.data() == nullptr);
}

TEST(SuggestFilterDiamater, Table) {
    const int cases[][5] = {{2000, 1000, 200, 100, 11}, {512, 256, 200, 100, 3},
                            {100, 50, 200, 100, 0},     {200, 100, 200, 100, 2},
                            {300, 100, 200, 100, 2},    {2000, 10, 200, 10, 11},
                            {100, 50, 100, 51, 0},      {100, 50, 0, 10, 0},
                            {100, 50, 10, 0, 0},        {100, 50, -3, 10, 0}};
    for (const auto& c : cases) {
        TypedImage<unsigned char> image;
        image.setSize(c[0], c[1]);
        EXPECT_EQ(suggestFilterDiamater(image, c[2], c[3]), c[4])
            << c[0] << "x" << c[1] << " -> " << c[2] << "x" << c[3];
    }
}
