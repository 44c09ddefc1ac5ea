#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "iximage/interfaces/rect_pack.h"

using ixUtil::IntRange2d;
using ixUtil::pack;

namespace {

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
            return ::testing::AssertionFailure() << "tile " << i << " leaves the range";
        right = std::max(right, t.x + t.width);
        top = std::max(top, t.y + t.height);
        for (size_t j = 0; j < i; ++j) {
            const IntRange2d& u = after[j];
            if (placeable(u) && t.x < u.x + u.width && u.x < t.x + t.width &&
                t.y < u.y + u.height && u.y < t.y + t.height)
                return ::testing::AssertionFailure() << "tiles " << j << " and " << i << " overlap";
        }
    }
    if (right != range.width || top != range.height)
        return ::testing::AssertionFailure() << "range " << range.width << "x" << range.height
                                             << " exceeds the tiles' " << right << "x" << top;
    return ::testing::AssertionSuccess();
}

double fill(const std::vector<IntRange2d>& tiles, const IntRange2d& range) {
    double used = 0.0;
    for (const IntRange2d& t : tiles)
        if (placeable(t)) used += double(t.width) * t.height;
    return used / (double(range.width) * range.height);
}

}  // namespace

TEST(RectPack, RandomTilesAreValidAndDense) {
    struct RandomCase {
        unsigned seed;
        int count, minSide, maxSide;
    };
    const RandomCase cases[] = {
        {1, 200, 1, 64}, {2, 300, 4, 32}, {3, 500, 1, 100}, {4, 100, 8, 200}, {5, 400, 16, 20}};
    for (const RandomCase& c : cases) {
        std::mt19937 rng(c.seed);
        std::uniform_int_distribution<int> side(c.minSide, c.maxSide), origin(-5, 5);
        std::vector<IntRange2d> before;
        for (int i = 0; i < c.count; ++i)
            before.emplace_back(origin(rng), origin(rng), side(rng), side(rng));
        std::vector<IntRange2d> tight = before, shelves = before;
        const IntRange2d tightRange = pack(tight, true), shelfRange = pack(shelves, false);
        ASSERT_TRUE(isValidPacking(before, tight, tightRange)) << "tight, seed " << c.seed;
        ASSERT_TRUE(isValidPacking(before, shelves, shelfRange)) << "shelves, seed " << c.seed;
        EXPECT_GE(fill(tight, tightRange), 0.7) << "seed " << c.seed;
        EXPECT_LE(double(tightRange.width) * tightRange.height,
                  double(shelfRange.width) * shelfRange.height)
            << "tight packing looser than shelves, seed " << c.seed;
        // Shelves in arbitrary order waste the gap above every tile lower than its shelf's
        // tallest: about mean / max height, near 0.5 for heights uniform from 1.
        EXPECT_GE(fill(shelves, shelfRange), 0.45) << "seed " << c.seed;
        // Reading order: each tile is right of its predecessor on the same shelf, or higher up.
        for (size_t i = 1; i < shelves.size(); ++i) {
            const IntRange2d &p = shelves[i - 1], &t = shelves[i];
            ASSERT_TRUE(t.y > p.y || (t.y == p.y && t.x >= p.x + p.width))
                << "seed " << c.seed << " tile " << i;
        }
    }
}
