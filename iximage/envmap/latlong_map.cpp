#include "iximage/envmap/latlong_map.h"

#include <cmath>

#include "iximage/envmap/detail/projection_math.h"

namespace ixImage {

using namespace envmath;

LatLongMap::LatLongMap(int w, int h) : EnvironmentMap(kLatLong) { computeOmegaFactor(w, h); }

LatLongMap::LatLongMap(const LatLongMap& other)
    : EnvironmentMap(other), omegaFactor(other.omegaFactor) {}

LatLongMap::~LatLongMap() { image.reset(); }

// A pixel spans 2 pi / w of longitude and pi / h of latitude; the quotients are formed first
// and multiplied in float.
void LatLongMap::computeOmegaFactor(int w, int h) {
    omegaFactor = (kTwoPiFloat / static_cast<float>(w)) * (kPiFloat / static_cast<float>(h));
}

bool LatLongMap::isValidCoord(float, float) const { return true; }

bool LatLongMap::coordToDir(float u, float v, ixLinear::VectorFlt& dir, float& omega,
                            bool computeOmega) const {
    // Seam exchange: u = 0 is computed as u = 1 and vice versa. The float pi lies just above
    // the real pi, so sin(mu) at mu = +-pi has the sign that makes atan2 in dirToCoord land
    // back on the same edge the caller started from.
    if (u == 0.0f) {
        u = 1.0f;
    } else if (u == 1.0f) {
        u = 0.0f;
    }
    const float lambda = (2.0f * v - 1.0f) * kPiFloat * 0.5f;
    // Rounding can make cos(lambda) a hair negative at the poles; a solid angle cannot be.
    float cosLambda = cosF(lambda);
    if (cosLambda < 0.0f) cosLambda = 0.0f;
    const float mu = (2.0f * u - 1.0f) * kPiFloat;

    dir.x = -sinF(mu) * cosLambda;
    dir.y = -cosF(mu) * cosLambda;
    dir.z = sinF(lambda);
    if (computeOmega) omega = cosLambda * omegaFactor;
    return true;
}

bool LatLongMap::coordToDir(float u, float v, ixLinear::VectorFlt& dir) const {
    float omega = 0.0f;
    return coordToDir(u, v, dir, omega, false);
}

void LatLongMap::dirToCoord(const ixLinear::VectorFlt& dir, float& u, float& v) const {
    const float lambda = asinF(dir.z);
    // Near either pole the longitude is meaningless (and atan2 of two tiny values is noise);
    // it is pinned to 0, the middle column.
    float mu = 0.0f;
    if (!(std::fabs(dir.x) < 0.01f && std::fabs(dir.y) < 0.01f)) mu = atan2F(-dir.x, -dir.y);
    u = (mu / kPiFloat + 1.0f) * 0.5f;
    v = ((lambda + lambda) / kPiFloat + 1.0f) * 0.5f;
}

}  // namespace ixImage
