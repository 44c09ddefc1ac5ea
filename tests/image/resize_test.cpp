#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "iximage/image/resize.h"
#include "iximage/interfaces/linear.h"
#include "iximage/interfaces/reference.h"

using namespace ixImage;

namespace {

// ---- Plain evaluation of the sampling formula ----

struct Taps {
    int x0, y0, x1, y1;
    float fx, fy;
};

// X = (1 - eps) u W, x0 = trunc(X), fx = X - x0; the right and lower neighbours wrap to 0
// where the image wraps and stay on the last column or row otherwise.
Taps tapsAt(const Image& image, float u, float v) {
    const float X = (1.0f - ixLinear::epsilonTolFlt) * u * static_cast<float>(image.getWidth());
    const float Y = (1.0f - ixLinear::epsilonTolFlt) * v * static_cast<float>(image.getHeight());
    Taps t;
    t.x0 = static_cast<int>(X);
    t.y0 = static_cast<int>(Y);
    t.fx = X - static_cast<float>(t.x0);
    t.fy = Y - static_cast<float>(t.y0);
    t.x1 = t.x0 + 1 < image.getWidth() ? t.x0 + 1 : (image.getWrapHorizontal() ? 0 : t.x0);
    t.y1 = t.y0 + 1 < image.getHeight() ? t.y0 + 1 : (image.getWrapVertical() ? 0 : t.y0);
    return t;
}

// The weighted sum in double, for the float types.
double blend(double p00, double p10, double p01, double p11, const Taps& t) {
    const double fx = t.fx, fy = t.fy;
    return (1 - fy) * ((1 - fx) * p00 + fx * p10) + fy * ((1 - fx) * p01 + fx * p11);
}

// Half: weights rounded to half; corners times horizontal weights, pair sums, vertical
// products and the final sum each rounded to half.
half blendHalf(half p00, half p10, half p01, half p11, const Taps& t) {
    const half wx0(1.0f - t.fx), wx1(t.fx), wy0(1.0f - t.fy), wy1(t.fy);
    const half a00(float(p00) * float(wx0)), a10(float(p10) * float(wx1));
    const half a01(float(p01) * float(wx0)), a11(float(p11) * float(wx1));
    const half row0(float(a00) + float(a10)), row1(float(a01) + float(a11));
    return half(float(half(float(row0) * float(wy0))) + float(half(float(row1) * float(wy1))));
}

// Byte4: every product truncated toward zero.
int blendByte(int p00, int p10, int p01, int p11, const Taps& t) {
    auto trunc = [](float v) { return static_cast<int>(v); };
    const int r0 = trunc(float(p00) * (1.0f - t.fx)) + trunc(float(p10) * t.fx);
    const int r1 = trunc(float(p01) * (1.0f - t.fx)) + trunc(float(p11) * t.fx);
    return trunc(float(r0) * (1.0f - t.fy)) + trunc(float(r1) * t.fy);
}

float centre(int i, int size) {
    return (static_cast<float>(i) + 0.5f) * (1.0f / static_cast<float>(size));
}

struct ResizeCase {
    int srcW, srcH, dstW, dstH;
    bool wrapH, wrapV;
};
const ResizeCase kCases[] = {{1, 1, 5, 3, false, false},   {17, 9, 5, 4, false, false},
                             {17, 9, 40, 21, true, false}, {9, 17, 9, 17, false, true},
                             {1, 7, 6, 6, true, true},     {8, 1, 3, 3, true, false},
                             {23, 5, 200, 2, false, false}};

std::mt19937 rng(2024);
float unitRandom() { return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng); }

void randomize(float& p) { p = unitRandom(); }
void randomize(FloatPixel3<float>& p) { p = {unitRandom(), unitRandom(), unitRandom()}; }
void randomize(FloatPixel4<float>& p) {
    p = {unitRandom(), unitRandom(), unitRandom(), unitRandom()};
}
void randomize(FloatPixel4<half>& p) {
    p = {half(unitRandom() * 4), half(unitRandom()), half(unitRandom()), half(unitRandom() * 100)};
}
void randomize(Byte4& p) { p = Byte4(rng() % 256, rng() % 256, rng() % 256, rng() % 256); }

using Channels = std::array<double, 4>;
Channels channelsOf(float p) { return {p, 0, 0, 0}; }
Channels channelsOf(const FloatPixel3<float>& p) { return {p.red, p.green, p.blue, 0}; }
template <class P>
Channels channelsOf(const P& p) {
    return {double(float(p.red)), double(float(p.green)), double(float(p.blue)),
            double(float(p.alpha))};
}

// Channel k of the formula's value for the four corners, with each type's own rounding.
template <class T>
double expectedChannel(const T& p00, const T& p10, const T& p01, const T& p11, int k,
                       const Taps& t) {
    return blend(channelsOf(p00)[k], channelsOf(p10)[k], channelsOf(p01)[k], channelsOf(p11)[k], t);
}
double expectedChannel(const FloatPixel4<half>& p00, const FloatPixel4<half>& p10,
                       const FloatPixel4<half>& p01, const FloatPixel4<half>& p11, int k,
                       const Taps& t) {
    auto h = [k](const FloatPixel4<half>& p) { return half(float(channelsOf(p)[k])); };
    return float(blendHalf(h(p00), h(p10), h(p01), h(p11), t));
}
double expectedChannel(const Byte4& p00, const Byte4& p10, const Byte4& p01, const Byte4& p11,
                       int k, const Taps& t) {
    auto b = [k](const Byte4& p) { return int(channelsOf(p)[k]); };
    return blendByte(b(p00), b(p10), b(p01), b(p11), t);
}

