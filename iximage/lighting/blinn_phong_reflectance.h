// Normalised Blinn-Phong (half-vector) reflectance, a shipped ReflectanceFunction.
//
// Formula, in the surface frame (normal n = +Z), for incident w_i and outgoing w_o above the
// surface, h = normalize(w_i + w_o):
//   f(w_i, w_o) = (n + 8) / (8 pi) max(0, n.h)^n
// The factor (n + 8) / (8 pi) is the usual approximate energy normalisation of the half-vector
// lobe; the directional albedo at normal incidence is close to, not exactly, 1.
//
// Specular map: as for every reflectance (reflectance_function.h), the map at a direction N
// holds the light reflected by a surface with normal N towards the viewer at N; look it up at
// the normal. Other views: ImageBasedLighting::getViewDependentMap.
//
// The exponent is quantised to 1/1000 and limited to 0..16000 at construction. Key:
// 0x42000000 + round(1000 n), within 0x42000000..0x42F42400, so equal quantised exponents
// share a cache entry and the range meets none of the other shipped models' keys.
//
// Ownership and threads: a plain value object; sampleBrdf only writes its arguments.
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/lighting/reflectance_function.h"

namespace ixImage {

class IXIMAGE_API BlinnPhongReflectance : public ReflectanceFunction {
public:
    static constexpr int kKeyBase = 0x42000000;
    static constexpr double kMaxExponent = 16000.0;

    explicit BlinnPhongReflectance(double exponent);
    ~BlinnPhongReflectance() override;

    double getExponent() const { return exponent; }

    // f(w_i, w_o) cos(theta_i) for unit directions of the surface frame (normal +Z).
    double evaluateCos(const double wi[3], const double wo[3]) const;

    void sampleBrdf(ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                    FloatPixel3<double>& norm) const override;

private:
    double exponent;
};

}  // namespace ixImage
