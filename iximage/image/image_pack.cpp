// Atlas packing: tile placement, tile transforms, and the copy of the tiles with their borders.
#include "iximage/image/image_pack.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "iximage/image/convert_copy.h"
#include "iximage/interfaces/linear.h"
#include "iximage/interfaces/rect_pack.h"

namespace ixImage {
namespace {

// Smallest atlas side, in pixels.
constexpr int kMinAtlasSide = 64;

// One axis of a tile transform: the tile's [0, 1] goes to atlas pixels
// [origin + e, origin + size - e], divided by the atlas size.
void axisTransform(float e, float origin, float size, float atlasSize, float& scale,
                   float& offset) {
    if (std::fabs(e) < ixLinear::epsilonTolFlt) {
        // The unit square covers the tile's outer edges exactly.
        scale = size * (1.0f / atlasSize);
        offset = origin * (1.0f / atlasSize);
    } else if (size >= 1.0f) {
        // (size - 2e) / size shrinks the square inside the tile, size / X takes it to the
        // atlas; e / size shifts it inward by e pixels.
        scale = ((size - 2.0f * e) * (1.0f / size)) * (size / atlasSize);
        offset = ((1.0f / size) * e) * (size / atlasSize) + origin / atlasSize;
    } else {
        // A tile of no pixels along this axis: the limit of the form above, without 0 / 0.
        scale = (size - 2.0f * e) / atlasSize;
        offset = (origin + e) / atlasSize;
    }
}

void setTileTransforms(Packing& packing, int tileCount, float margin) {
    const float e = 0.5f - margin;
    const float X = static_cast<float>(packing.xSize());
    const float Y = static_cast<float>(packing.ySize());
    for (int i = 0; i < tileCount; ++i) {
        const ixUtil::IntRange2d interior = packing.getTileInterior(i);
        ixUtil::Transform2d transform;
        axisTransform(e, static_cast<float>(interior.x), static_cast<float>(interior.width), X,
                      transform.xScale, transform.xOffset);
        axisTransform(e, static_cast<float>(interior.y), static_cast<float>(interior.height), Y,
                      transform.yScale, transform.yOffset);
        transform.identity = false;
        packing.setTransform(i, transform);
    }
}

bool liesInside(const ixUtil::IntRange2d& r, const Image& image) {
    return r.x >= 0 && r.y >= 0 && r.width >= 0 && r.height >= 0 &&
           r.x <= image.getWidth() - r.width && r.y <= image.getHeight() - r.height;
}

// Fills the padded rectangle's pixels outside the interior from the interior: per axis the
// position wraps around the interior where the source image wraps, and clamps to its nearest
// edge otherwise. The copy is bytewise, whatever the pixel type.
void padTile(Image& atlas, const ixUtil::IntRange2d& interior, const ixUtil::IntRange2d& padded,
             bool wrapX, bool wrapY) {
    if (interior.width < 1 || interior.height < 1) return;
    // A placement outside the atlas (which a correct packer never makes) is not ours to write.
    if (!liesInside(padded, atlas)) return;

    const std::size_t pixelBytes = static_cast<std::size_t>(atlas.pixelSize());
    const std::ptrdiff_t rowBytes =
        static_cast<std::ptrdiff_t>(atlas.getWidth()) * static_cast<std::ptrdiff_t>(pixelBytes);
    unsigned char* bytes = static_cast<unsigned char*>(atlas.pixels());
    auto pixelAt = [&](int x, int y) {
        return bytes + y * rowBytes + static_cast<std::ptrdiff_t>(x) * pixelBytes;
    };

    for (int py = padded.y; py < padded.y + padded.height; ++py) {
        const bool rowInInterior = interior.contains(1, py);
        const int sy = wrapY ? interior.wrap(1, py) : interior.clamp(1, py);
        for (int px = padded.x; px < padded.x + padded.width; ++px) {
            if (rowInInterior && interior.contains(0, px)) continue;
            const int sx = wrapX ? interior.wrap(0, px) : interior.clamp(0, px);
            std::memcpy(pixelAt(px, py), pixelAt(sx, sy), pixelBytes);
        }
    }
}

}  // namespace

void imagePack(Packing& packing, std::vector<Image*> images, float margin, bool packFlag,
               bool copyPixels) {
    const int n = static_cast<int>(images.size());
    if (n < 1) return;
    if (std::find(images.begin(), images.end(), nullptr) != images.end()) return;
    const Image& first = *images[0];
    for (const Image* image : images)
        if (image->getPixelType() != first.getPixelType()) return;

    // A Packing reused for fewer images must not keep the old extra tiles: the packer would
    // still place them and the atlas would grow for tiles nobody draws.
    packing.setTileCount(n);
    for (int i = 0; i < n; ++i) {
        ixUtil::IntRange2d interior;
        images[static_cast<std::size_t>(i)]->range(interior);
        packing.setTileInterior(i, interior);
    }
    const ixUtil::IntRange2d bounds = ixUtil::pack(packing.getPaddedTiles(), packFlag);
    const int W = std::max(bounds.width, kMinAtlasSide);
    const int H = std::max(bounds.height, kMinAtlasSide);

    if (copyPixels) {
        packing.atlas = first.newEmpty();
        packing.atlas->setSize(W, H);
        fillWhite(*packing.atlas);
    } else {
        packing.atlas.reset();
        packing.describeImage(first.getPixelType(), W, H, first.pixelSize());
    }

    setTileTransforms(packing, n, margin);

    if (!copyPixels) return;
    Image& atlas = *packing.atlas;
    for (int i = 0; i < n; ++i) {
        const Image& source = *images[static_cast<std::size_t>(i)];
        const ixUtil::IntRange2d interior = packing.getTileInterior(i);
        imageCopyIn(source, atlas, interior.x, interior.y);
        padTile(atlas, interior, packing.getPaddedTile(i), source.getWrapHorizontal(),
                source.getWrapVertical());
    }
}

}  // namespace ixImage