// Resizes a random image of every case bilinearly and compares each channel of each result
// pixel with the formula evaluated on the four source corners its taps name.
template <class T>
void checkBilinear(double tolerance) {
    for (const ResizeCase& c : kCases) {
        TypedImage<T> src;
        src.setSize(c.srcW, c.srcH);
        src.setWrap(c.wrapH, c.wrapV);
        for (int i = 0; i < c.srcW * c.srcH; ++i) randomize(src.data()[i]);
        ix::Reference<Image> out(resize(src, c.dstW, c.dstH, true));
        ASSERT_TRUE(out && out->getWidth() == c.dstW && out->getHeight() == c.dstH);
        const auto& got = static_cast<const TypedImage<T>&>(*out);
        for (int y = 0; y < c.dstH; ++y)
            for (int x = 0; x < c.dstW; ++x) {
                const Taps t = tapsAt(src, centre(x, c.dstW), centre(y, c.dstH));
                for (int k = 0; k < 4; ++k)
                    ASSERT_NEAR(channelsOf(got.at(x, y))[k],
                                expectedChannel(src.at(t.x0, t.y0), src.at(t.x1, t.y0),
                                                src.at(t.x0, t.y1), src.at(t.x1, t.y1), k, t),
                                tolerance)
                        << "tag " << src.getPixelType() << " " << c.srcW << "x" << c.srcH << " at "
                        << x << "," << y << " channel " << k;
            }
    }
}

}  // namespace

// Float types: a convex blend of values in [0, 1] evaluated in float, a few ulps of 1 from the
// double evaluation. Half and Byte4 follow their own rounding exactly.
TEST(ResizeBilinear, EveryTypeMatchesTheFormula) {
    checkBilinear<float>(1e-6);
    checkBilinear<FloatPixel3<float>>(1e-6);
    checkBilinear<FloatPixel4<float>>(1e-6);
    checkBilinear<FloatPixel4<half>>(0.0);
    checkBilinear<Byte4>(0.0);
}

TEST(ResizeNearest, PicksTheFormulasSourcePixel) {
    for (const ResizeCase& c : kCases) {
        TypedImage<Byte4> src;
        src.setSize(c.srcW, c.srcH);
        for (int i = 0; i < c.srcW * c.srcH; ++i)
            src.data()[i] = Byte4(i % 256, i / 256, rng() % 256, 7);
        ix::Reference<Image> out(resize(src, c.dstW, c.dstH, false));
        ASSERT_TRUE(out);
        const auto& got = static_cast<const TypedImage<Byte4>&>(*out);
        const float oneMinusEps = 1.0f - ixLinear::epsilonTolFlt;
        for (int y = 0; y < c.dstH; ++y)
            for (int x = 0; x < c.dstW; ++x) {
                const int sx = static_cast<int>(centre(x, c.dstW) * oneMinusEps * float(c.srcW));
                const int sy = static_cast<int>(centre(y, c.dstH) * oneMinusEps * float(c.srcH));
                EXPECT_EQ(got.at(x, y), src.at(sx, sy))
                    << c.srcW << "x" << c.srcH << " at " << x << "," << y;
            }
    }
}

TEST(ResizeFailures, SilentOutcomes) {
    // Unsupported pixel types and sources without pixels give null.
    for (PixelTypeId tag : {kPixelUnsignedChar, kPixelUnsignedInt, kPixelInt4, kPixelDouble3}) {
        ix::Reference<Image> image(imageCreateByType(tag));
        image->setSize(2, 2);
        for (bool bilinear : {false, true})
            EXPECT_EQ(resize(*image, 4, 4, bilinear), nullptr) << "tag " << image->getPixelType();
    }
    ShrmImage shrm;
    shrm.setSize(2, 2);
    EXPECT_EQ(resize(shrm, 4, 4, true), nullptr);
    TypedImage<FloatPixel3<float>> empty;
    EXPECT_EQ(resize(empty, 4, 4, true), nullptr);
    empty.setSize(0, 6);
    EXPECT_EQ(resize(empty, 4, 4, false), nullptr);

    // A target side below 1: a new image of that size (count 0), nothing sampled.
    TypedImage<float> src;
    src.setSize(3, 3);
    struct Case {
        int width, height;
    };
    for (const Case c : {Case{0, 5}, Case{5, 0}, Case{-2, 3}, Case{0, 0}})
        for (bool bilinear : {false, true}) {
            Image* out = resize(src, c.width, c.height, bilinear);
            ASSERT_NE(out, nullptr) << c.width << "x" << c.height;
            EXPECT_EQ(out->getRefCount(), 0);
            ix::Reference<Image> hold(out);
            EXPECT_TRUE(out->getPixelType() == kPixelFloat && out->getWidth() == c.width &&
                        out->getHeight() == c.height && out->pixels() == nullptr)
                << c.width << "x" << c.height;
        }
}
