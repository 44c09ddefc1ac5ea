// Projection of a sampled isotropic reflectance onto spherical-harmonic coefficients.
//
// Samples S[i][j][k] (dims 100 x 100 x 200): i is the polar index theta_i paired with the
// lighting band l, j the polar index theta_j paired with the view band p, k the azimuth
// difference phi_k = k pi / 100. Since S depends on the azimuth difference only, the projection
// keeps the cosine terms, and the coefficient B[l][p][q] (dims 21 x 21 x 21, q >= 0 the shared
// azimuthal order) is
//   B[l][p][q] = w_q sum_i sum_j sum_k Y(l,q)(theta_i) Y(p,q)(theta_j) cos(q phi_k)
//                sin theta_i sin theta_j S[i][j][k] (pi/100)^2 (2 pi / 200) sqrt(pi),
// with the polar factors of the library's lookups (1.4142136 for q > 0 in each) and, for q = 0,
// the exact sqrt 2 instead. Written entries: q = 0..order, p = q..order, l = q..20; every other
// entry of B keeps its content. Runs on the calling thread.
#pragma once

#include "iximage/interfaces/array_n.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/pixel_types.h"

namespace ixImage {

// 0 <= order <= 20 (the library passes 10). Arrays of other shapes, or an order outside that
// range, leave coeffs unchanged.
IXIMAGE_API void computeBrdfCoeffs(const ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                                   ixUtil::ArrayN<3, FloatPixel3<double>>& coeffs, int order);

}  // namespace ixImage
