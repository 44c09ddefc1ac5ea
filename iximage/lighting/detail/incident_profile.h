// Sampling of reflectances that depend on the incident angle alone (shipped models).
//
// For a function f(theta_i) that ignores the outgoing direction and the azimuth, every sample
// [i][j][k] of the BRDF array is f(theta_i), theta_i = i pi / 100, and the squared norm that
// the pipeline expects factorises:
//   sum_ijk f_i^2 sin(theta_i) sin(theta_j) (pi / 100)^3
//     = (sum_i f_i^2 sin(theta_i)) (sum_j sin(theta_j)) K (pi / 100)^3,
// with K the number of azimuth samples. Internal to the library's reflectance models.
#pragma once

#include <cmath>
#include <vector>

#include "iximage/interfaces/array_n.h"
#include "iximage/interfaces/constants.h"
#include "iximage/interfaces/detail/parallel_for.h"
#include "iximage/interfaces/pixel_types.h"

namespace ixImage {
namespace detail {

// Polar angle of grid index i: i pi / 100 (the grid starts at the surface normal).
inline double profileTheta(int i) { return i * (kPi / kShGridHeight); }

// Fills samples with profile(theta_i) in every channel and writes the norm.
template <class Profile>
void sampleIncidentProfile(const Profile& profile, ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                           FloatPixel3<double>& norm) {
    const int incident = samples.getDim(0);
    const int outgoing = samples.getDim(1);
    const int azimuth = samples.getDim(2);
    const double step = kPi / kShGridHeight;

    double incidentEnergy = 0.0;
    double outgoingWeight = 0.0;
    std::vector<double> values(static_cast<size_t>(incident));
    for (int i = 0; i < incident; ++i) {
        values[i] = profile(profileTheta(i));
        incidentEnergy += values[i] * values[i] * std::sin(profileTheta(i));
    }
    for (int j = 0; j < outgoing; ++j) outgoingWeight += std::sin(profileTheta(j));

    // 48 MB of fresh memory: the writes (and the page faults of their first touch) are spread
    // over the thread pool, one incident angle per index.
    FloatPixel3<double>* out = samples.data();
    ixUtil::parallelFor(incident, [&](int i) {
        const FloatPixel3<double> v(values[i], values[i], values[i]);
        const long long rowLength = static_cast<long long>(outgoing) * azimuth;
        FloatPixel3<double>* row = out + static_cast<long long>(i) * rowLength;
        for (long long e = 0; e < rowLength; ++e) row[e] = v;
    });

    const double n = incidentEnergy * outgoingWeight * azimuth * step * step * step;
    norm = FloatPixel3<double>(n, n, n);
}

}  // namespace detail
}  // namespace ixImage
