// Choice of the spherical-harmonic orders of an SH reflection map.
//
// The view order is the first view band p at which the energy of the reflectance coefficients
// B[l][p][q] (p <= 10) passes 97 % of the reflectance's total squared norm, per channel; the
// largest channel order is used (10 when no channel gets there). The per-channel lighting
// orders are measured the same way over the lighting bands but only printed: the map is always
// built from all 21 lighting bands. The findings go to standard output as five lines.
#pragma once

#include <cstddef>  // size_t, used by spherical_harmonics.h

#include "iximage/interfaces/array_n.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/sh/spherical_harmonics.h"

namespace ixImage {

// light is not read. brdf is indexed [l][p][q] (dims 21 x 21 x 21). norm holds the total
// squared norm per channel; all three must be non-zero. On return brdfOrder is 1..10 and
// lightOrder is 20.
IXIMAGE_API void computeOrder(const SphericalHarmonics<FloatPixel3<double>>& light,
                              const ixUtil::ArrayN<3, FloatPixel3<double>>& brdf,
                              FloatPixel3<double> norm, int& lightOrder, int& brdfOrder);

}  // namespace ixImage
