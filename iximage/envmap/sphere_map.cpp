#include "iximage/envmap/sphere_map.h"

#include <cmath>

#include "iximage/envmap/detail/projection_math.h"

namespace ixImage {

using namespace envmath;

SphereMap::SphereMap(int size) : EnvironmentMap(kSphere) { computeOmegaFactor(size, size); }

SphereMap::SphereMap(int w, int h) : EnvironmentMap(kSphere) { computeOmegaFactor(w, h); }

SphereMap::SphereMap(const SphereMap& other)
    : EnvironmentMap(other), omegaFactor(other.omegaFactor) {}

SphereMap::~SphereMap() { image.reset(); }

// The disc spans 2 pi of angle across each side (theta = pi r, r from -1 to 1); the quotients
// are formed first and multiplied in float.
void SphereMap::computeOmegaFactor(int w, int h) {
    omegaFactor = (kTwoPiFloat / static_cast<float>(w)) * (kTwoPiFloat / static_cast<float>(h));
}

bool SphereMap::isValidCoord(float u, float v) const {
    const float dv = v - 0.5f;
    const float du = u - 0.5f;
    return dv * dv + du * du <= 0.25f;
}

bool SphereMap::coordToDir(float u, float v, ixLinear::VectorFlt& dir, float& omega,
                           bool computeOmega) const {
    const float xp = 2.0f * u - 1.0f;
    const float yp = 2.0f * v - 1.0f;
    const float r = sqrtF(yp * yp + xp * xp);
    if (r > 1.0f) {
        omega = 0.0f;
        return false;
    }
    const float theta = r * kPiFloat;
    const float phi = atan2F(yp, xp);
    const float sinTheta = sinF(theta);
    dir.x = cosF(phi) * sinTheta;
    dir.y = -cosF(theta);
    dir.z = sinF(phi) * sinTheta;

    if (computeOmega) {
        // sin(theta) / theta -> 1 at the centre; below 1e-4 the quotient is 1 to float
        // precision, and the test avoids 0 / 0. Compared and divided in double.
        const double thetaD = theta;
        float k = 1.0f;
        if (!(std::fabs(thetaD) < 0.0001)) k = static_cast<float>(std::sin(thetaD) / thetaD);
        omega = k * omegaFactor;
    }
    return true;
}

bool SphereMap::coordToDir(float u, float v, ixLinear::VectorFlt& dir) const {
    float omega = 0.0f;
    return coordToDir(u, v, dir, omega, false);
}

void SphereMap::dirToCoord(const ixLinear::VectorFlt& dir, float& u, float& v) const {
    const float rho = sqrtF(dir.x * dir.x + dir.z * dir.z);
    if (rho == 0.0f) {
        u = 0.5f;
        v = 0.5f;
        return;
    }
    // Distance from the centre r = acos(-y) / pi; (x, z) / rho is the unit direction in the
    // disc and the disc has radius 0.5 in (u, v). rho * pi is a float product, the rest double.
    const float rhoPi = rho * kPiFloat;
    const float k = static_cast<float>(std::acos(-static_cast<double>(dir.y)) * 0.5 /
                                       static_cast<double>(rhoPi));
    v = dir.z * k + 0.5f;
    u = k * dir.x + 0.5f;
}

}  // namespace ixImage
