#include "iximage/interfaces/packing.h"

#include "iximage/interfaces/image.h"

namespace ixImage {

Packing::Packing(int borderPixels) : border(borderPixels < 0 ? 0 : borderPixels) {}

Packing::~Packing() = default;

void Packing::describeImage(PixelTypeId type, int width, int height, int pixelSize) {
    describedType = type;
    describedWidth = width;
    describedHeight = height;
    describedPixelSize = pixelSize;
}

void Packing::setTileInterior(int i, const ixUtil::IntRange2d& interior) {
    if (i < 0) return;
    if (i >= tileCount) {
        tileCount = i + 1;
        paddedTiles.resize(static_cast<size_t>(tileCount));
        transforms.resize(static_cast<size_t>(tileCount));
    }
    paddedTiles[static_cast<size_t>(i)] =
        ixUtil::IntRange2d(interior.x - border, interior.y - border, interior.width + 2 * border,
                           interior.height + 2 * border);
}

void Packing::setTileCount(int count) {
    tileCount = count < 0 ? 0 : count;
    paddedTiles.resize(static_cast<size_t>(tileCount));
    transforms.resize(static_cast<size_t>(tileCount));
}

ixUtil::IntRange2d Packing::getTileInterior(int i) const {
    const ixUtil::IntRange2d& p = paddedTiles[static_cast<size_t>(i)];
    return ixUtil::IntRange2d(p.x + border, p.y + border, p.width - 2 * border,
                              p.height - 2 * border);
}

const ixUtil::IntRange2d& Packing::getPaddedTile(int i) const {
    return paddedTiles[static_cast<size_t>(i)];
}

void Packing::setTransform(int i, const ixUtil::Transform2d& transform) {
    if (i < 0 || i >= tileCount) return;
    transforms[static_cast<size_t>(i)] = transform;
}

const ixUtil::Transform2d& Packing::getTransform(int i) const {
    return transforms[static_cast<size_t>(i)];
}

int Packing::xSize() const { return atlas ? atlas->getWidth() : describedWidth; }
int Packing::ySize() const { return atlas ? atlas->getHeight() : describedHeight; }

}  // namespace ixImage
