// Resizing by nearest-pixel selection or bilinear interpolation (see sample_bilinear.h).
#pragma once

#include "iximage/image/sample_bilinear.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

// A new image (count 0) of src's pixel type, width x height, sampled at the destination pixel
// centres. Supported: Byte4, FloatPixel4<half>, float, FloatPixel3<float>, FloatPixel4<float>;
// null for any other type. A width or height below 1 gives an image of that size, unsampled.
IXIMAGE_API Image* resize(const Image& src, int width, int height, bool bilinear);

}  // namespace ixImage
