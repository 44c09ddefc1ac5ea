#include "iximage/lighting/lambert_reflectance.h"

#include <cmath>

#include "iximage/interfaces/constants.h"
#include "iximage/lighting/detail/incident_profile.h"

namespace ixImage {

LambertReflectance::LambertReflectance() { setKey(kKey); }

LambertReflectance::~LambertReflectance() = default;

void LambertReflectance::sampleBrdf(ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                                    FloatPixel3<double>& norm) const {
    detail::sampleIncidentProfile(detail::lambertProfile, samples, norm);
}

namespace detail {

double lambertProfile(double theta) {
    const double invPi = 1.0 / kPi;
    const double c = std::cos(theta);
    return c > 0.0 ? c * invPi : 0.0;
}

}  // namespace detail

}  // namespace ixImage
