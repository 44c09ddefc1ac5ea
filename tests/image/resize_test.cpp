#include <gtest/gtest.h>

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

// Resizes a random image of every case bilinearly and hands each result pixel, with the four
// source corners and taps the formula names, to `check`.
template <class T, class Check>
void forEachBilinearPixel(Check check) {
    for (const ResizeCase& c : kCases) {
        TypedImage<T> src;
        src.setSize(c.srcW, c.srcH);
        src.setWrap(c.wrapH, c.wrapV);
        for (int i = 0; i < c.srcW * c.srcH; ++i) randomize(src.data()[i]);
        ix::Reference<Image> out(resize(src, c.dstW, c.dstH, true));
        ASSERT_TRUE(out);
        ASSERT_EQ(out->getWidth(), c.dstW);
        ASSERT_EQ(out->getHeight(), c.dstH);
        const auto& got = static_cast<const TypedImage<T>&>(*out);
        for (int y = 0; y < c.dstH; ++y)
            for (int x = 0; x < c.dstW; ++x) {
                const Taps t = tapsAt(src, centre(x, c.dstW), centre(y, c.dstH));
                const std::string where = std::to_string(c.srcW) + "x" + std::to_string(c.srcH) +
                                          " -> " + std::to_string(c.dstW) + "x" +
                                          std::to_string(c.dstH) + " at " + std::to_string(x) +
                                          "," + std::to_string(y);
                check(got.at(x, y), src.at(t.x0, t.y0), src.at(t.x1, t.y0), src.at(t.x0, t.y1),
                      src.at(t.x1, t.y1), t, where);
            }
    }
}

}  // namespace

// Float types: a convex blend of values in [0, 1] evaluated in float, a few ulps of 1 from
// the double evaluation.
TEST(ResizeBilinear, FloatTypesMatchTheFormula) {
    const double tol = 1e-6;
    forEachBilinearPixel<float>([&](float got, float p00, float p10, float p01, float p11,
                                    const Taps& t, const std::string& where) {
        EXPECT_NEAR(got, blend(p00, p10, p01, p11, t), tol) << where;
    });
    using F3 = FloatPixel3<float>;
    forEachBilinearPixel<F3>([&](const F3& got, const F3& p00, const F3& p10, const F3& p01,
                                 const F3& p11, const Taps& t, const std::string& where) {
        EXPECT_NEAR(got.red, blend(p00.red, p10.red, p01.red, p11.red, t), tol) << where;
        EXPECT_NEAR(got.green, blend(p00.green, p10.green, p01.green, p11.green, t), tol) << where;
        EXPECT_NEAR(got.blue, blend(p00.blue, p10.blue, p01.blue, p11.blue, t), tol) << where;
    });
    using F4 = FloatPixel4<float>;
    forEachBilinearPixel<F4>([&](const F4& got, const F4& p00, const F4& p10, const F4& p01,
                                 const F4& p11, const Taps& t, const std::string& where) {
        EXPECT_NEAR(got.red, blend(p00.red, p10.red, p01.red, p11.red, t), tol) << where;
        EXPECT_NEAR(got.alpha, blend(p00.alpha, p10.alpha, p01.alpha, p11.alpha, t), tol) << where;
    });
}

TEST(ResizeBilinear, HalfAndByte4FollowTheirRoundingExactly) {
    using H4 = FloatPixel4<half>;
    forEachBilinearPixel<H4>([](const H4& got, const H4& p00, const H4& p10, const H4& p01,
                                const H4& p11, const Taps& t, const std::string& where) {
        EXPECT_EQ(got.red.getBits(), blendHalf(p00.red, p10.red, p01.red, p11.red, t).getBits())
            << where;
        EXPECT_EQ(got.alpha.getBits(),
                  blendHalf(p00.alpha, p10.alpha, p01.alpha, p11.alpha, t).getBits())
            << where;
    });
    forEachBilinearPixel<Byte4>([](const Byte4& got, const Byte4& p00, const Byte4& p10,
                                   const Byte4& p01, const Byte4& p11, const Taps& t,
                                   const std::string& where) {
        EXPECT_EQ(got.red, blendByte(p00.red, p10.red, p01.red, p11.red, t)) << where;
        EXPECT_EQ(got.alpha, blendByte(p00.alpha, p10.alpha, p01.alpha, p11.alpha, t)) << where;
    });
}

