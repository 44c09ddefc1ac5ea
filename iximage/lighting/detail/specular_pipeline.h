// The build pipeline shared by the specular maps and the view-dependent maps of
// ImageBasedLighting (internal to the library; implemented in specular_cache.cpp).
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/interfaces/progress.h"
#include "iximage/interfaces/reference.h"
#include "iximage/lighting/reflectance_function.h"
#include "iximage/sh/light_window.h"
#include "iximage/sh/spherical_harmonics.h"

namespace ixImage {
namespace detail {

// The SH reflection map of the light (windowed by `window`, see light_window.h) under rf: BRDF
// sampling, projection, order analysis and the threaded creation. Null when rf reflects
// nothing in some channel. Reports 0.1, 0.4 and the creation's fractions to progress.
ix::Reference<ShrmImage> buildReflectionCoefficients(
    const ReflectanceFunction& rf, const LightWindow& window,
    const SphericalHarmonics<FloatPixel3<double>>* lightCoeffs, ixUtil::Progress* progress);

}  // namespace detail
}  // namespace ixImage
