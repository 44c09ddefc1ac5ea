// Blur against a plain direct-sum reference, and resizing: bilinear against a plain blend,
// nearest by whole-factor round trips, and the silent outcomes of both.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <type_traits>
#include <vector>

#include "iximage/image/blur.h"
#include "iximage/image/resize.h"
#include "random_image.h"

using namespace ixImage;

namespace {

using ixTest::componentsOf;
using ixTest::kCount;

using Line = std::vector<double>;
using Radii = std::array<int, 4>;  // R4 <= R3 <= R2 <= R1

// The documented radii: d clamped to 2^24, r = d / 2 + 1/2, R1 = trunc(r), R2..R4 = r * 176/256,
// 122/256, 65/256 rounded half up.
Radii radiiOf(int d) {
    const float r = static_cast<float>(std::min(d, 1 << 24)) * 0.5f + 0.5f;
    auto scaled = [r](float k) { return static_cast<int>(r * k / 256.0f + 0.5f); };
    return {scaled(65), scaled(122), scaled(176), static_cast<int>(r)};
}

// Clipped, the four boxes [x - Rk, x + Rk] summed over the samples inside the line, divided by
// their count; wrapped, the mean of the samples x +- Rk modulo L. Integers truncate the mean.
Line directLine(const Line& line, const Radii& R, bool wrap, bool truncate) {
    const int L = static_cast<int>(line.size());
    Line out(line.size());
    for (int x = 0; x < L; ++x) {
        double sum = 0.0;
        int n = 0;
        for (int r : R) {
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

// Random images, every diameter up to 40 and some past every line, every pair of wrap flags:
// rows then columns of the direct form (integer kernels truncate after the row pass too).
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

// Integer kernels are exact. A float running sum of up to 4 L samples in [0, 1] rounds at each
// of its 8 L steps: 2 L ulps of 1 (L = 40: 5e-6). A half one steps by up to 2^-4 near 4 L * 0.75,
// below 2^-6 once divided by n.
TEST(BlurReference, EveryKernelMatchesTheDirectSum) {
    compareWithReference<unsigned char, unsigned char>(byteValue, 0.0);
    compareWithReference<Byte4, unsigned char>(byteValue, 0.0);
    compareWithReference<float, float>(unitValue, 5e-6);
    compareWithReference<FloatPixel3<float>, float>(unitValue, 5e-6);
    compareWithReference<FloatPixel4<half>, half>(quarterValue, 1.0 / 64);
}

// A type without a kernel: dst is sized, its pixels untouched (same count, kept buffer).
// Different pixel types: nothing happens. An empty source empties the destination.
TEST(BlurFailures, SilentOutcomes) {
    Float4Image src4, dst4;
    FloatImage src, empty, dst;
    MaskImage mask;
    src4.setSize(4, 3);
    ixTest::fillComponents<FloatPixel4<float>, float>(dst4, 3, 4, [] { return -1; });
    src.setSize(4, 4);
    dst.setSize(3, 3);
    imageBlur(src4, dst4, 3, false, false);
    imageBlur(src, mask, 2, false, false);
    imageBlur(empty, dst, 4, true, false);
    EXPECT_TRUE(dst4.getWidth() == 4 && dst4.getHeight() == 3 &&
                std::all_of(dst4.data(), dst4.data() + 12, [](auto p) { return p.red == -1; }));
    EXPECT_TRUE(mask.getWidth() == 0 && dst.getWidth() == 0 && dst.data() == nullptr);
}

// One more than the larger shrink factor, truncated; 0 when growing or for a side below 1.
TEST(SuggestFilterDiamater, Table) {
    const int cases[][5] = {{2000, 1000, 200, 100, 11}, {512, 256, 200, 100, 3},
                            {300, 100, 200, 100, 2},    {2000, 10, 200, 10, 11},
                            {100, 50, 100, 51, 0},      {100, 50, -3, 10, 0}};
    MaskImage image;
    for (const auto& c : cases) {
        image.setSize(c[0], c[1]);
        EXPECT_EQ(suggestFilterDiamater(image, c[2], c[3]), c[4]) << c[0] << " " << c[2];
    }
}

namespace {

// Every channel against the blend, in double, of the four source pixels around the target pixel
// centre: X = (1 - eps) u W, no half-pixel recentring, the right and lower neighbours wrapping or
// clamping as the source says. Half rounds every step; Byte4 truncates each product (4 levels).
template <class T, class C>
void checkBilinear(double abs, double rel, float scale) {
    const int cases[][6] = {// source w, h, target w, h, wrap horizontally, vertically
                            {1, 1, 5, 3, 0, 0},   {17, 9, 5, 4, 0, 0}, {17, 9, 40, 21, 1, 0},
                            {9, 17, 9, 17, 0, 1}, {1, 7, 6, 6, 1, 1},  {8, 1, 3, 3, 1, 0},
                            {23, 5, 200, 2, 0, 0}};
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> value(0.0f, scale);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "tag " << PixelTraits<T>::kTag << " " << c[0] << "x"
                                          << c[1] << " -> " << c[2] << "x" << c[3]);
        TypedImage<T> src;
        ixTest::fillComponents<T, C>(src, c[0], c[1], [&] { return value(rng); });
        src.setWrap(c[4], c[5]);
        ix::Reference<Image> out(resize(src, c[2], c[3], true));
        ASSERT_TRUE(out && out->getWidth() == c[2] && out->getHeight() == c[3]);
        const auto& got = static_cast<const TypedImage<T>&>(*out);
        const float k = 1.0f - ixLinear::epsilonTolFlt;
        auto next = [](int i, int n, bool wrap) { return i + 1 < n ? i + 1 : wrap ? 0 : i; };
        for (int y = 0; y < c[3]; ++y)
            for (int x = 0; x < c[2]; ++x) {
                const float X = k * ((x + 0.5f) * (1.0f / c[2])) * float(c[0]),
                            Y = k * ((y + 0.5f) * (1.0f / c[3])) * float(c[1]);
                const int x0 = int(X), y0 = int(Y);
                const int x1 = next(x0, c[0], c[4]), y1 = next(y0, c[1], c[5]);
                const double fx = X - x0, fy = Y - y0;
                for (int ch = 0; ch < ixTest::kCount<T, C>; ++ch) {
                    auto at = [&](int i, int j) {
                        return ixTest::componentsOf<T, C>(src.at(i, j))[ch];
                    };
                    const double want = (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x1, y0)) +
                                        fy * ((1 - fx) * at(x0, y1) + fx * at(x1, y1));
                    const float value = ixTest::componentsOf<T, C>(got.at(x, y))[ch];
                    ASSERT_NEAR(value, want, abs + rel * std::fabs(want))
                        << x << "," << y << " #" << ch;
                }
            }
    }
}

}  // namespace

TEST(ResizeBilinear, EveryTypeMatchesTheBlend) {
    checkBilinear<float, float>(1e-6, 0, 1);
    checkBilinear<FloatPixel3<float>, float>(1e-6, 0, 1);
    checkBilinear<FloatPixel4<float>, float>(1e-6, 0, 1);
    checkBilinear<FloatPixel4<half>, half>(0, 4e-3, 100);
    checkBilinear<Byte4, unsigned char>(4, 0, 255);
}

// Nearest enlarging by a whole factor repeats each pixel in a k x k block; shrinking back by the
// same factor picks one pixel of each block, so the trip returns every pixel bit for bit.
TEST(ResizeNearest, WholeFactorRoundTripIsExact) {
    std::mt19937 rng(7);
    auto roundTrip = [&rng](auto image) {
        for (const ixTest::Shape& s : ixTest::kOddShapes)
            for (int k : {1, 2, 3, 4}) {
                ixTest::fillRandomBytes(image, s.width, s.height, rng);
                ix::Reference<Image> big(resize(image, k * s.width, k * s.height, false));
                ix::Reference<Image> back(big ? resize(*big, s.width, s.height, false) : nullptr);
                ASSERT_TRUE(back);
                const auto& got = static_cast<const decltype(image)&>(*back);
                for (int i = 0; i < s.width * s.height; ++i)
                    ASSERT_TRUE(ixTest::sameBits(got.data()[i], image.data()[i]))
                        << "tag " << image.getPixelType() << " " << s.width << "x" << s.height
                        << " factor " << k << " pixel " << i;
            }
    };
    ixTest::forEachImageType<Byte4Image, Half4Image, FloatImage, Float3Image, Float4Image>(
        roundTrip);
}

// Unsupported pixel types and sources without pixels give null; a target side below 1 gives a
// new image of that size (count 0), nothing sampled.
TEST(ResizeFailures, SilentOutcomes) {
    MaskImage mask;
    TypedImage<Int4> ints;
    Double3Image doubles;
    ShrmImage shrm;
    Float3Image empty, noColumns;
    const std::initializer_list<Image*> sources = {&mask, &ints,  &doubles,
                                                   &shrm, &empty, &noColumns};
    for (Image* image : sources) image->setSize(2, 2);
    empty.setSize(0, 0);
    noColumns.setSize(0, 6);
    for (Image* image : sources)
        for (bool bilinear : {false, true})
            EXPECT_EQ(resize(*image, 4, 4, bilinear), nullptr) << "tag " << image->getPixelType();
    FloatImage src;
    src.setSize(3, 3);
    for (const auto& size : {std::array{0, 5}, std::array{5, 0}, std::array{-2, 3}})
        for (bool bilinear : {false, true}) {
            ix::Reference<Image> out(resize(src, size[0], size[1], bilinear));
            EXPECT_TRUE(out && out->getRefCount() == 1 && out->getPixelType() == kPixelFloat &&
                        out->getWidth() == size[0] && out->getHeight() == size[1] && !out->pixels())
                << size[0] << "x" << size[1];
        }
}
