// Spherical-harmonic reflection maps (SHRM): the reflected light for every viewing direction.
// Not the probe map that ImageBasedLighting::getReflectionMap() returns (the probe itself as an
// environment map); here "SH reflection map" always means this coefficient image.
//
// Conventions:
//  - Frame: the grids of the SH tables. Pixel (x, y) of an SH reflection map stands for the viewing
//    direction with polar angle theta_y = y * pi / 100 and azimuth phi_x = x * 2 pi / 200, the
//    same (row, column) -> (theta, phi) reading that the light projection gives a 200 x 100
//    latitude-longitude probe, so an SH reflection map lines up pixel for pixel with the probe.
//  - Each pixel holds the view-band expansion of the light reflected towards its direction,
//    bands p = 0..10, coefficient (p, q) at entry p^2 + p + q, expressed in the pixel's own
//    frame (its local +Z is the pixel's direction).
//  - Ownership: the caller owns the light coefficients, the reflectance coefficients and the
//    output image; the product of the two lives only for the duration of one call.
//  - Threads: the rotation into every viewing direction runs on ixUtil::ThreadPool::get(), one
//    band of four rows per work index (handed out from the pool's shared counter, so the
//    threads stay balanced); the bands write disjoint rows of the output and only read the
//    product, the rotation matrices and the azimuth tables. The call returns when every band
//    has finished. The rotation matrices and SH tables must not change meanwhile.
//  - Arithmetic: each coefficient is the sum the per-row formula gives, term for term in the
//    same order, whatever the thread count or vector width (AVX2 where the processor has it,
//    SSE2 otherwise; no fused multiply-add).
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/array_n.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/interfaces/progress.h"
#include "iximage/sh/spherical_harmonics.h"

namespace ixImage {

// Product of light and reflectance coefficients, index [l][m + 20][p][q + 20]
// (l = 0..20 lighting band, m its order, p = 0..20 view band, q = -20..20 shared order).
using ReflectionProduct = ixUtil::ArrayN<4, FloatPixel3<double>>;

// Builds the SH reflection map of `light` (order 20, real SH) under the reflectance coefficients
// `brdf` (index [l][p][q], see computeBrdfCoeffs) into `shrm`, which is sized 200 x 100.
//  - lightOrder: highest lighting band used, 0..20 (a negative value leaves every coefficient
//    zero; values above 20 are treated as 20).
//  - brdfOrder: accepted for the pipeline's sake; the view bands always run 0..10, the order of
//    the output pixels.
//  - shrm must come without pixels, so that sizing it gives zero coefficients to add into.
//  - progress (may be null) sees 0.5 after the convolution, then 0.75 and 0.9; no final 1.0.
// Does nothing at all (no sizing, no progress) while no rotation matrices are loaded.
IXIMAGE_API void computeReflectionCoeffs(const SphericalHarmonics<FloatPixel3<double>>& light,
                                         const ixUtil::ArrayN<3, FloatPixel3<double>>& brdf,
                                         int lightOrder, int brdfOrder, ShrmImage& shrm,
                                         ixUtil::Progress* progress);

}  // namespace ixImage
