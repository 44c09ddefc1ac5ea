#include "iximage/image/interpolate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace ixImage;
using Pixels = std::vector<unsigned char>;  // rows of width w, one after another

// Fills the holes of image (w x h) where mask is 0, on images borrowing the two vectors.
Pixels interpolated(Pixels mask, Pixels image, int w, int maskWidth = 0) {
    MaskImage maskImage, target;
    const int mw = maskWidth ? maskWidth : w;
    maskImage.setExternalPixels(mask.data(), mw, int(mask.size()) / mw);
    target.setExternalPixels(image.data(), w, int(image.size()) / w);
    imageInterpolate(maskImage, target);
    return image;
}

TEST(ImageInterpolate, WorkedExamplesAndSilentOutcomes) {
    const unsigned char _ = 33;  // old value of a missing pixel, which must not matter
    const struct {
        const char* name;
        int w;
        Pixels mask, image, expected;
    } cases[] = {
        {"row gap", 5, {255, 0, 0, 0, 255}, {0, _, _, _, 255}, {0, 64, 127, 191, 255}},
        {"mask value 1 is known", 5, {1, 0, 0, 0, 1}, {0, _, _, _, 255}, {0, 64, 127, 191, 255}},
        {"two corners, second pass in the middle",
         3,
         {255, 0, 0, 0, 0, 0, 0, 0, 255},
         {0, _, _, _, _, _, _, _, 200},
         {0, 0, 100, 0, 100, 200, 100, 200, 200}},
        {"halfway average rounds down", 2, {255, 0, 0, 255}, {0, _, _, 255}, {0, 127, 127, 255}},
        {"no known pixel", 2, {0, 0, 0, 0}, {1, 2, 3, 4}, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) EXPECT_EQ(interpolated(c.mask, c.image, c.w), c.expected) << c.name;
    EXPECT_EQ(interpolated({255, 0, 0}, {1, 2}, 2, 3), Pixels({1, 2})) << "sizes differ";
    MaskImage emptyMask, emptyImage;
    imageInterpolate(emptyMask, emptyImage);
    EXPECT_EQ(emptyImage.data(), nullptr);
}

// Random masks of every density: known pixels keep their values, filled ones stay within the
// known range (neither interpolation nor averaging overshoots), and since the old values of
// missing pixels do not matter, filling the result again gives it unchanged.
TEST(ImageInterpolate, KeepsKnownPixelsAndStaysInTheirRange) {
    std::mt19937 rng(5);
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {17, 9}, {2, 2}, {5, 3}, {12, 12}};
    for (const auto& size : sizes)
        for (double density : {0.0, 0.03, 0.1, 0.3, 0.7, 1.0}) {
            SCOPED_TRACE(::testing::Message() << size[0] << "x" << size[1] << " known " << density);
            std::bernoulli_distribution isKnown(density);
            Pixels mask(size_t(size[0] * size[1])), image(mask.size());
            int low = 256, high = -1;
            for (size_t i = 0; i < mask.size(); ++i) {
                mask[i] = isKnown(rng) ? 1 + rng() % 255 : 0;
                image[i] = rng() % 256;
                if (mask[i])
                    low = std::min(low, int(image[i])), high = std::max(high, int(image[i]));
            }
            const Pixels result = interpolated(mask, image, size[0]);
            ASSERT_EQ(interpolated(mask, result, size[0]), result);
            for (size_t i = 0; i < mask.size(); ++i)
                ASSERT_TRUE((!mask[i] || result[i] == image[i]) &&
                            (high < 0 || (result[i] >= low && result[i] <= high)))
                    << "pixel " << i;
        }
}
