#include "iximage/lighting/blinn_phong_reflectance.h"

#include <algorithm>
#include <cmath>

#include "iximage/interfaces/constants.h"
#include "iximage/lighting/detail/isotropic_sampling.h"

namespace ixImage {

BlinnPhongReflectance::BlinnPhongReflectance(double n) {
    // NaN and negative exponents become 0 (a uniform lobe); the key follows the quantised value.
    const double scaled = n * 1000.0;
    const int quantised =
        scaled >= 0.0 ? int(std::lround(std::min(scaled, kMaxExponent * 1000.0))) : 0;
    exponent = quantised / 1000.0;
    setKey(kKeyBase + quantised);
}

BlinnPhongReflectance::~BlinnPhongReflectance() = default;

double BlinnPhongReflectance::evaluateCos(const double wi[3], const double wo[3]) const {
    const double cosI = wi[2];
    if (cosI <= 0.0 || wo[2] <= 0.0) return 0.0;
    const double pi = kPi;
    const double hx = wi[0] + wo[0], hy = wi[1] + wo[1], hz = wi[2] + wo[2];
    const double cosH = hz / std::sqrt(hx * hx + hy * hy + hz * hz);
    return (exponent + 8.0) / (8.0 * pi) * std::pow(cosH, exponent) * cosI;
}

void BlinnPhongReflectance::sampleBrdf(ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                                       FloatPixel3<double>& norm) const {
    detail::sampleGreyIsotropic(*this, samples, norm);
}

}  // namespace ixImage
