// Packing several images of one pixel type into tiles of a single atlas image.
//
// Conventions: atlas pixel positions run x along a row and y down the rows, as in every image.
// Each tile has an interior rectangle (where its image goes) and a padded rectangle (the
// interior grown by the Packing's border), both in atlas pixels. A tile's Transform2d maps the
// tile's own unit square to normalised atlas coordinates (atlas pixels divided by the atlas
// size): p' = p * scale + offset, with [0, 1] landing on atlas pixels x + e ... x + w - e,
// e = 0.5 - margin. So margin 0 spans the centres of the tile's first and last pixels and
// margin 0.5 its outer edges.
// Border pixels copy the nearest interior pixel, or the pixel one period away along an axis
// on which the source image wraps (its wrap flags).
// Ownership: the atlas is held by packing.atlas; the source images stay the caller's.
// Thread safety: none; the call writes packing and its atlas.
#pragma once

#include <vector>

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/image.h"
#include "iximage/interfaces/packing.h"

namespace ixImage {

// Lays images out as tiles 0 ... n - 1 of an atlas of at least 64 x 64 pixels, records the
// tiles' rectangles and transforms in packing, and, with copyPixels, builds the atlas: white,
// every image copied into its interior and its border filled from the tile's edge. Without
// copyPixels only the atlas's shape is recorded (packing.describeImage) and no pixels are made;
// a previous atlas is then dropped, since its size no longer matches the tiles.
// packFlag asks ixUtil::pack for the tightest layout rather than the order-keeping one.
// An empty list, a null image or images of different pixel types leave packing unchanged.
IXIMAGE_API void imagePack(Packing& packing, std::vector<Image*> images, float margin,
                           bool packFlag, bool copyPixels);

}  // namespace ixImage
