// Normalised Phong reflectance, a shipped ReflectanceFunction.
//
// How a ReflectanceFunction is sampled (sampleBrdf), the contract every reflectance follows:
//  - Frame: the surface's own frame, +Z along its axis. samples[i][j][k] (dims 100 x 100 x 200)
//    is the reflectance times the cosine of the incident angle at incident polar angle
//    theta_i = i pi / 100, outgoing polar angle theta_j = j pi / 100 and azimuth difference
//    phi_k = k pi / 100 (i, j = 0..99, k = 0..199; theta = pi itself is not sampled). Every
//    sample is written; channels are red, green, blue.
//  - Meaning: the specular map at a direction R is the integral over incident directions w of
//    L(w) times that function, with the surface axis on R and the light leaving along R
//    (theta_j = 0). A probe of constant radiance 1 therefore gives the integral of the
//    function over the sphere of incident directions.
//  - norm, per channel: sum over all samples of sample^2 sin(theta_i) sin(theta_j) (pi/100)^3,
//    the function's squared norm; the order analysis reports which share of it the
//    spherical-harmonic coefficients capture. A component of exactly 0 means the reflectance
//    reflects nothing in that channel: no map is built and the cache remembers a null map.
//
// This model: f(theta_i) = (n + 1) / (2 pi) max(0, cos theta_i)^n, independent of the outgoing
// direction, so the specular map at R is the integral of L(w) (n + 1) / (2 pi) max(0, w.R)^n
// over w: the probe prefiltered by a Phong lobe about the reflection direction R (look the map
// up at the view vector mirrored about the normal). The lobe integrates to 1 over the
// hemisphere, so a probe of constant radiance 1 gives 1. n = 0 is a uniform hemisphere.
//
// Key: 0x50000000 + n, with n limited to 0..0xFFFFFF. Equal exponents share one cache entry;
// the range never meets LambertReflectance's key (0x4C000000). Keys of user reflectances should
// stay outside 0x4C000000..0x50FFFFFF.
//
// Ownership and threads: a plain value object; sampleBrdf only writes its arguments.
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/lighting/reflectance_function.h"

namespace ixImage {

class IXIMAGE_API PhongReflectance : public ReflectanceFunction {
public:
    static constexpr int kKeyBase = 0x50000000;
    static constexpr int kMaxExponent = 0xFFFFFF;

    // exponent is clamped to 0..kMaxExponent.
    explicit PhongReflectance(int exponent);
    ~PhongReflectance() override;

    int getExponent() const { return exponent; }

    void sampleBrdf(ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                    FloatPixel3<double>& norm) const override;

private:
    int exponent;
};

}  // namespace ixImage
