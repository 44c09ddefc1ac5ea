// Ranges, reference counting, tile padding and rectangle packing of the base library.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "iximage/interfaces/int_range.h"
#include "iximage/interfaces/packing.h"
#include "iximage/interfaces/rect_pack.h"
#include "iximage/interfaces/reference.h"

using ixUtil::IntRange2d;

namespace {

auto fields(const IntRange2d& r) { return std::make_tuple(r.x, r.y, r.width, r.height); }

}  // namespace

// Against plain rules: wrap by repeated stepping, clamp by comparison.
TEST(IntRange2d, ContainsWrapClampMatchPlainRules) {
    const IntRange2d ranges[] = {{0, 0, 10, 4}, {-6, 3, 5, 7}, {100, -50, 1, 3}, {2, 2, 64, 64}};
    for (const IntRange2d& r : ranges)
        for (int axis : {0, 1})
            for (int offset : {-100001, -1000, -65, -11, -10, -9, -1, 0, 1, 4, 9, 10, 11, 63, 64,
                               1000, 100003}) {
                const int o = r.origin(axis), n = r.size(axis), c = o + offset;
                int wrapped = c;
                while (wrapped < o) wrapped += n;
                while (wrapped >= o + n) wrapped -= n;
                EXPECT_EQ(r.contains(axis, c), c >= o && c < o + n) << axis << " " << c;
                EXPECT_EQ(r.wrap(axis, c), wrapped) << axis << " " << c;
                EXPECT_EQ(r.clamp(axis, c), std::clamp(c, o, o + n - 1)) << axis << " " << c;
            }
    const IntRange2d empty(3, -4, 0, 0);  // an empty axis brings everything to the origin
    for (int c : {-10, 0, 3, 10})
        EXPECT_TRUE(!empty.contains(0, c) && empty.wrap(0, c) == 3 && empty.clamp(1, c) == -4);
}

namespace {

struct Counted : ix::ReferenceCount {
    explicit Counted(int* deaths) : deaths(deaths) {}
    ~Counted() override { ++*deaths; }
    int* deaths;
};

}  // namespace

TEST(Reference, CountsCopiesMovesAndDestroysAtZero) {
    int deaths = 0;
    Counted* raw = new Counted(&deaths);
    {
        ix::Reference<Counted> a(raw), b(a), d;
        ix::Reference<Counted> c(std::move(b));
        c = c;  // self-assignment keeps the object alive and the count unchanged
        c = std::move(c);
        EXPECT_TRUE(b.isNull() && raw->getRefCount() == 2);
        d = a;
        EXPECT_EQ(raw->getRefCount(), 3);
        d.reset();
        c = nullptr;
        EXPECT_TRUE(raw->getRefCount() == 1 && deaths == 0);
    }
    EXPECT_EQ(deaths, 1);
    // The only reference survives being given its own object; given another, it lets go.
    ix::Reference<Counted> only(new Counted(&deaths));
    only = only.get();
    EXPECT_TRUE(deaths == 1 && only->getRefCount() == 1);
    only = new Counted(&deaths);
    EXPECT_EQ(deaths, 2);
    only.reset();
    EXPECT_EQ(deaths, 3);
    Counted original(&deaths);
    original.ref();
    Counted copy(original);  // a copy does not copy the count
    EXPECT_TRUE(copy.getRefCount() == 0 && original.getRefCount() == 1);
}

TEST(Packing, PaddedTileIsTheInteriorGrownByTheBorderOnEverySide) {
    ixImage::Packing packing(3);
    packing.setTileInterior(2, IntRange2d(10, -4, 5, 7));
    packing.setTileInterior(-1, IntRange2d(1, 1, 1, 1));  // ignored
    EXPECT_EQ(packing.getTileCount(), 3);
    EXPECT_EQ(fields(packing.getPaddedTile(2)), std::make_tuple(7, -7, 11, 13));
    EXPECT_EQ(fields(packing.getTileInterior(2)), std::make_tuple(10, -4, 5, 7));
}

// Whatever the method: sizes kept, tiles inside the returned range (origin (0, 0), no larger
// than needed) without overlap; tight packing dense and no looser than shelves, shelves in
// reading order.
TEST(RectPack, RandomTilesAreValidAndDense) {
    const int cases[][4] = {
        {1, 200, 1, 64}, {2, 300, 4, 32}, {3, 500, 1, 100}, {4, 100, 8, 200}, {5, 400, 16, 20}};
    for (const auto& [seed, count, minSide, maxSide] : cases) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> side(minSide, maxSide), origin(-5, 5);
        std::vector<IntRange2d> before;
        for (int i = 0; i < count; ++i)
            before.emplace_back(origin(rng), origin(rng), side(rng), side(rng));
        double area[2];
        for (bool tight : {false, true}) {
            std::vector<IntRange2d> tiles = before;
            const IntRange2d range = pack(tiles, tight);
            const std::string what = "seed " + std::to_string(seed) + (tight ? " tight" : "");
            ASSERT_TRUE(range.x == 0 && range.y == 0) << what;
            int right = 0, top = 0;
            double used = 0;
            for (size_t i = 0; i < tiles.size(); ++i) {
                const IntRange2d &t = tiles[i], &p = tiles[std::max<size_t>(i, 1) - 1];
                ASSERT_TRUE(t.width == before[i].width && t.height == before[i].height) << what;
                ASSERT_TRUE(t.x >= 0 && t.y >= 0 && t.x + t.width <= range.width &&
                            t.y + t.height <= range.height)
                    << what << " tile " << i;
                ASSERT_TRUE(tight || i == 0 || t.y > p.y || (t.y == p.y && t.x >= p.x + p.width))
                    << what << " tile " << i << " out of order";
                for (size_t j = 0; j < i; ++j) {
                    const IntRange2d& u = tiles[j];
                    ASSERT_FALSE(t.x < u.x + u.width && u.x < t.x + t.width &&
                                 t.y < u.y + u.height && u.y < t.y + t.height)
                        << what << " tiles " << j << " and " << i << " overlap";
                }
                right = std::max(right, t.x + t.width);
                top = std::max(top, t.y + t.height);
                used += double(t.width) * t.height;
            }
            ASSERT_TRUE(right == range.width && top == range.height) << what;
            area[tight] = double(range.width) * range.height;
            // Shelves in arbitrary order waste the gap above every tile lower than its shelf's
            // tallest: about mean / max height, near 0.5 for heights uniform from 1.
            EXPECT_GE(used / area[tight], tight ? 0.7 : 0.45) << what;
        }
        EXPECT_LE(area[true], area[false]) << "tight packing looser than shelves, seed " << seed;
    }
}
