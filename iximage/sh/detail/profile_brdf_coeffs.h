// Internal header of the library (not installed, not part of the public API): the projection of
// a reflectance whose samples depend on the incident angle alone.
//
// A model such as Phong or Lambert (in the reflection frame) fills every sample S[i][j][k] of
// the 100 x 100 x 200 array with the same profile value f(theta_i). Its coefficients then follow
// from the 100 profile values: computeBrdfCoeffsOfProfile(profile, coeffs, order) writes exactly
// (bit for bit) what computeBrdfCoeffs writes for that full array, without the 48 MB array and
// its two passes over memory. Same entries written, same argument checks; a null profile leaves
// coeffs unchanged.
#pragma once

#include "iximage/interfaces/array_n.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/pixel_types.h"

namespace ixImage {
namespace detail {

// profile: 100 values, f(theta_i) at theta_i = i pi / 100.
IXIMAGE_API void computeBrdfCoeffsOfProfile(const double* profile,
                                            ixUtil::ArrayN<3, FloatPixel3<double>>& coeffs,
                                            int order);

}  // namespace detail
}  // namespace ixImage
