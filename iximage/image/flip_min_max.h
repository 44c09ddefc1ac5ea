// Flips, red/blue swap, and minimum and maximum of 8-bit masks.
//
// All of them work in place or into a caller's result and report nothing: unsupported pixel
// types, images too small to change, images without pixels and mismatched sizes end the call
// without effect. Rows are in storage order (row 0 first); a vertical flip reverses that
// order, a horizontal flip reverses the pixels of each row, moving whole pixels so that a
// pixel's components keep their order. Thread safety: none beyond that of the images.
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

// Reverses the order of the rows (every pixel type, rows moved as blocks of bytes).
IXIMAGE_API void imageFlipVertical(Image& image);
// Reverses the pixels within every row for tags 0 to 7; FloatPixel3<double>, reflection-map
// pixels and unknown tags are left unchanged.
IXIMAGE_API void imageFlipHorizontal(Image& image);
// Swaps red and blue of a Byte4 image; other pixel types and images without pixels are left
// unchanged.
IXIMAGE_API void imageSwapRedBlue(Image& image);
// Swaps byte 0 and byte 2 of count four-byte pixels (count <= 0 or null pixels: nothing).
IXIMAGE_API void imageSwapRedBlue(char* pixels, int count);

// result = per-pixel minimum / maximum of two masks of one size. Masks of different sizes
// leave result untouched; otherwise result is sized like a (and stays unwritten if any image
// lacks pixels). result may be a or b if it owns its pixels (sizing an image that borrows them
// gives it a fresh buffer; see arithmetic.h).
IXIMAGE_API void imageMin(const TypedImage<unsigned char>& a, const TypedImage<unsigned char>& b,
                          TypedImage<unsigned char>& result);
IXIMAGE_API void imageMax(const TypedImage<unsigned char>& a, const TypedImage<unsigned char>& b,
                          TypedImage<unsigned char>& result);

}  // namespace ixImage
