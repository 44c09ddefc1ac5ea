// Tile bookkeeping for atlases: per tile an interior rectangle (where the tile's image goes), a
// padded rectangle (the interior grown by a border on every side, which the packer places) and
// the transform from the tile's unit square to atlas coordinates.
//
// The padded rectangle is the one that moves: getPaddedTiles() hands the packer the padded
// rectangles, and getTileInterior() is always the padded rectangle shrunk by the border.
#pragma once

#include <vector>

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/int_range.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/interfaces/reference.h"
#include "iximage/interfaces/transform2d.h"

namespace ixImage {

class Image;

class IXIMAGE_API Packing {
public:
    // border: pixels of padding on every side of each tile (at least 0).
    explicit Packing(int border = 2);
    ~Packing();

    // The atlas image, when pixels were made (imagePack with copyPixels). First member.
    ix::Reference<Image> atlas;

    // Records the atlas's shape without pixels.
    void describeImage(PixelTypeId type, int width, int height, int pixelSize);

    // Sets tile i's interior (growing the tile list as needed); its padded rectangle becomes
    // the interior grown by the border.
    void setTileInterior(int i, const ixUtil::IntRange2d& interior);
    // Keeps tiles 0..count-1 (new ones empty) and drops the rest.
    void setTileCount(int count);
    ixUtil::IntRange2d getTileInterior(int i) const;
    const ixUtil::IntRange2d& getPaddedTile(int i) const;
    std::vector<ixUtil::IntRange2d>& getPaddedTiles() { return paddedTiles; }

    void setTransform(int i, const ixUtil::Transform2d& transform);
    const ixUtil::Transform2d& getTransform(int i) const;

    int getTileCount() const { return tileCount; }
    int getBorder() const { return border; }

    // Atlas size: that of the atlas image when there is one, else the described size.
    int xSize() const;
    int ySize() const;
    PixelTypeId getPixelType() const { return describedType; }
    int getPixelSize() const { return describedPixelSize; }

private:
    int tileCount = 0;
    int border;
    std::vector<ixUtil::IntRange2d> paddedTiles;
    std::vector<ixUtil::Transform2d> transforms;
    PixelTypeId describedType = kPixelUnsignedChar;
    int describedWidth = 0;
    int describedHeight = 0;
    int describedPixelSize = 0;
};

}  // namespace ixImage
