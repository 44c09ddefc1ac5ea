#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "iximage/interfaces/rect_pack.h"

using ixUtil::IntRange2d;
using ixUtil::pack;

namespace {

bool overlaps(const IntRange2d& a, const IntRange2d& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

bool placeable(const IntRange2d& r) { return r.width > 0 && r.height > 0; }

// Everything a packing must satisfy, whatever the method: sizes kept, no two placeable tiles
// overlap, all inside the returned range, which starts at (0, 0) and is no larger than needed;
// unplaceable tiles sit at (0, 0).
::testing::AssertionResult isValidPacking(const std::vector<IntRange2d>& before,
                                          const std::vector<IntRange2d>& after,
                                          const IntRange2d& range) {
    if (before.size() != after.size()) return ::testing::AssertionFailure() << "tile count changed";
    if (range.x != 0 || range.y != 0)
        return ::testing::AssertionFailure() << "range origin " << range.x << "," << range.y;
    int right = 0, top = 0;
    for (size_t i = 0; i < after.size(); ++i) {
        const IntRange2d& t = after[i];
        if (t.width != before[i].width || t.height != before[i].height)
            return ::testing::AssertionFailure() << "tile " << i << " changed size";
        if (!placeable(t)) {
            if (t.x != 0 || t.y != 0)
                return ::testing::AssertionFailure() << "empty tile " << i << " not at (0, 0)";
            continue;
        }
        if (t.x < 0 || t.y < 0 || t.x + t.width > range.width || t.y + t.height > range.height)
            return ::testing::AssertionFailure()
                   << "tile " << i << " at " << t.x << "," << t.y << " size " << t.width << "x"
                   << t.height << " leaves range " << range.width << "x" << range.height;
        right = std::max(right, t.x + t.width);
        top = std::max(top, t.y + t.height);
        for (size_t j = 0; j < i; ++j) {
            if (placeable(after[j]) && overlaps(t, after[j]))
                return ::testing::AssertionFailure() << "tiles " << j << " and " << i << " overlap";
        }
    }
    if (right != range.width || top != range.height)
        return ::testing::AssertionFailure()
               << "range " << range.width << "x" << range.height
               << " is larger than the tiles' extent " << right << "x" << top;
    return ::testing::AssertionSuccess();
}

std::vector<IntRange2d> randomTiles(unsigned seed, int count, int minSide, int maxSide) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> side(minSide, maxSide);
    std::uniform_int_distribution<int> origin(-5, 5);
    std::vector<IntRange2d> tiles;
    for (int i = 0; i < count; ++i)
        tiles.emplace_back(origin(rng), origin(rng), side(rng), side(rng));
    return tiles;
}

double fill(const std::vector<IntRange2d>& tiles, const IntRange2d& range) {
    double used = 0.0;
    for (const IntRange2d& t : tiles)
        if (placeable(t)) used += double(t.width) * t.height;
    return used / (double(range.width) * range.height);
}

struct RandomCase {
    unsigned seed;
    int count;
    int minSide, maxSide;
};

const RandomCase kRandomCases[] = {
    {1, 200, 1, 64}, {2, 300, 4, 32}, {3, 500, 1, 100}, {4, 100, 8, 200}, {5, 400, 16, 20},
};

}  // namespace

