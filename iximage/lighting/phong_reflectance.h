// Normalised Phong reflectance, a shipped ReflectanceFunction.
//
// The sampling contract every reflectance follows is in reflectance_function.h.
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
