// Isotropic microfacet reflectance (Trowbridge-Reitz / GGX), a shipped ReflectanceFunction.
//
// Formula, in the surface frame (normal n = +Z), for incident w_i and outgoing w_o above the
// surface, h = normalize(w_i + w_o):
//   f(w_i, w_o) = D(h) V(w_i, w_o) F(w_i . h)
//   D(h)  = alpha^2 / (pi ((n.h)^2 (alpha^2 - 1) + 1)^2)                  (distribution)
//   V     = G2 / (4 (n.w_i)(n.w_o))
//         = 0.5 / ((n.w_o) sqrt(alpha^2 + (n.w_i)^2 (1 - alpha^2))
//                + (n.w_i) sqrt(alpha^2 + (n.w_o)^2 (1 - alpha^2)))
//           (Smith height-correlated masking-shadowing, G2 = 1 / (1 + Lambda_i + Lambda_o),
//            Lambda(w) = (sqrt(1 + alpha^2 tan^2 theta) - 1) / 2, folded into the visibility)
//   F(c)  = f0 + (1 - f0) (1 - c)^5                                         (Schlick)
// alpha is the width of the distribution (the square of the "perceptual roughness"); f0 = 1
// turns Fresnel off. f is 0 when either direction is on or below the surface.
//
// Specular map: sampled like every reflectance (reflectance_function.h), the map at a
// direction N holds the light reflected by a surface with normal N towards the viewer at N
// (view equal to normal), i.e. look it up at the normal. A constant probe of radiance 1 gives
// the directional albedo at normal incidence, which is below 1 (the single-scattering model
// loses energy at large alpha). Other views: ImageBasedLighting::getViewDependentMap.
//
// Parameters are quantised to 1/1000 at construction: alpha to 0.001..1, f0 to 0..1. The key
// is 0x60000000 + 1024 a + b with a = round(1000 alpha), b = round(1000 f0), so equal
// quantised parameters share a cache entry and distinct ones never do; the range
// 0x60000000..0x600FFFFF meets none of the other shipped models' keys.
//
// Ownership and threads: a plain value object; sampleBrdf only writes its arguments.
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/lighting/reflectance_function.h"

namespace ixImage {

class IXIMAGE_API GgxReflectance : public ReflectanceFunction {
public:
    static constexpr int kKeyBase = 0x60000000;

    explicit GgxReflectance(double alpha, double f0 = 1.0);
    ~GgxReflectance() override;

    // The quantised parameters the model uses.
    double getAlpha() const { return alpha; }
    double getF0() const { return f0; }

    // f(w_i, w_o) cos(theta_i) for unit directions of the surface frame (normal +Z).
    double evaluateCos(const double wi[3], const double wo[3]) const;

    void sampleBrdf(ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                    FloatPixel3<double>& norm) const override;

private:
    double alpha;
    double f0;
};

}  // namespace ixImage
