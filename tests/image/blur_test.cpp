#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <type_traits>
#include <vector>

#include "iximage/image/blur.h"

using namespace ixImage;

namespace {

// Channel access: scalars are one channel; colour pixels three or four.
template <class T>
struct Channels {
    static constexpr int kCount = 1;
    static T& at(T& p, int) { return p; }
};
template <class P, int N>
struct ColourChannels {
    static constexpr int kCount = N;
    static auto& at(P& p, int c) {
        if constexpr (N == 4) {
            if (c == 3) return p.alpha;
        }
        return c == 0 ? p.red : c == 1 ? p.green : p.blue;
    }
};
template <>
struct Channels<Byte4> : ColourChannels<Byte4, 4> {};
template <class S>
struct Channels<FloatPixel4<S>> : ColourChannels<FloatPixel4<S>, 4> {};
template <class S>
struct Channels<FloatPixel3<S>> : ColourChannels<FloatPixel3<S>, 3> {};

template <class T>
double channel(T p, int c) {
    return float(Channels<T>::at(p, c));
}

template <class T, class Draw>
void fillRandom(TypedImage<T>& image, int W, int H, Draw draw) {
    image.setSize(W, H);
    for (int i = 0; i < W * H; ++i)
        for (int c = 0; c < Channels<T>::kCount; ++c) {
            auto& component = Channels<T>::at(image.data()[i], c);
            component = static_cast<std::remove_reference_t<decltype(component)>>(float(draw()));
        }
}

using Line = std::vector<double>;

struct Radii {
    int r1, r2, r3, r4;
};

Radii radiiOf(int d) {
    const float r = static_cast<float>(d) * 0.5f + 0.5f;
    return {static_cast<int>(r), static_cast<int>(r * 176.0f + 128.0f) >> 8,
            static_cast<int>(r * 122.0f + 128.0f) >> 8, static_cast<int>(r * 65.0f + 128.0f) >> 8};
}

int modulo(int p, int L) { return ((p % L) + L) % L; }
float inverseCount(int n) { return n > 1 ? 1.0f / static_cast<float>(n) : 1.0f; }

// Direct form: clipped, box k sums every sample of [x - Rk, x + Rk] inside the line and the
// sum is divided by the count; wrapped, the mean of the samples x +- Rk modulo L. Integer
// kernels truncate float(sum) * (1 / n).
Line directLine(const Line& line, const Radii& R, bool wrap, bool truncate) {
    const int L = static_cast<int>(line.size());
    auto normalise = [truncate](double sum, float k) {
        const float v = static_cast<float>(sum) * k;
        return truncate ? static_cast<double>(static_cast<int>(v)) : v;
    };
    Line out(line.size());
    for (int x = 0; x < L; ++x) {
        double sum = 0.0;
        int n = 0;
        for (int r : {R.r4, R.r3, R.r2, R.r1}) {
            if (wrap) {
                sum += line[modulo(x + r, L)] + line[modulo(x - r, L)];
                continue;
            }
            for (int p = std::max(0, x - r); p <= std::min(L - 1, x + r); ++p) sum += line[p], ++n;
        }
        out[x] = normalise(sum, wrap ? 0.125f : inverseCount(n));
    }
    return out;
}

// Running form, with the running sum held in S (half or float) so that every step rounds as
// the kernel's does: empty at x = -R1; at each x the samples at x + R4, x + R3, x + R2, x + R1
// inside the line enter, the value is written (from x = 0 on), x - R1 ... x - R4 leave. The
// wrapped form adds its eight samples in that order.
template <class S>
Line runningLine(const Line& lineIn, const Radii& R, bool wrap) {
    const int L = static_cast<int>(lineIn.size());
    std::vector<S> line(lineIn.begin(), lineIn.end());
    Line out(lineIn.size());
    S sum(0.0f);
    int n = 0;
    for (int x = wrap ? 0 : -R.r1; x < L; ++x) {
        if (wrap) {
            sum = S(0.0f);
            for (int p :
                 {x + R.r4, x + R.r3, x + R.r2, x + R.r1, x - R.r1, x - R.r2, x - R.r3, x - R.r4})
                sum += line[modulo(p, L)];
            out[x] = float(S(float(sum) * 0.125f));
            continue;
        }
        for (int r : {R.r4, R.r3, R.r2, R.r1})
            if (x + r >= 0 && x + r < L) sum += line[x + r], ++n;
        if (x >= 0) out[x] = float(S(float(sum) * inverseCount(n)));
        for (int r : {R.r1, R.r2, R.r3, R.r4})
            if (x - r >= 0 && x - r < L) sum -= line[x - r], --n;
    }
    return out;
}

// Rows with wrapX, then columns of the row results with wrapY; one plane per channel.
template <class T, class LineFilter>
std::vector<Line> referenceBlur(const TypedImage<T>& src, int d, bool wrapX, bool wrapY,
                                LineFilter filter) {
    const int W = src.getWidth(), H = src.getHeight();
    const Radii R = radiiOf(d);
    std::vector<Line> planes;
    for (int c = 0; c < Channels<T>::kCount; ++c) {
        Line plane(static_cast<size_t>(W * H)), column(static_cast<size_t>(H));
        for (int y = 0; y < H; ++y) {
            Line row(static_cast<size_t>(W));
            for (int x = 0; x < W; ++x) row[x] = channel(src.at(x, y), c);
            row = filter(row, R, wrapX);
            std::copy(row.begin(), row.end(), plane.begin() + y * W);
        }
        for (int x = 0; x < W; ++x) {
            for (int y = 0; y < H; ++y) column[y] = plane[y * W + x];
            const Line f = filter(column, R, wrapY);
            for (int y = 0; y < H; ++y) plane[y * W + x] = f[y];
        }
        planes.push_back(plane);
    }
    return planes;
}

struct Shape {
    int width, height;
};
const Shape kShapes[] = {{1, 1}, {1, 9}, {9, 1}, {17, 9}, {5, 23}, {2, 3}, {40, 2}};

// Random images of every shape, every diameter and every pair of wrap flags, compared channel
// by channel with the reference within an absolute tolerance.
template <class T, class Draw, class LineFilter>
void compareWithReference(const char* typeName, Draw draw, LineFilter filter, double tolerance,
                          bool withHugeDiameters = false) {
    std::mt19937 rng(12345);
    std::vector<int> diameters;
    for (int d = 0; d <= 40; ++d) diameters.push_back(d);
    if (withHugeDiameters) diameters.insert(diameters.end(), {60, 333, 4001});  // past every line
    for (const Shape& s : kShapes) {
        TypedImage<T> src, dst;
        fillRandom(src, s.width, s.height, [&] { return draw(rng); });
        for (int d : diameters)
            for (int wrapFlags = 0; wrapFlags < 4; ++wrapFlags) {
                const bool wrapX = wrapFlags & 1, wrapY = wrapFlags & 2;
                imageBlur(src, dst, d, wrapX, wrapY);
                ASSERT_EQ(dst.getWidth() * 1000 + dst.getHeight(), s.width * 1000 + s.height);
                const std::vector<Line> expected = referenceBlur(src, d, wrapX, wrapY, filter);
                for (int c = 0; c < Channels<T>::kCount; ++c)
                    for (int i = 0; i < s.width * s.height; ++i)
                        ASSERT_NEAR(channel(dst.data()[i], c), expected[c][i], tolerance)
                            << typeName << " " << s.width << "x" << s.height << " d=" << d
                            << " wrapX=" << wrapX << " wrapY=" << wrapY << " pixel " << i % s.width
                            << "," << i / s.width << " channel " << c;
            }
    }
}

double byteValue(std::mt19937& g) { return g() % 256; }
double unitValue(std::mt19937& g) { return std::uniform_real_distribution<double>(0, 1)(g); }

}  // namespace

