#include "iximage/image/convert_copy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "random_image.h"

using namespace ixImage;

namespace {

void fillRamp(MaskImage& image, int width, int height, int first) {
    image.setSize(width, height);
    for (int i = 0; i < width * height; ++i) image.data()[i] = (unsigned char)(first + i);
}

template <class... T>
void checkCopyRoundTrip(std::mt19937& rng) {
    auto check = [&rng](auto window, auto large, auto back) {
        for (const ixTest::Shape& shape : ixTest::kOddShapes) {
            ixTest::fillRandomBytes(window, shape.width, shape.height, rng);
            ixTest::fillRandomBytes(large, shape.width + 3, shape.height + 2, rng);
            imageCopyIn(window, large, 3, 1);
            back.setSize(shape.width, shape.height);
            imageCopyOut(large, back, 3, 1);
            for (int i = 0; i < shape.width * shape.height; ++i)
                ASSERT_TRUE(ixTest::sameBits(back.data()[i], window.data()[i]))
                    << "tag " << window.getPixelType() << " " << shape.width << "x" << shape.height;
        }
    };
    (check(TypedImage<T>(), TypedImage<T>(), TypedImage<T>()), ...);
}

}  // namespace

// A small image pasted into (imageCopyIn) and cut out of (imageCopyOut) a larger one: the
// whole window moves when it fits, nothing otherwise (far edge past the border, negative
// offsets). Checked pixel by pixel against the plain definition.
TEST(ImageCopy, WholeWindowOrNothing) {
    struct Case {
        int smallWidth, smallHeight, largeWidth, largeHeight, x, y;
        bool fits;
    };
    const Case cases[] = {
        {2, 2, 4, 4, 2, 2, true},    {2, 2, 4, 4, 3, 2, false},    {2, 2, 4, 4, 2, 3, false},
        {4, 4, 4, 4, 0, 0, true},    {4, 4, 4, 4, 0, 1, false},    {1, 1, 4, 4, 3, 3, true},
        {2, 2, 4, 4, -1, 0, false},  {2, 2, 4, 4, 0, -1, false},   {1, 7, 3, 9, 2, 2, true},
        {17, 9, 20, 11, 3, 2, true}, {17, 9, 20, 11, 4, 2, false},
    };
    for (const Case& c : cases) {
        MaskImage small, large, pasted, cut;
        fillRamp(small, c.smallWidth, c.smallHeight, 100);
        fillRamp(large, c.largeWidth, c.largeHeight, 0);
        fillRamp(pasted, c.largeWidth, c.largeHeight, 0);
        fillRamp(cut, c.smallWidth, c.smallHeight, 100);
        imageCopyIn(small, pasted, c.x, c.y);
        imageCopyOut(large, cut, c.x, c.y);
        for (int y = 0; y < c.largeHeight; ++y)
            for (int x = 0; x < c.largeWidth; ++x) {
                const int sx = x - c.x, sy = y - c.y;
                const bool inWindow =
                    c.fits && sx >= 0 && sy >= 0 && sx < c.smallWidth && sy < c.smallHeight;
                ASSERT_EQ(pasted.at(x, y), inWindow ? small.at(sx, sy) : large.at(x, y))
                    << c.smallWidth << "x" << c.smallHeight << " in " << c.largeWidth << "x"
                    << c.largeHeight << " at (" << c.x << ", " << c.y << ")";
                if (inWindow) {
                    ASSERT_EQ(cut.at(sx, sy), large.at(x, y)) << x << ", " << y;
                }
            }
        for (int i = 0; i < c.smallWidth * c.smallHeight && !c.fits; ++i)
            ASSERT_EQ(cut.data()[i], small.data()[i]) << "copied out although it does not fit";
    }
}

TEST(ImageCopy, InThenOutRoundTripsEveryPixelSizeAndMixedTypesCopyNothing) {
    std::mt19937 rng(1);
    checkCopyRoundTrip<unsigned char, Byte4, FloatPixel4<half>, FloatPixel3<float>,
                       FloatPixel3<double>, ShrmPixel>(rng);
    Byte4Image source;
    FloatImage target;  // same pixel size, different type
    source.setSize(1, 1);
    source.data()[0] = Byte4(1, 2, 3, 4);
    target.setSize(2, 2);
    for (int i = 0; i < 4; ++i) target.data()[i] = 0.5f;
    imageCopyIn(source, target, 0, 0);
    imageCopyOut(target, source, 0, 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(target.data()[i], 0.5f) << i;
    EXPECT_EQ(source.data()[0], Byte4(1, 2, 3, 4));
}

// Float to mask truncates without clamping (low 8 bits of the integer); Float3 to Byte4
// clamps, then truncates, with alpha 255.
TEST(ImageConvert, FloatToMaskAndFloat3ToByte4Truncate) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float values[] = {0.0f, 0.5f, 1.0f, 0.999f, -0.001f, 2.0f, -1.0f, nan};
    const int expected[] = {0, 127, 255, 254, 0, 254 /* 510 mod 256 */, 1 /* -255 mod 256 */, 0};
    FloatImage source;
    MaskImage target;
    source.setSize(8, 1);
    std::copy(values, values + 8, source.data());
    imageConvert(source, target);
    ASSERT_EQ(target.getWidth(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(int(target.data()[i]), expected[i]) << values[i];

    const FloatPixel3<float> colours[] = {
        {1.5f, -0.2f, 0.5f}, {nan, 0.2f, 1e30f}, {-1e30f, 0.1f, 0.999f}};
    const Byte4 bytes[] = {Byte4(255, 0, 127, 255), Byte4(0, 51, 255, 255), Byte4(0, 25, 254, 255)};
    Float3Image colourImage;
    Byte4Image byteImage;
    colourImage.setSize(3, 1);
    std::copy(colours, colours + 3, colourImage.data());
    imageConvert(colourImage, byteImage);
    for (int i = 0; i < 3; ++i) {
        const Byte4 p = byteImage.data()[i];
        EXPECT_EQ(p, bytes[i]) << i << " gave " << int(p.red) << " " << int(p.green) << " "
                               << int(p.blue) << " " << int(p.alpha);
    }
}
