#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "iximage/image/image_pack.h"
#include "iximage/image/typed_image.h"

using namespace ixImage;
using ixUtil::IntRange2d;

namespace {

// Tile i's pixel (x, y) holds (i + 1) * 1024 + y * 32 + x: distinct from every other pixel
// and from white (1.0), and exact in float.
float tileValue(int i, int x, int y) { return float((i + 1) * 1024 + y * 32 + x); }

std::unique_ptr<TypedImage<float>> makeTile(int i, int w, int h, bool wrapH, bool wrapV) {
    auto tile = std::make_unique<TypedImage<float>>();
    tile->setSize(w, h);
    tile->setWrap(wrapH, wrapV);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) tile->at(x, y) = tileValue(i, x, y);
    return tile;
}

// Where a border pixel takes its value from, per axis: one period away when the source wraps
// on that axis, else the nearest interior position.
int sourcePosition(int p, int origin, int size, bool wrap) {
    if (wrap) return origin + ((p - origin) % size + size) % size;
    return std::min(std::max(p, origin), origin + size - 1);
}

struct PackRun {
    int tileCount;
    int maxSide;
    float margin;
    bool tight;
    int border;
    unsigned seed;
};

// Packs random tiles and checks every invariant of the atlas and the transforms.
void checkRandomPack(const PackRun& run) {
    std::mt19937 rng(run.seed);
    std::vector<std::unique_ptr<TypedImage<float>>> tiles;
    std::vector<Image*> images;
    for (int i = 0; i < run.tileCount; ++i) {
        const int w = 1 + int(rng() % unsigned(run.maxSide)),
                  h = 1 + int(rng() % unsigned(run.maxSide));
        tiles.push_back(makeTile(i, w, h, rng() % 2, rng() % 2));
        images.push_back(tiles.back().get());
    }
    Packing packing(run.border);
    imagePack(packing, images, run.margin, run.tight, true);
    const std::string where = "run of " + std::to_string(run.tileCount) + " tiles, seed " +
                              std::to_string(run.seed) + (run.tight ? ", tight" : ", shelves");

    ASSERT_TRUE(packing.atlas) << where;
    ASSERT_EQ(packing.getTileCount(), run.tileCount) << where;
    const auto& atlas = static_cast<const TypedImage<float>&>(*packing.atlas);
    const int W = atlas.getWidth(), H = atlas.getHeight();
    EXPECT_TRUE(W >= 64 && H >= 64 && packing.xSize() == W && packing.ySize() == H) << where;

    std::vector<int> owner(static_cast<size_t>(W * H), -1);
    const float e = 0.5f - run.margin;
    for (int i = 0; i < run.tileCount; ++i) {
        const IntRange2d in = packing.getTileInterior(i);
        const IntRange2d pad = packing.getPaddedTile(i);
        const TypedImage<float>& tile = *tiles[size_t(i)];
        ASSERT_TRUE(in.width == tile.getWidth() && in.height == tile.getHeight() &&
                    pad.x == in.x - run.border && pad.width == in.width + 2 * run.border)
            << where << " tile " << i;
        ASSERT_TRUE(pad.x >= 0 && pad.y >= 0 && pad.x + pad.width <= W && pad.y + pad.height <= H)
            << where << " tile " << i << " padded at " << pad.x << "," << pad.y << " size "
            << pad.width << "x" << pad.height << " in " << W << "x" << H;

        // Every padded pixel belongs to this tile alone.
        for (int py = pad.y; py < pad.y + pad.height; ++py)
            for (int px = pad.x; px < pad.x + pad.width; ++px) {
                int& o = owner[size_t(py * W + px)];
                ASSERT_EQ(o, -1) << where << ": tiles " << o << " and " << i << " overlap at " << px
                                 << "," << py;
                o = i;
                const int sx = sourcePosition(px, in.x, in.width, tile.getWrapHorizontal());
                const int sy = sourcePosition(py, in.y, in.height, tile.getWrapVertical());
                ASSERT_EQ(atlas.at(px, py), tileValue(i, sx - in.x, sy - in.y))
                    << where << " tile " << i << " atlas pixel " << px << "," << py
                    << (in.contains(0, px) && in.contains(1, py) ? " (interior)" : " (border)");
            }

        // The unit square maps to atlas pixels x + e ... x + w - e, in atlas units.
        const ixUtil::Transform2d& t = packing.getTransform(i);
        EXPECT_FALSE(t.identity);
        const double tol = 1e-6;
        EXPECT_NEAR(t.xOffset, (in.x + e) / double(W), tol) << where << " tile " << i;
        EXPECT_NEAR(t.xOffset + t.xScale, (in.x + in.width - e) / double(W), tol)
            << where << " tile " << i;
        EXPECT_NEAR(t.yOffset, (in.y + e) / double(H), tol) << where << " tile " << i;
        EXPECT_NEAR(t.yOffset + t.yScale, (in.y + in.height - e) / double(H), tol)
            << where << " tile " << i;
    }
    // Pixels outside every padded tile keep the atlas's white.
    for (int p = 0; p < W * H; ++p) {
        if (owner[size_t(p)] >= 0) continue;
        ASSERT_EQ(atlas.data()[p], 1.0f) << where << " free pixel " << p % W << "," << p / W;
    }
}

}  // namespace

TEST(ImagePackInvariants, RandomTiles) {
    const PackRun runs[] = {{300, 12, 0.0f, true, 2, 1},  {300, 12, 0.5f, false, 2, 2},
                            {120, 30, 0.25f, true, 3, 3}, {120, 30, 1.0f, false, 0, 4},
                            {1, 5, 0.0f, true, 2, 5},     {40, 3, 0.5f, true, 1, 6},
                            {200, 1, 0.0f, false, 2, 7}};
    for (const PackRun& run : runs) checkRandomPack(run);
}

TEST(ImagePackFailures, EmptyListMixedTypesAndNullLeavePackingUnchanged) {
    auto floatTile = makeTile(0, 4, 4, false, false);
    TypedImage<Byte4> byteTile;
    byteTile.setSize(4, 4);
    TypedImage<FloatPixel3<float>> float3Tile;
    float3Tile.setSize(4, 4);
    const std::vector<std::vector<Image*>> lists = {
        {}, {&float3Tile, &byteTile}, {floatTile.get(), nullptr}, {nullptr}};
    for (const std::vector<Image*>& list : lists) {
        Packing packing;
        imagePack(packing, list, 0.0f, true, true);
        EXPECT_EQ(packing.getTileCount(), 0) << list.size() << " images";
        EXPECT_FALSE(packing.atlas) << list.size() << " images";
    }
}