// Integer kernels: exact, since the sums are exact and the reference truncates like the
// kernel, after the row pass as well.
TEST(BlurReference, IntegerKernelsMatchTheDirectSumExactly) {
    auto truncating = [](const Line& l, const Radii& R, bool wrap) {
        return directLine(l, R, wrap, true);
    };
    compareWithReference<unsigned char>("mask", byteValue, truncating, 0.0);
    compareWithReference<Byte4>("Byte4", byteValue, truncating, 0.0);
}

// Float kernels: the running sum of at most 4 L samples in [0, 1] rounds at each of its at
// most 8 L steps; divided by n that is at most about 2 L ulps of 1 (L = 40: 5e-6). The
// sweep's worst case is near 1.2e-6.
// Half kernel: the running sum is itself a half. Sums of quarters reach 4 L * 0.75, where
// half steps by up to 2^-4, so a pass can be off by a few such steps divided by n; the
// sweep's worst case is 2^-7 and we allow 2^-6.
TEST(BlurReference, FloatAndHalfKernelsMatchTheDirectSumClosely) {
    auto plain = [](const Line& l, const Radii& R, bool wrap) {
        return directLine(l, R, wrap, false);
    };
    auto quarters = [](std::mt19937& g) { return (g() % 4) * 0.25; };
    compareWithReference<float>("float", unitValue, plain, 5e-6);
    compareWithReference<FloatPixel3<float>>("Float3", unitValue, plain, 5e-6);
    compareWithReference<FloatPixel4<half>>("half", quarters, plain, 1.0 / 64);
}

