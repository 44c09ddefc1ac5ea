#include "iximage/image/image_pack.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "iximage/image/typed_image.h"

using namespace ixImage;

namespace {

// Tile i's pixel (x, y) holds (i + 1) * 1024 + y * 32 + x: distinct from every other pixel
// and from white (1.0), and exact in float.
float tileValue(int i, int x, int y) { return float((i + 1) * 1024 + y * 32 + x); }

std::unique_ptr<FloatImage> makeTile(int i, int w, int h, bool wrapH, bool wrapV) {
    auto tile = std::make_unique<FloatImage>();
    tile->setSize(w, h);
    tile->setWrap(wrapH, wrapV);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) tile->at(x, y) = tileValue(i, x, y);
    return tile;
}

// Where a border pixel takes its value from, per axis: one period away when the source wraps
// on that axis, else the nearest interior position.
int sourcePosition(int p, int origin, int size, bool wrap) {
    return wrap ? origin + ((p - origin) % size + size) % size
                : std::min(std::max(p, origin), origin + size - 1);
}

}  // namespace

// Random tiles, packed tightly or on shelves with several margins and borders: padded tiles lie
// inside the atlas without overlapping, hold the tile and its border, the rest stays white, and
// each transform maps the unit square onto atlas pixels x + e ... x + w - e.
TEST(ImagePackInvariants, RandomTiles) {
    const struct {
        int tileCount, maxSide;
        float margin;
        bool tight;
        int border;
    } runs[] = {{300, 12, 0.0f, true, 2},  {300, 12, 0.5f, false, 2}, {120, 30, 0.25f, true, 3},
                {120, 30, 1.0f, false, 0}, {1, 5, 0.0f, true, 2},     {40, 3, 0.5f, true, 1},
                {200, 1, 0.0f, false, 2}};
    std::mt19937 rng(1);
    for (const auto& run : runs) {
        SCOPED_TRACE(::testing::Message() << run.tileCount << " tiles, tight " << run.tight);
        std::vector<std::unique_ptr<FloatImage>> tiles;
        std::vector<Image*> images;
        for (int i = 0; i < run.tileCount; ++i) {
            const int w = 1 + int(rng() % unsigned(run.maxSide));
            tiles.push_back(
                makeTile(i, w, 1 + int(rng() % unsigned(run.maxSide)), rng() % 2, rng() % 2));
            images.push_back(tiles.back().get());
        }
        Packing packing(run.border);
        imagePack(packing, images, run.margin, run.tight, true);
        ASSERT_TRUE(packing.atlas && packing.getTileCount() == run.tileCount);
        const auto& atlas = static_cast<const FloatImage&>(*packing.atlas);
        const int W = atlas.getWidth(), H = atlas.getHeight();
        EXPECT_TRUE(W >= 64 && H >= 64 && packing.xSize() == W && packing.ySize() == H);
        std::vector<int> owner(static_cast<size_t>(W * H), -1);
        const float e = 0.5f - run.margin;
        for (int i = 0; i < run.tileCount; ++i) {
            const ixUtil::IntRange2d in = packing.getTileInterior(i),
                                     pad = packing.getPaddedTile(i);
            const FloatImage& tile = *tiles[size_t(i)];
            ASSERT_TRUE(in.width == tile.getWidth() && in.height == tile.getHeight() &&
                        pad.x == in.x - run.border && pad.width == in.width + 2 * run.border &&
                        pad.x >= 0 && pad.y >= 0 && pad.x + pad.width <= W &&
                        pad.y + pad.height <= H)
                << "tile " << i;
            for (int py = pad.y; py < pad.y + pad.height; ++py)
                for (int px = pad.x; px < pad.x + pad.width; ++px) {
                    int& o = owner[size_t(py * W + px)];
                    ASSERT_EQ(o, -1) << "tiles " << o << " and " << i << " overlap";
                    o = i;
                    const int sx = sourcePosition(px, in.x, in.width, tile.getWrapHorizontal());
                    const int sy = sourcePosition(py, in.y, in.height, tile.getWrapVertical());
                    ASSERT_EQ(atlas.at(px, py), tileValue(i, sx - in.x, sy - in.y))
                        << "tile " << i << " atlas pixel " << px << "," << py;
                }
            const ixUtil::Transform2d& t = packing.getTransform(i);
            EXPECT_FALSE(t.identity);
            EXPECT_NEAR(t.xOffset, (in.x + e) / double(W), 1e-6) << "tile " << i;
            EXPECT_NEAR(t.xOffset + t.xScale, (in.x + in.width - e) / double(W), 1e-6);
            EXPECT_NEAR(t.yOffset, (in.y + e) / double(H), 1e-6) << "tile " << i;
            EXPECT_NEAR(t.yOffset + t.yScale, (in.y + in.height - e) / double(H), 1e-6);
        }
        for (int p = 0; p < W * H; ++p)
            ASSERT_TRUE(owner[size_t(p)] >= 0 || atlas.data()[p] == 1.0f) << "free pixel " << p;
    }
}

TEST(ImagePackFailures, EmptyListMixedTypesAndNullLeavePackingUnchanged) {
    auto floatTile = makeTile(0, 4, 4, false, false);
    Byte4Image byteTile;
    Float3Image float3Tile;
    byteTile.setSize(4, 4);
    float3Tile.setSize(4, 4);
    for (const std::vector<Image*>& list : std::vector<std::vector<Image*>>{
             {}, {&float3Tile, &byteTile}, {floatTile.get(), nullptr}, {nullptr}}) {
        Packing packing;
        imagePack(packing, list, 0.0f, true, true);
        EXPECT_TRUE(packing.getTileCount() == 0 && !packing.atlas) << list.size() << " images";
    }
}
