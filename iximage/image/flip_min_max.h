// Flips, red/blue swap, and minimum and maximum of 8-bit masks. All work in place or into a
// caller's result, and do nothing (silently) for unsupported types or too small images.
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

// Reverses the order of the rows (every pixel type).
IXIMAGE_API void imageFlipVertical(Image& image);
// Reverses the pixels within every row (tags 0 to 7; other tags are left unchanged).
IXIMAGE_API void imageFlipHorizontal(Image& image);
// Swaps red and blue of a Byte4 image; other pixel types and images without pixels are left
// unchanged.
IXIMAGE_API void imageSwapRedBlue(Image& image);
// Swaps byte 0 and byte 2 of count four-byte pixels (count <= 0 or null pixels: nothing).
IXIMAGE_API void imageSwapRedBlue(char* pixels, int count);

IXIMAGE_API void imageMin(const TypedImage<unsigned char>& a, const TypedImage<unsigned char>& b,
                          TypedImage<unsigned char>& result);
IXIMAGE_API void imageMax(const TypedImage<unsigned char>& a, const TypedImage<unsigned char>& b,
                          TypedImage<unsigned char>& result);

}  // namespace ixImage
