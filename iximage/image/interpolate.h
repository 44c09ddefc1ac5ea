// Hole filling in 8-bit images by linear interpolation between known pixels.
//
// A pixel of image is known where mask is non-zero (any value, 1 as well as 255) and missing
// where mask is 0. Missing pixels are filled along rows and along columns: linearly between
// consecutive known pixels, and as a constant beyond the first and last known pixel; where
// both a row and a column supply a value the two are averaged. A second pass fills the pixels
// whose row and column held no known pixel from the values the first pass wrote. Known pixels
// are never changed. Rounding adds 0.4999 before truncating, so exact halves round down.
//
// Mask and image must have the same size and both hold pixels; otherwise image is left as it
// is. Works on the caller's thread; allocates two mask-sized flag images.
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

IXIMAGE_API void imageInterpolate(const TypedImage<unsigned char>& mask,
                                  TypedImage<unsigned char>& image);

}  // namespace ixImage
