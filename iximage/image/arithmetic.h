// Pixel-wise arithmetic of two images and the mean pixel of one image.
//
// Rules shared by the four two-operand operations (imageAdd, imageSub, imageMult, imageDiv):
//  - a, b and result must carry one pixel-type tag; otherwise the call returns at once and
//    result is untouched (size included).
//  - result is then sized like a. An unsupported pixel type, or a and b of different sizes,
//    end the call there: result keeps its new size and no pixel is written.
//  - result[i] = a[i] op b[i] for every pixel index i in storage order, component-wise in float
//    (half components are widened to float, combined and rounded back to half each time).
//    Floating division is plain IEEE division: a zero divisor gives infinity or NaN.
//  - result may be a itself, or b when b already has the size of a, as long as it owns its
//    pixels: sizing an image that borrows its pixels (setExternalPixels) always gives it a
//    fresh buffer of its own, so the operation would read that instead of the borrowed one.
// Supported types: FloatPixel4<half>, FloatPixel3<float>, FloatPixel4<float>; imageDiv also
// divides 8-bit masks (below). Nothing is reported; these functions never throw except for the
// allocator's out-of-memory exception. Thread safety: none beyond that of the images.
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

IXIMAGE_API void imageAdd(const Image& a, const Image& b, Image& result);
IXIMAGE_API void imageSub(const Image& a, const Image& b, Image& result);
IXIMAGE_API void imageMult(const Image& a, const Image& b, Image& result);
// Mask division (unsigned char): b = 0 gives a; otherwise trunc((a / b) * 255 + 0.5) in float,
// stored as its low 8 bits, so a <= b maps to 0..255 and a > b wraps (divide by a larger mask).
IXIMAGE_API void imageDiv(const Image& a, const Image& b, Image& result);

// The mean pixel, sums taken in storage order and scaled by the float reciprocal of the pixel
// count. Components written per tag (the others are 0):
//   unsigned char        red = mean value (0..255 scale)
//   Byte4                all four = trunc(channel sum * (1 / n)) (0..255 scale); 32-bit sums
//   FloatPixel4<half>    all four = mean, counting an infinity or NaN component as 1.0
//   float                red = mean
//   FloatPixel3<float>   red, green, blue = mean
//   FloatPixel4<float>   all four = mean
// An image without pixels, or of any other pixel type, gives all zeros.
IXIMAGE_API FloatPixel4<float> imageAverage(const Image& image);

}  // namespace ixImage
