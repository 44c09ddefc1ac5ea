// Resizing by nearest-pixel selection or bilinear interpolation (see sample_bilinear.h).
//
// Destination pixel (x, y) is taken at the normalised source position
// u = (x + 0.5) / width, v = (y + 0.5) / height (the destination's stored reciprocals).
// Nearest copies source pixel (trunc(u (1 - eps) W), trunc(v (1 - eps) H)) unchanged;
// bilinear calls sampleBilinear, so the right and lower neighbours wrap or clamp as the
// source's wrap flags say.
// Ownership: the result is a new image with a reference count of 0; the caller wraps it in an
// ix::Reference (or deletes it). The source is only read, so several resizes of one source
// may run at once.
#pragma once

#include "iximage/image/sample_bilinear.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

// A new image (count 0) of src's pixel type, width x height, sampled at the destination pixel
// centres. Supported: Byte4, FloatPixel4<half>, float, FloatPixel3<float>, FloatPixel4<float>;
// null for any other type, and null for a source without pixels. A width or height below 1
// gives an image of that size, unsampled.
IXIMAGE_API Image* resize(const Image& src, int width, int height, bool bilinear);

}  // namespace ixImage
