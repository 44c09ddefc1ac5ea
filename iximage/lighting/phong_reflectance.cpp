#include "iximage/lighting/phong_reflectance.h"

#include <algorithm>
#include <cmath>

#include "iximage/interfaces/constants.h"
#include "iximage/lighting/detail/incident_profile.h"

namespace ixImage {

PhongReflectance::PhongReflectance(int n) : exponent(std::max(0, std::min(n, kMaxExponent))) {
    setKey(kKeyBase + exponent);
}

PhongReflectance::~PhongReflectance() = default;

void PhongReflectance::sampleBrdf(ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                                  FloatPixel3<double>& norm) const {
    const int n = exponent;
    detail::sampleIncidentProfile([n](double theta) { return detail::phongProfile(n, theta); },
                                  samples, norm);
}

namespace detail {

double phongProfile(int exponent, double theta) {
    // (n + 1) / (2 pi) normalises the lobe: the integral of cos^n over the hemisphere is
    // 2 pi / (n + 1).
    const double pi = kPi;
    const double scale = (exponent + 1.0) / (2.0 * pi);
    const double c = std::cos(theta);
    return c > 0.0 ? scale * std::pow(c, double(exponent)) : 0.0;
}

}  // namespace detail

}  // namespace ixImage
