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
#include "iximage/lighting/reflectance_function.h"

namespace ixImage {
namespace detail {

// Polar angle of grid index i: i pi / 100 (the grid starts at the surface normal).
inline double profileTheta(int i) { return i * (kPi / kShGridHeight); }

// The profile's values f(theta_i), i = 0..count-1.
template <class Profile>
std::vector<double> profileValues(const Profile& profile, int count) {
    std::vector<double> values(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) values[i] = profile(profileTheta(i));
    return values;
}

// The squared norm of the full array that holds values[i] at every (j, k) of incident row i.
inline FloatPixel3<double> profileNorm(const std::vector<double>& values, int outgoing,
                                       int azimuth) {
    const double step = kPi / kShGridHeight;
    double incidentEnergy = 0.0;
    double outgoingWeight = 0.0;
    for (size_t i = 0; i < values.size(); ++i)
        incidentEnergy += values[i] * values[i] * std::sin(profileTheta(int(i)));
    for (int j = 0; j < outgoing; ++j) outgoingWeight += std::sin(profileTheta(j));
    const double n = incidentEnergy * outgoingWeight * azimuth * step * step * step;
    return FloatPixel3<double>(n, n, n);
}

// Fills samples with profile(theta_i) in every channel and writes the norm.
template <class Profile>
void sampleIncidentProfile(const Profile& profile, ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                           FloatPixel3<double>& norm) {
    const int incident = samples.getDim(0);
    const int outgoing = samples.getDim(1);
    const int azimuth = samples.getDim(2);
    const std::vector<double> values = profileValues(profile, incident);

    // 48 MB of fresh memory: the writes (and the page faults of their first touch) are spread
    // over the thread pool, one incident angle per index.
    FloatPixel3<double>* out = samples.data();
    ixUtil::parallelFor(incident, [&](int i) {
        const FloatPixel3<double> v(values[i], values[i], values[i]);
        const long long rowLength = static_cast<long long>(outgoing) * azimuth;
        FloatPixel3<double>* row = out + static_cast<long long>(i) * rowLength;
        for (long long e = 0; e < rowLength; ++e) row[e] = v;
    });
    norm = profileNorm(values, outgoing, azimuth);
}

// The profiles of the library's own incident-angle models (defined beside each model).
double phongProfile(int exponent, double theta);
double lambertProfile(double theta);

// When rf is exactly a PhongReflectance or a LambertReflectance (not a subclass, which may
// sample itself differently), its profile values at the 100 polar samples: the pipeline then
// projects them directly instead of sampling the full array. False for any other reflectance.
bool incidentProfileOf(const ReflectanceFunction& rf, std::vector<double>& values);

}  // namespace detail
}  // namespace ixImage
