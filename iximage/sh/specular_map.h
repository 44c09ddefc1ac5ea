// Specular map evaluation: an SH reflection map turned into an ordinary RGB image.
//
// Conventions:
//  - Input: an SH reflection map (see reflection_map.h), W x H pixels of 121 RGB coefficients, the
//    view-band expansion of the reflected light in each pixel's own frame.
//  - Direction: one direction in that per-pixel frame, the same for every pixel, given as three
//    doubles (x, y, z) in the frame of the SH tables ((sin t cos p, sin t sin p, cos t)). Its z
//    component is read as the cosine of the polar angle and its azimuth as atan2(y, x), so
//    only its direction on the sphere matters. The pipeline evaluates at (0, 0, 1): the light
//    leaving along each pixel's own axis.
//  - Output: the result is sized W x H, rows and columns as in the input; each channel is
//    max(0, expansion) * scale, rounded to float.
//  - Threads: runs on the calling thread and only reads the SH tables (built beforehand).
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

// Evaluates bands 0..order of every pixel of shrm at direction[0..2] into result.
//  - order: highest view band, 0..10; a negative order gives an all-zero image, and an order
//    above 10 is read as 10 (the pixels hold no more bands).
//  - scale: applied after the negative part is clipped, so a negative scale gives values <= 0.
// direction must point to three doubles; a null direction leaves result untouched.
IXIMAGE_API void computeSpecularMap(const ShrmImage& shrm, const double* direction, int order,
                                    double scale, Float3Image& result);

}  // namespace ixImage
