// Separable blur by four nested box filters (a stepped bell), rows then columns.
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

// Blurs src into dst (which may be src itself if it owns its pixels). wrapX wraps the row pass
// across the left and right edges, wrapY the column pass across the first and last rows.
// Kernels exist for unsigned char, Byte4, FloatPixel4<half>, float and FloatPixel3<float>;
// other types leave dst sized but unfilled; different pixel types of src and dst do nothing.
IXIMAGE_API void imageBlur(const Image& src, Image& dst, int diameter, bool wrapX, bool wrapY);

// The diameter to blur image with before shrinking it to width x height (0 when the target is
// larger in either direction).
IXIMAGE_API int suggestFilterDiamater(const Image& image, int width, int height);

}  // namespace ixImage
