#include "iximage/image/resize.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <initializer_list>

#include "random_image.h"

using namespace ixImage;

namespace {

// Resizes random images bilinearly and compares every channel with the bilinear blend, in
// double, of the four source pixels around the destination pixel centre: X = (1 - eps) u W, no
// half-pixel recentring, the right and lower neighbours wrapping or clamping as the source says.
// Tolerance: abs + rel |expected| (half rounds every step; Byte4 truncates each product, which
// loses up to 4 levels).
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
        for (int y = 0; y < c[3]; ++y)
            for (int x = 0; x < c[2]; ++x) {
                const float X = k * ((x + 0.5f) * (1.0f / c[2])) * float(c[0]),
                            Y = k * ((y + 0.5f) * (1.0f / c[3])) * float(c[1]);
                const int x0 = int(X), y0 = int(Y);
                const int x1 = x0 + 1 < c[0] ? x0 + 1
                               : c[4]        ? 0
                                             : x0,
                          y1 = y0 + 1 < c[1] ? y0 + 1
                               : c[5]        ? 0
                                             : y0;
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
    roundTrip(Byte4Image());
    roundTrip(Half4Image());
    roundTrip(FloatImage());
    roundTrip(Float3Image());
    roundTrip(Float4Image());
}

// Unsupported pixel types and sources without pixels give null; a target side below 1 gives a
// new image of that size (count 0), nothing sampled.
TEST(ResizeFailures, SilentOutcomes) {
    MaskImage mask;
    TypedImage<unsigned int> words;
    TypedImage<Int4> ints;
    Double3Image doubles;
    ShrmImage shrm;
    Float3Image empty, noColumns;
    const std::initializer_list<Image*> sources = {&mask, &words, &ints,     &doubles,
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
            Image* out = resize(src, size[0], size[1], bilinear);
            ASSERT_NE(out, nullptr) << size[0] << "x" << size[1];
            EXPECT_EQ(out->getRefCount(), 0);
            ix::Reference<Image> hold(out);
            EXPECT_TRUE(out->getPixelType() == kPixelFloat && out->getWidth() == size[0] &&
                        out->getHeight() == size[1] && out->pixels() == nullptr);
        }
}