TEST(RectPack, RandomTilesTightAreValidAndDense) {
    double worst = 1.0, sum = 0.0;
    for (const RandomCase& c : kRandomCases) {
        const std::vector<IntRange2d> before = randomTiles(c.seed, c.count, c.minSide, c.maxSide);
        std::vector<IntRange2d> tiles = before;
        const IntRange2d range = pack(tiles, true);
        ASSERT_TRUE(isValidPacking(before, tiles, range)) << "seed " << c.seed;
        const double f = fill(tiles, range);
        std::printf("tight  seed %u: %d tiles %d..%d -> %dx%d, fill %.3f\n", c.seed, c.count,
                    c.minSide, c.maxSide, range.width, range.height, f);
        EXPECT_GE(f, 0.7) << "seed " << c.seed << ", " << c.count << " tiles";
        std::vector<IntRange2d> shelves = before;
        const IntRange2d shelfRange = pack(shelves, false);
        EXPECT_LE(double(range.width) * range.height, double(shelfRange.width) * shelfRange.height)
            << "tight packing looser than shelves, seed " << c.seed;
        worst = std::min(worst, f);
        sum += f;
    }
    std::printf("tight fill: worst %.3f, mean %.3f\n", worst, sum / std::size(kRandomCases));
}

TEST(RectPack, RandomTilesShelvesAreValidAndKeepOrder) {
    for (const RandomCase& c : kRandomCases) {
        const std::vector<IntRange2d> before = randomTiles(c.seed, c.count, c.minSide, c.maxSide);
        std::vector<IntRange2d> tiles = before;
        const IntRange2d range = pack(tiles, false);
        ASSERT_TRUE(isValidPacking(before, tiles, range)) << "seed " << c.seed;
        // Reading order: each tile is right of its predecessor on the same shelf, or higher up.
        for (size_t i = 1; i < tiles.size(); ++i) {
            const IntRange2d& p = tiles[i - 1];
            const IntRange2d& t = tiles[i];
            ASSERT_TRUE(t.y > p.y || (t.y == p.y && t.x >= p.x + p.width))
                << "seed " << c.seed << " tile " << i;
        }
        const double f = fill(tiles, range);
        std::printf("shelves seed %u: %d tiles -> %dx%d, fill %.3f\n", c.seed, c.count, range.width,
                    range.height, f);
        // Shelves in arbitrary order waste the gap above every tile lower than its shelf's
        // tallest: about mean / max height, near 0.5 for heights uniform from 1.
        EXPECT_GE(f, 0.45) << "seed " << c.seed;
    }
}

TEST(RectPack, EqualSquaresPackIntoAPerfectSquare) {
    for (bool tight : {true, false}) {
        std::vector<IntRange2d> tiles(16, IntRange2d(0, 0, 10, 10));
        const std::vector<IntRange2d> before = tiles;
        const IntRange2d range = pack(tiles, tight);
        ASSERT_TRUE(isValidPacking(before, tiles, range)) << "tight " << tight;
        EXPECT_EQ(range.width, 40) << "tight " << tight;
        EXPECT_EQ(range.height, 40) << "tight " << tight;
    }
}

struct SmallCase {
    const char* name;
    std::vector<IntRange2d> tiles;
    int expectedWidth, expectedHeight;  // for both methods
};

TEST(RectPack, SmallAndDegenerateLists) {
    const SmallCase cases[] = {
        {"empty", {}, 0, 0},
        {"only empty tiles", {{3, 4, 0, 5}, {1, 1, -2, 3}, {0, 0, 4, 0}}, 0, 0},
        {"one tile moved to the origin", {{-2, -2, 14, 9}}, 14, 9},
        {"empty tiles take no room", {{7, 7, 10, 10}, {5, 5, 0, 0}, {0, 0, -3, -3}}, 10, 10},
        {"one wide tile sets the width", {{0, 0, 100, 20}, {0, 0, 5, 5}, {0, 0, 5, 5}}, 100, 25},
    };
    for (const SmallCase& c : cases) {
        for (bool tight : {true, false}) {
            std::vector<IntRange2d> tiles = c.tiles;
            const IntRange2d range = pack(tiles, tight);
            EXPECT_TRUE(isValidPacking(c.tiles, tiles, range)) << c.name << ", tight " << tight;
            EXPECT_EQ(range.width, c.expectedWidth) << c.name << ", tight " << tight;
            EXPECT_EQ(range.height, c.expectedHeight) << c.name << ", tight " << tight;
        }
    }
}
