// Separable blur by four nested box filters (a stepped bell), rows then columns.
//
// Conventions: a pass runs along the rows (x, across the width) and then along the columns
// (y, down the rows). The diameter d gives the radius r = d / 2 + 1/2 and four box radii
// R1 = trunc(r) >= R2 >= R3 >= R4 (r scaled by 176/256, 122/256, 65/256, rounded half up); in
// the interior a sample at distance j weighs (number of radii >= |j|) / N, N = 2 (R1 + R2 +
// R3 + R4) + 4. Near a clipped border the boxes count only samples inside the line and the
// sum is divided by the count. A wrapped pass is the mean of the eight samples at x +- Rk,
// taken modulo the line length.
// Arithmetic per type: 8-bit and Byte4 sums in 32-bit integers, the mean truncated toward
// zero (after the row pass too); FloatPixel4<half> sums kept in halves; float sums in float.
// Cost: constant per pixel whatever the diameter. Diameters below 0 act as 0, above 2^24 as
// 2^24.
// Ownership and threads: each call allocates and frees its own intermediate image; calls on
// different destinations may run at once.
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

// Blurs src into dst (which may be src itself: it is then blurred in place). wrapX wraps the
// row pass across the left and right edges, wrapY the column pass across the first and last
// rows.
// Kernels exist for unsigned char, Byte4, FloatPixel4<half>, float and FloatPixel3<float>;
// other types leave dst sized but unfilled; different pixel types of src and dst do nothing.
IXIMAGE_API void imageBlur(const Image& src, Image& dst, int diameter, bool wrapX, bool wrapY);

// The diameter to blur image with before shrinking it to width x height: one more than the
// larger of the two shrink factors W / width and H / height (in float), truncated. 0 when the
// target is larger in either direction, and 0 for a target side below 1 (nothing is sampled).
IXIMAGE_API int suggestFilterDiamater(const Image& image, int width, int height);

}  // namespace ixImage
