// Sampling of isotropic reflectances that depend on both directions (internal to the library's
// reflectance models; not part of the public API).
//
// The sample grid of ReflectanceFunction::sampleBrdf, in the surface frame (normal +Z): the
// incident direction w_i = (sin t_i cos p_k, sin t_i sin p_k, cos t_i), the outgoing direction
// w_o = (sin t_j, 0, cos t_j), t = index pi / 100, p_k = k pi / 100. An isotropic reflectance
// sees only the azimuth difference p_k, so the outgoing direction can stay in the x-z plane.
// Sample [i][j][k] is f(w_i, w_o) cos t_i, and the norm is
//   sum_ijk sample^2 sin t_i sin t_j (pi / 100)^3.
//
// The outgoing side is shaped for the ten view bands of the SH reflection map, which resolve
// about 18 degrees:
//  - Outgoing directions below the surface (t_j > pi / 2) are never looked at (the specular
//    map reads the view along the normal, the view-dependent map clamps views onto the
//    horizon), so those samples are free. Zero there would put a jump at the horizon into the
//    outgoing side (a microfacet lobe still reflects most of the light at grazing views), and
//    the truncated series would ring from it all the way to the normal.
//  - A microfacet lobe's response also climbs steeply in the last few degrees before the
//    horizon (GGX with alpha 0.3 under a constant probe: 0.88 along the normal, 0.95 at 88
//    degrees), too fast for ten bands.
// So the outgoing polar angle is folded into the upper hemisphere and held at 80 degrees:
// f(w_i, w_o') with w_o' at min(t_j, pi - t_j, 80 degrees). Views up to 80 degrees from the
// normal are exact samples; beyond, a view reads the value at 80 degrees. The white furnace
// (GGX 0.3, constant probe, view along the normal) goes from 13 % high with zeros below the
// horizon, and 3 % low with the fold alone, to within 1 %.
// Incident directions below the surface stay 0: that light never reaches it.
#pragma once

#include <cmath>
#include <vector>

#include "iximage/interfaces/array_n.h"
#include "iximage/interfaces/constants.h"
#include "iximage/interfaces/pixel_types.h"

namespace ixImage {
namespace detail {

// cos(80 degrees): the outgoing polar angle at which samples are held (see above).
constexpr double kMinViewCosine = 0.17364817766693041;

// Cosines and sines of one grid, taken once instead of per sample.
struct GridAngles {
    std::vector<double> cosines, sines;
    explicit GridAngles(int count) : cosines(size_t(count)), sines(size_t(count)) {
        for (int i = 0; i < count; ++i) {
            cosines[size_t(i)] = std::cos(i * (kPi / kShGridHeight));
            sines[size_t(i)] = std::sin(i * (kPi / kShGridHeight));
        }
    }
};

// Fills samples with brdfCos(wi, wo) (which returns f(w_i, w_o) cos t_i as a FloatPixel3<double>
// and is only called with both directions above the surface) and writes the norm. Samples with
// the incident direction on or below the horizon are 0.
template <class BrdfCos>
void sampleIsotropic(const BrdfCos& brdfCos, ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                     FloatPixel3<double>& norm) {
    const int incident = samples.getDim(0);
    const int outgoing = samples.getDim(1);
    const int azimuth = samples.getDim(2);
    const GridAngles polar(incident > outgoing ? incident : outgoing);
    const GridAngles azimuthal(azimuth);
    const double step = kPi / kShGridHeight;

    double red = 0.0, green = 0.0, blue = 0.0;
    FloatPixel3<double>* out = samples.data();
    for (int i = 0; i < incident; ++i)
        for (int j = 0; j < outgoing; ++j) {
            const double cosI = polar.cosines[size_t(i)], sinI = polar.sines[size_t(i)];
            const double cosO = std::max(std::fabs(polar.cosines[size_t(j)]), kMinViewCosine);
            const double sinO = std::sqrt(1.0 - cosO * cosO);
            const double weight = sinI * polar.sines[size_t(j)];
            for (int k = 0; k < azimuth; ++k, ++out) {
                if (cosI <= 0.0) {
                    *out = FloatPixel3<double>(0.0, 0.0, 0.0);
                    continue;
                }
                const double wi[3] = {sinI * azimuthal.cosines[size_t(k)],
                                      sinI * azimuthal.sines[size_t(k)], cosI};
                const double wo[3] = {sinO, 0.0, cosO};
                const FloatPixel3<double> v = brdfCos(wi, wo);
                *out = v;
                red += v.red * v.red * weight;
                green += v.green * v.green * weight;
                blue += v.blue * v.blue * weight;
            }
        }
    const double cell = step * step * step;
    norm = FloatPixel3<double>(red * cell, green * cell, blue * cell);
}

// The same for a colourless model: `model.evaluateCos(wi, wo)` gives BRDF x cos(theta_i),
// the same in every channel.
template <class Model>
void sampleGreyIsotropic(const Model& model, ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                         FloatPixel3<double>& norm) {
    sampleIsotropic(
        [&model](const double* wi, const double* wo) {
            const double v = model.evaluateCos(wi, wo);
            return FloatPixel3<double>(v, v, v);
        },
        samples, norm);
}

}  // namespace detail
}  // namespace ixImage
