#include "iximage/image/convert_copy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "random_image.h"

using namespace ixImage;

// A small image pasted into (imageCopyIn) and cut out of (imageCopyOut) a larger one, for every
// pixel size: the whole window moves, bit for bit, when it fits; nothing moves otherwise (far
// edge past the border, negative offsets) or when the two pixel types differ.
TEST(ImageCopy, WholeWindowOrNothing) {
    const int cases[][7] = {
        // small w, h, large w, h, x, y, fits
        {2, 2, 4, 4, 2, 2, 1},    {2, 2, 4, 4, 3, 2, 0},    {2, 2, 4, 4, 2, 3, 0},
        {4, 4, 4, 4, 0, 0, 1},    {4, 4, 4, 4, 0, 1, 0},    {1, 1, 4, 4, 3, 3, 1},
        {2, 2, 4, 4, -1, 0, 0},   {2, 2, 4, 4, 0, -1, 0},   {1, 7, 3, 9, 2, 2, 1},
        {17, 9, 20, 11, 3, 2, 1}, {17, 9, 20, 11, 4, 2, 0}, {7, 1, 7, 2, 0, 1, 1},
    };
    std::mt19937 rng(1);
    auto check = [&](auto small, auto large) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << "tag " << small.getPixelType() << " " << c[0] << "x" << c[1] << " in "
                         << c[2] << "x" << c[3] << " at (" << c[4] << ", " << c[5] << ")");
            ixTest::fillRandomBytes(small, c[0], c[1], rng);
            ixTest::fillRandomBytes(large, c[2], c[3], rng);
            ix::Reference<Image> pastedCopy(large.duplicate()), cutCopy(small.duplicate());
            auto& pasted = static_cast<decltype(large)&>(*pastedCopy);
            auto& cut = static_cast<decltype(small)&>(*cutCopy);
            imageCopyIn(small, pasted, c[4], c[5]);
            imageCopyOut(large, cut, c[4], c[5]);
            for (int y = 0; y < c[3]; ++y)
                for (int x = 0; x < c[2]; ++x) {
                    const int sx = x - c[4], sy = y - c[5];
                    const bool in = c[6] && sx >= 0 && sy >= 0 && sx < c[0] && sy < c[1];
                    ASSERT_TRUE(
                        ixTest::sameBits(pasted.at(x, y), in ? small.at(sx, sy) : large.at(x, y)));
                    ASSERT_TRUE(!in || ixTest::sameBits(cut.at(sx, sy), large.at(x, y)));
                }
            for (int i = 0; i < c[0] * c[1] && !c[6]; ++i)
                ASSERT_TRUE(ixTest::sameBits(cut.data()[i], small.data()[i]))
                    << "copied out although it does not fit";
        }
    };
    check(MaskImage(), MaskImage());
    check(Byte4Image(), Byte4Image());
    check(Half4Image(), Half4Image());
    check(Float3Image(), Float3Image());
    check(Double3Image(), Double3Image());
    check(ShrmImage(), ShrmImage());

    Byte4Image source;
    FloatImage target;  // same pixel size, different type
    source.setSize(1, 1);
    source.data()[0] = Byte4(1, 2, 3, 4);
    target.setSize(2, 2);
    std::fill(target.data(), target.data() + 4, 0.5f);
    imageCopyIn(source, target, 0, 0);
    imageCopyOut(target, source, 0, 0);
    EXPECT_TRUE(std::count(target.data(), target.data() + 4, 0.5f) == 4 &&
                source.data()[0] == Byte4(1, 2, 3, 4));
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
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(byteImage.data()[i] == bytes[i]) << "colour " << i;
}
