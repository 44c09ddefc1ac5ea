// Lambertian reflectance, a shipped ReflectanceFunction.
//
// f(theta_i) = max(0, cos theta_i) / pi, independent of the outgoing direction (the sampling
// contract is described in phong_reflectance.h). Its specular map at a direction N is the
// integral of L(w) max(0, w.N) / pi over w: the irradiance on a surface facing N divided by
// pi, i.e. the outgoing radiance of a white Lambertian surface with normal N (look the map up
// at the normal). A probe of constant radiance 1 gives 1.
//
// Key: 0x4C000000 for every Lambert reflectance (they all share one cache entry); disjoint
// from PhongReflectance's keys 0x50000000..0x50FFFFFF.
//
// Ownership and threads: a plain value object; sampleBrdf only writes its arguments.
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/lighting/reflectance_function.h"

namespace ixImage {

class IXIMAGE_API LambertReflectance : public ReflectanceFunction {
public:
    static constexpr int kKey = 0x4C000000;

    LambertReflectance();
    ~LambertReflectance() override;

    void sampleBrdf(ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                    FloatPixel3<double>& norm) const override;
};

}  // namespace ixImage
