// Projection of a latitude-longitude light probe onto real spherical harmonics of bands 0..20.
//
// The probe's row y stands for the polar angle theta_y = y pi / 100 (rows start at the pole +z)
// and column c for the azimuth phi_c = 2 pi c / W; the probe must have 100 rows, any width.
// Coefficient (l, m) of the result is the rectangle-rule integral of the probe times the real
// harmonic Y(l,m) of sh_tables.h, stored at entry l^2 + l + m; all arithmetic is in double.
// Runs on the calling thread; the only shared state it touches is the one-time table set-up.
#pragma once

#include <cstddef>  // size_t, used by spherical_harmonics.h

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"
#include "iximage/sh/spherical_harmonics.h"

namespace ixImage {

// coeffs must already hold order 20 (441 coefficients); its order and count are kept. A probe
// without pixels or whose height is not 100 leaves coeffs unchanged.
IXIMAGE_API void computeLightCoeffs(const TypedImage<FloatPixel3<float>>& light,
                                    SphericalHarmonics<FloatPixel3<double>>& coeffs);

}  // namespace ixImage
