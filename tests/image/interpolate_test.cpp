#include "iximage/image/interpolate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace ixImage;

namespace {

using Grid = std::vector<std::vector<int>>;  // [y][x]

void toImage(const Grid& grid, MaskImage& image) {
    image.setSize(int(grid[0].size()), int(grid.size()));
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x) image.at(x, y) = (unsigned char)grid[y][x];
}

Grid toGrid(const MaskImage& image) {
    Grid grid(image.getHeight(), std::vector<int>(image.getWidth()));
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x) grid[y][x] = image.at(x, y);
    return grid;
}

}  // namespace

TEST(ImageInterpolate, WorkedExamplesAndSilentOutcomes) {
    const int _ = 33;  // old value of a missing pixel, which must not matter
    struct Case {
        const char* name;
        Grid mask, image, expected;
    };
    const Case cases[] = {
        {"row gap", {{255, 0, 0, 0, 255}}, {{0, _, _, _, 255}}, {{0, 64, 127, 191, 255}}},
        {"mask value 1 is known", {{1, 0, 0, 0, 1}}, {{0, _, _, _, 255}}, {{0, 64, 127, 191, 255}}},
        {"two corners, second pass in the middle",
         {{255, 0, 0}, {0, 0, 0}, {0, 0, 255}},
         {{0, _, _}, {_, _, _}, {_, _, 200}},
         {{0, 0, 100}, {0, 100, 200}, {100, 200, 200}}},
        {"halfway average rounds down",
         {{255, 0}, {0, 255}},
         {{0, _}, {_, 255}},
         {{0, 127}, {127, 255}}},
        {"no known pixel", {{0, 0}, {0, 0}}, {{1, 2}, {3, 4}}, {{1, 2}, {3, 4}}},
        {"mask and image of different sizes", {{255, 0, 0}}, {{1, 2}}, {{1, 2}}},
    };
    for (const Case& c : cases) {
        MaskImage mask, image;
        toImage(c.mask, mask);
        toImage(c.image, image);
        imageInterpolate(mask, image);
        EXPECT_EQ(toGrid(image), c.expected) << c.name;
    }
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
            Grid maskGrid(size[1], std::vector<int>(size[0])), imageGrid = maskGrid;
            int low = 256, high = -1;
            for (int y = 0; y < size[1]; ++y)
                for (int x = 0; x < size[0]; ++x) {
                    maskGrid[y][x] = isKnown(rng) ? int(1 + rng() % 255) : 0;
                    imageGrid[y][x] = int(rng() % 256);
                    if (maskGrid[y][x]) low = std::min(low, imageGrid[y][x]);
                    if (maskGrid[y][x]) high = std::max(high, imageGrid[y][x]);
                }
            MaskImage mask, image;
            toImage(maskGrid, mask);
            toImage(imageGrid, image);
            imageInterpolate(mask, image);
            const Grid result = toGrid(image);
            imageInterpolate(mask, image);
            ASSERT_EQ(toGrid(image), result);
            for (int y = 0; y < size[1]; ++y)
                for (int x = 0; x < size[0]; ++x) {
                    const bool kept = !maskGrid[y][x] || result[y][x] == imageGrid[y][x];
                    const bool inRange = high < 0 || (result[y][x] >= low && result[y][x] <= high);
                    ASSERT_TRUE(kept && inRange) << "(" << x << ", " << y << ")";
                }
        }
}