// The interior path, the column bundles and the skipped lead-in steps must keep every
// addition of the running sum and its order, so half and float results agree to the bit.
TEST(BlurReference, HalfAndFloatFollowTheRunningSumBitForBit) {
    compareWithReference<FloatPixel4<half>>("half", unitValue, runningLine<half>, 0.0, true);
    compareWithReference<FloatPixel3<float>>("Float3", unitValue, runningLine<float>, 0.0, true);
}

TEST(BlurInvariants, ConstantImageStaysConstantWhenClipped) {
    for (const Shape& s : kShapes)
        for (int d : {0, 1, 5, 17, 40, 1000, 1 << 30}) {
            const FloatPixel3<float> constant(0.3f, 2.5f, 1e4f);
            TypedImage<FloatPixel3<float>> src, dst;
            src.setSize(s.width, s.height);
            std::fill(src.data(), src.data() + s.width * s.height, constant);
            imageBlur(src, dst, d, false, false);
            for (int i = 0; i < s.width * s.height; ++i)  // relative 2e-6: a few roundings
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(channel(dst.data()[i], c), channel(constant, c),
                                2e-6 * channel(constant, c))
                        << s.width << "x" << s.height << " d=" << d << " channel " << c;
        }
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

    // Different pixel types: nothing happens.
    TypedImage<float> src;
    TypedImage<unsigned char> mask;
    src.setSize(4, 4);
    imageBlur(src, mask, 2, false, false);
    EXPECT_EQ(mask.getWidth(), 0);

    // An empty source empties the destination.
    TypedImage<float> empty, dst;
    dst.setSize(3, 3);
    imageBlur(empty, dst, 4, true, false);
    EXPECT_TRUE(dst.getWidth() == 0 && dst.data() == nullptr);
}

TEST(SuggestFilterDiamater, Table) {
    struct Case {
        int W, H, width, height, expected;
    };
    const Case cases[] = {
        {2000, 1000, 200, 100, 11}, {512, 256, 200, 100, 3}, {100, 50, 200, 100, 0},
        {200, 100, 200, 100, 2},    {300, 100, 200, 100, 2}, {2000, 10, 200, 10, 11},
        {100, 50, 100, 51, 0},      {100, 50, 0, 10, 0},     {100, 50, 10, 0, 0},
        {100, 50, -3, 10, 0},
    };
    for (const Case& c : cases) {
        TypedImage<unsigned char> image;
        image.setSize(c.W, c.H);
        EXPECT_EQ(suggestFilterDiamater(image, c.width, c.height), c.expected)
            << c.W << "x" << c.H << " -> " << c.width << "x" << c.height;
    }
}
