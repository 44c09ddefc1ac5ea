#include "iximage/image/flip_min_max.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "random_image.h"

using namespace ixImage;

namespace {

// Flips random images of every odd shape and compares each pixel, bit for bit, with the one
// the definition puts there: rows reversed, columns reversed, or (no horizontal flip for the
// type) nothing moved.
enum class Expect { kRowsReversed, kColumnsReversed, kUnchanged };
template <class... T>
void checkFlips(void (*flip)(Image&), Expect expect, std::mt19937& rng) {
    auto check = [&](auto image) {
        for (const ixTest::Shape& s : ixTest::kOddShapes) {
            const int w = s.width, h = s.height;
            ixTest::fillRandomBytes(image, w, h, rng);
            const auto before = std::vector(image.data(), image.data() + w * h);
            flip(image);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int sx = expect == Expect::kColumnsReversed ? w - 1 - x : x;
                    const int sy = expect == Expect::kRowsReversed ? h - 1 - y : y;
                    ASSERT_TRUE(ixTest::sameBits(image.at(x, y), before[sy * w + sx]))
                        << "tag " << image.getPixelType() << " " << w << "x" << h << " at (" << x
                        << ", " << y << ")";
                }
        }
    };
    (check(TypedImage<T>()), ...);
}

}  // namespace

// Vertical flips work on every type; horizontal ones on tags 0 to 7 only.
TEST(ImageFlip, VerticalForEveryTypeHorizontalForTagsZeroToSeven) {
    std::mt19937 rng(1);
    checkFlips<unsigned char, Int4, FloatPixel3<double>, ShrmPixel>(imageFlipVertical,
                                                                    Expect::kRowsReversed, rng);
    checkFlips<unsigned char, Byte4, unsigned int, Int4, FloatPixel4<half>, float,
               FloatPixel3<float>, FloatPixel4<float>>(imageFlipHorizontal,
                                                       Expect::kColumnsReversed, rng);
    checkFlips<FloatPixel3<double>, ShrmPixel>(imageFlipHorizontal, Expect::kUnchanged, rng);

    Float4Image empty;  // no pixels: left alone
    empty.setSize(0, 5);
    imageFlipVertical(empty);
    imageFlipHorizontal(empty);
    EXPECT_TRUE(empty.data() == nullptr && empty.getHeight() == 5);
}

// Byte4 images and raw 4-byte pixels (count pixels, none for a count below 1 or null) swap
// bytes 0 and 2; other types are left alone.
TEST(ImageSwapRedBlue, SwapsBytesZeroAndTwoOfByte4Only) {
    Byte4Image bytes, empty;
    Float4Image colours;
    bytes.setSize(1, 1);
    colours.setSize(1, 1);
    bytes.data()[0] = Byte4(10, 20, 30, 40);
    colours.data()[0] = {1.0f, 2.0f, 3.0f, 4.0f};
    imageSwapRedBlue(bytes);
    imageSwapRedBlue(colours);
    imageSwapRedBlue(empty);
    EXPECT_TRUE(bytes.data()[0] == Byte4(30, 20, 10, 40) && colours.data()[0].red == 1.0f);

    char pixels[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    imageSwapRedBlue(pixels, 2);
    imageSwapRedBlue(pixels, -3);
    imageSwapRedBlue(nullptr, 5);
    const char expected[12] = {3, 2, 1, 4, 7, 6, 5, 8, 9, 10, 11, 12};
    EXPECT_TRUE(std::equal(pixels, pixels + 12, expected));
}

// Pixel-wise minimum and maximum, also in place; images of different shapes leave the result
// as it was.
TEST(ImageMinMax, WorkedExamplesAndMismatch) {
    MaskImage a, b, low, high, tall, untouched;
    a.setSize(3, 1);
    b.setSize(3, 1);
    a.data()[0] = 0, a.data()[1] = 200, a.data()[2] = 17;
    b.data()[0] = 5, b.data()[1] = 100, b.data()[2] = 17;
    imageMin(a, b, low);
    imageMax(a, b, high);
    using Values = std::vector<int>;
    EXPECT_EQ(Values(low.data(), low.data() + 3), Values({0, 100, 17}));
    EXPECT_EQ(Values(high.data(), high.data() + 3), Values({5, 200, 17}));
    imageMax(a, b, a);
    EXPECT_EQ(Values(a.data(), a.data() + 3), Values({5, 200, 17}));

    tall.setSize(1, 3);
    untouched.setSize(2, 2);
    untouched.data()[0] = 9;
    imageMin(a, tall, untouched);
    imageMax(a, tall, untouched);
    EXPECT_TRUE(untouched.getWidth() == 2 && untouched.data()[0] == 9);
}
