// Pixel-type conversion and sub-image copies.
//
// Copies: raw bytes move row by row between two images of one pixel type; the target is never
// resized. Offsets (x, y) give the column and row, in the larger image, of the window's first
// (top-left in storage order) pixel. The window must lie wholly inside the larger image: a
// window that does not fit, a negative offset, two different pixel types, an empty window or
// an image without pixels copy nothing (no partial copy, no wrapping).
//
// Conversions: each imageConvert sizes the target to the source and converts pixel i into
// pixel i. convertToType replaces the image a reference holds by a converted one. Nothing is
// reported; only the allocator's out-of-memory exception can escape. Thread safety: none
// beyond that of the images.
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/reference.h"

namespace ixImage {

// Pastes all of source into target with source's first pixel at column x, row y of target.
IXIMAGE_API void imageCopyIn(const Image& source, Image& target, int x, int y);
// Fills all of target (at its current size) with the window of source starting at (x, y).
IXIMAGE_API void imageCopyOut(const Image& source, Image& target, int x, int y);

// float -> unsigned char: the integer part of value * 255 (truncated, not rounded, not
// clamped: 0.5 -> 127, 1.0 -> 255). Values outside 0..1 keep the low 8 bits of that integer;
// NaN, infinities and magnitudes without a 64-bit integer part give 0.
IXIMAGE_API void imageConvert(const TypedImage<float>& source, TypedImage<unsigned char>& target);
// Byte4 -> FloatPixel3<float>: red, green, blue divided by 255; alpha is dropped.
IXIMAGE_API void imageConvert(const TypedImage<Byte4>& source,
                              TypedImage<FloatPixel3<float>>& target);
// Byte4 -> FloatPixel4<float>: all four channels divided by 255.
IXIMAGE_API void imageConvert(const TypedImage<Byte4>& source,
                              TypedImage<FloatPixel4<float>>& target);
// FloatPixel3<float> -> FloatPixel4<float>: colour copied, alpha 1.
IXIMAGE_API void imageConvert(const TypedImage<FloatPixel3<float>>& source,
                              TypedImage<FloatPixel4<float>>& target);
// FloatPixel3<float> -> Byte4: value * 255 clamped to 0..255 and truncated (NaN gives 0);
// alpha 255.
IXIMAGE_API void imageConvert(const TypedImage<FloatPixel3<float>>& source,
                              TypedImage<Byte4>& target);

// Converts the referenced image to `type`, for the pairs Byte4 -> FloatPixel3<float>,
// float -> unsigned char and FloatPixel3<float> -> Byte4 only: on success the reference holds
// a new image of the same size (the old one loses this reference) and the answer is true.
// True without any change when the type already matches and the image is not empty. False,
// leaving the reference as it was, for a null reference, an image of 0 pixels, a type that
// cannot be created and every other pair.
IXIMAGE_API bool convertToType(ix::Reference<Image>& image, PixelTypeId type);

}  // namespace ixImage
