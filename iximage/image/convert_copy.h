// Pixel-type conversion and sub-image copies.
//
// The copies move raw bytes between two images of one pixel type and never resize the target.
// Offsets are pixel positions of the top-left (first) pixel of the window; a window that does
// not fit, a negative offset, or two different pixel types copy nothing.
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/reference.h"

namespace ixImage {

// Pastes all of source into target with source's first pixel at column x, row y of target.
IXIMAGE_API void imageCopyIn(const Image& source, Image& target, int x, int y);
// Fills all of target (at its current size) with the window of source starting at (x, y).
IXIMAGE_API void imageCopyOut(const Image& source, Image& target, int x, int y);

// Conversions; each sizes the target to the source first.
IXIMAGE_API void imageConvert(const TypedImage<float>& source, TypedImage<unsigned char>& target);
IXIMAGE_API void imageConvert(const TypedImage<Byte4>& source, TypedImage<FloatPixel3<float>>& target);
IXIMAGE_API void imageConvert(const TypedImage<Byte4>& source, TypedImage<FloatPixel4<float>>& target);
IXIMAGE_API void imageConvert(const TypedImage<FloatPixel3<float>>& source,
                              TypedImage<FloatPixel4<float>>& target);
IXIMAGE_API void imageConvert(const TypedImage<FloatPixel3<float>>& source, TypedImage<Byte4>& target);

// Converts the referenced image in place (Byte4 -> FloatPixel3<float>, float -> unsigned char,
// FloatPixel3<float> -> Byte4). False for an empty or null image, an uncreatable type or any
// other pair, leaving the reference unchanged; true when the type already matches.
IXIMAGE_API bool convertToType(ix::Reference<Image>& image, PixelTypeId type);

}  // namespace ixImage
