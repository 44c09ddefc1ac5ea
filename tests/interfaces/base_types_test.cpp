// Base types: binary16 conversions (bit for bit against Imath's half), reference counting, tile
// padding and rectangle packing.
#include <gtest/gtest.h>

#include <Imath/half.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "iximage/interfaces/half.h"
#include "iximage/interfaces/int_range.h"
#include "iximage/interfaces/packing.h"
#include "iximage/interfaces/rect_pack.h"
#include "iximage/interfaces/reference.h"

using ixUtil::IntRange2d;

namespace {

auto fields(const IntRange2d& r) { return std::make_tuple(r.x, r.y, r.width, r.height); }

template <class To, class From>
To bitCast(From from) {
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}

bool isHalfNan(std::uint16_t h) { return (h & 0x7C00u) == 0x7C00u && (h & 0x3FFu) != 0; }

// NaNs agree in sign and in the payload bits below the quiet bit (half mantissa bits 1 to 8).
// Bits 9 and 0 may differ: a signalling NaN comes out of ours quiet, as IEEE 754 asks of a
// conversion, while Imath keeps it signalling and sets bit 0 when the payload would vanish.
::testing::AssertionResult sameHalf(float input) {
    const std::uint16_t ours = ixImage::half(input).getBits(), imath = Imath::half(input).bits();
    const bool nan = isHalfNan(ours) && isHalfNan(imath) && ((ours ^ imath) & 0x81FEu) == 0;
    if (nan || (ours == imath && !isHalfNan(ours))) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "float bits 0x" << std::hex << bitCast<std::uint32_t>(input) << ": ours 0x" << ours
           << ", Imath 0x" << imath;
}

struct Counted : ix::ReferenceCount {
    explicit Counted(int* deaths) : deaths(deaths) {}
    ~Counted() override { ++*deaths; }
    int* deaths;
};

}  // namespace

TEST(Half, EveryPatternToFloatMatchesImath) {
    for (std::uint32_t b = 0; b < 65536u; ++b) {
        Imath::half reference;
        reference.setBits(std::uint16_t(b));
        const float ours = ixImage::half::fromBits(std::uint16_t(b)), theirs = reference;
        // NaNs keep their sign and the ten half mantissa bits as the top ten of the float's.
        const std::uint32_t compared = isHalfNan(std::uint16_t(b)) ? 0xFFFFE000u : 0xFFFFFFFFu;
        ASSERT_EQ(bitCast<std::uint32_t>(ours) & compared,
                  bitCast<std::uint32_t>(theirs) & compared)
            << "half 0x" << std::hex << b;
    }
}

TEST(Half, FloatToHalfMatchesImathOnASweepAndEveryRoundingBoundary) {
    // An odd stride visits every residue of the low bits the rounding looks at.
    for (std::uint64_t u = 0; u <= 0xFFFFFFFFull; u += 1021)
        ASSERT_TRUE(sameHalf(bitCast<float>(std::uint32_t(u))));
    // Between every pair of adjacent non-negative finite halves: the exact midpoint (a float:
    // halves have 11 significant bits, floats 24) and the floats just around it, both signs.
    // The last pair is 65504 and 65536, the first value that rounds to infinity.
    for (std::uint32_t h = 0; h < 0x7C00u; ++h) {
        const double lo = ixImage::half::fromBits(std::uint16_t(h)),
                     hi = h + 1 < 0x7C00u ? float(ixImage::half::fromBits(std::uint16_t(h + 1)))
                                          : 65536.f;
        const std::uint32_t m = bitCast<std::uint32_t>(float((lo + hi) / 2.0));
        ASSERT_EQ(double(bitCast<float>(m)), (lo + hi) / 2.0)
            << "midpoint of half 0x" << std::hex << h;
        for (std::uint32_t u = m - 3; u != m + 4; ++u)
            for (std::uint32_t sign : {0u, 0x80000000u})
                ASSERT_TRUE(sameHalf(bitCast<float>(u | sign)));
        ASSERT_EQ(ixImage::half(float(lo)).getBits(), h);  // the halves themselves are exact
    }
}

TEST(Reference, CountsCopiesMovesAndDestroysAtZero) {
    int deaths = 0;
    {
        ix::Reference<Counted> a(new Counted(&deaths)), b(a), c(std::move(b)), d;
        c = c;  // self-assignment keeps the object alive and the count unchanged
        c = std::move(c);
        d = a.get();
        EXPECT_TRUE(b.isNull() && a->getRefCount() == 3);
        d = new Counted(&deaths);  // lets go of the first object
        c = nullptr;
        a = a.get();  // the only reference, given its own object, keeps it
        EXPECT_TRUE(a->getRefCount() == 1 && deaths == 0);
    }
    EXPECT_EQ(deaths, 2);
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
            std::vector<char> taken(size_t(range.width) * size_t(range.height));
            for (size_t i = 0; i < tiles.size(); ++i) {
                const IntRange2d &t = tiles[i], &p = tiles[std::max<size_t>(i, 1) - 1];
                ASSERT_TRUE(t.width == before[i].width && t.height == before[i].height &&
                            t.x >= 0 && t.y >= 0 && t.x + t.width <= range.width &&
                            t.y + t.height <= range.height)
                    << what << " tile " << i << " resized or outside";
                ASSERT_TRUE(tight || i == 0 || t.y > p.y || (t.y == p.y && t.x >= p.x + p.width))
                    << what << " tile " << i << " out of order";
                for (int y = t.y; y < t.y + t.height; ++y)
                    for (int x = t.x; x < t.x + t.width; ++x)
                        ASSERT_FALSE(taken[size_t(y) * size_t(range.width) + size_t(x)]++)
                            << what << " tile " << i << " overlaps";
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
