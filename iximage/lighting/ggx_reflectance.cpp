#include "iximage/lighting/ggx_reflectance.h"

#include <algorithm>
#include <cmath>

#include "iximage/interfaces/constants.h"
#include "iximage/lighting/detail/isotropic_sampling.h"

namespace ixImage {

namespace {

// Round to the nearest 1/1000 within [lo, hi] (in thousandths); NaN goes to lo.
int thousandths(double value, int lo, int hi) {
    const double scaled = value * 1000.0;
    if (!(scaled >= lo)) return lo;
    return std::min(hi, int(std::lround(scaled)));
}

}  // namespace

GgxReflectance::GgxReflectance(double a, double f) {
    const int alphaQ = thousandths(a, 1, 1000);
    const int f0Q = thousandths(f, 0, 1000);
    alpha = alphaQ / 1000.0;
    f0 = f0Q / 1000.0;
    setKey(kKeyBase + 1024 * alphaQ + f0Q);
}

GgxReflectance::~GgxReflectance() = default;

double GgxReflectance::evaluateCos(const double wi[3], const double wo[3]) const {
    const double cosI = wi[2], cosO = wo[2];
    if (cosI <= 0.0 || cosO <= 0.0) return 0.0;
    const double pi = kPi;
    const double a2 = alpha * alpha;

    double h[3] = {wi[0] + wo[0], wi[1] + wo[1], wi[2] + wo[2]};
    const double length = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
    for (double& c : h) c /= length;
    const double cosH = h[2];
    const double cosD = std::max(0.0, wi[0] * h[0] + wi[1] * h[1] + wi[2] * h[2]);

    const double denom = cosH * cosH * (a2 - 1.0) + 1.0;
    const double distribution = a2 / (pi * denom * denom);
    const double visibility = 0.5 / (cosO * std::sqrt(a2 + cosI * cosI * (1.0 - a2)) +
                                     cosI * std::sqrt(a2 + cosO * cosO * (1.0 - a2)));
    const double m = 1.0 - cosD;
    const double fresnel = f0 + (1.0 - f0) * (m * m) * (m * m) * m;
    return distribution * visibility * fresnel * cosI;
}

void GgxReflectance::sampleBrdf(ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                                FloatPixel3<double>& norm) const {
    detail::sampleGreyIsotropic(*this, samples, norm);
}

}  // namespace ixImage