TEST(ResizeBilinear, Byte4WorkedTruncations) {
    // 255 beside 0 at fx = 0.5 (u = 0.25 on two columns), fy = 0: 127, not 128.
    TypedImage<Byte4> pair;
    pair.setSize(2, 1);
    pair.at(0, 0) = Byte4(255, 255, 255, 255);
    pair.at(1, 0) = Byte4(0, 0, 0, 0);
    Int4 out;
    sampleBilinear(pair, 0.25f, 0.0f, out);
    EXPECT_EQ(out.red, 127);
    EXPECT_EQ(out.alpha, 127);

    // Uniform 255 at fx = 0.3 (u = 0.03 on ten columns): 178 + 76 = 254.
    TypedImage<Byte4> uniform;
    uniform.setSize(10, 1);
    std::fill(uniform.data(), uniform.data() + 10, Byte4(255, 255, 255, 255));
    sampleBilinear(uniform, 0.03f, 0.0f, out);
    EXPECT_EQ(out.green, 254);
}

TEST(ResizeBilinear, OneByOneSourceGivesItsPixelEverywhere) {
    TypedImage<float> src;
    src.setSize(1, 1);
    src.at(0, 0) = 0.7f;
    for (int size : {1, 2, 7, 64}) {
        ix::Reference<Image> out(resize(src, size, size + 3, true));
        ASSERT_TRUE(out);
        const auto& got = static_cast<const TypedImage<float>&>(*out);
        // Two float roundings of the blend: a couple of ulps of 0.7 (6e-8 each).
        for (int i = 0; i < size * (size + 3); ++i)
            EXPECT_NEAR(got.data()[i], 0.7f, 2.5e-7) << size;
    }
}

TEST(ResizeBilinear, SameSizeAveragesEachTwoByTwoBlock) {
    // Each centre lies half a pixel past its own pixel, so it blends its 2 x 2 block with
    // weights within 1e-5 of 1/4 (the (1 - eps) scale moves them slightly).
    TypedImage<float> src;
    src.setSize(6, 4);
    for (int i = 0; i < 24; ++i) src.data()[i] = unitRandom();
    ix::Reference<Image> out(resize(src, 6, 4, true));
    const auto& got = static_cast<const TypedImage<float>&>(*out);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const int x1 = std::min(x + 1, 5), y1 = std::min(y + 1, 3);
            const double mean = (src.at(x, y) + src.at(x1, y) + src.at(x, y1) + src.at(x1, y1)) / 4;
            EXPECT_NEAR(got.at(x, y), mean, 1e-4) << x << "," << y;
        }
}

TEST(ResizeBilinear, EndOfTheRangeStaysInsideAndFollowsTheWrapFlags) {
    TypedImage<float> src;
    src.setSize(4, 1);
    const float row[4] = {10, 20, 30, 40};
    std::copy(row, row + 4, src.data());
    float clamped, wrapped;
    sampleBilinear(src, 1.0f, 1.0f, clamped);
    src.setWrap(true, false);
    sampleBilinear(src, 1.0f, 1.0f, wrapped);
    // X = (1 - eps) * 4 sits just below 4: pixel 3 blended with its right neighbour, which is
    // pixel 3 itself when clamped and pixel 0 when wrapped (weight 1 - 4 eps).
    EXPECT_NEAR(clamped, 40.0f, 1e-4);
    EXPECT_NEAR(wrapped, 10.0f, 1e-3);
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

TEST(ResizeNearest, SameSizeIsTheIdentityForEveryType) {
    TypedImage<FloatPixel4<half>> h;
    TypedImage<FloatPixel3<float>> f3;
    TypedImage<Byte4> b4;
    Image* images[] = {&h, &f3, &b4};
    for (Image* image : images) {
        image->setSize(13, 7);
        auto* bytes = static_cast<unsigned char*>(image->pixels());
        for (int i = 0; i < 13 * 7 * image->pixelSize(); ++i) bytes[i] = rng() % 256;
        ix::Reference<Image> out(resize(*image, 13, 7, false));
        ASSERT_TRUE(out);
        EXPECT_EQ(std::memcmp(out->pixels(), bytes, size_t(13 * 7 * image->pixelSize())), 0)
            << "tag " << image->getPixelType();
    }
}

TEST(ResizeFailures, SilentOutcomes) {
    // Unsupported pixel types and sources without pixels give null.
    TypedImage<unsigned char> mask;
    TypedImage<unsigned int> word;
    TypedImage<Int4> int4;
    TypedImage<FloatPixel3<double>> double3;
    ShrmImage shrm;
    Image* unsupported[] = {&mask, &word, &int4, &double3, &shrm};
    for (Image* image : unsupported) {
        image->setSize(2, 2);
        for (bool bilinear : {false, true})
            EXPECT_EQ(resize(*image, 4, 4, bilinear), nullptr) << "tag " << image->getPixelType();
    }
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
            EXPECT_EQ(out->getPixelType(), kPixelFloat);
            EXPECT_EQ(out->getWidth(), c.width);
            EXPECT_EQ(out->getHeight(), c.height);
            EXPECT_EQ(out->pixels(), nullptr);
        }
}
