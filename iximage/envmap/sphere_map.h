// Angular (equal-angle) sphere map.
//
// The image holds a disc inscribed in the unit square of (u, v). The distance from the centre
// is proportional to the angle from -Y: with x' = 2u - 1, y' = 2v - 1, r = |(x', y')|,
//   theta = r * pi, phi = atan2(y', x'),
//   dir = (cos phi * sin theta, -cos theta, sin phi * sin theta).
// The centre looks along -Y, the rim (r = 1, still valid) along +Y, u grows towards +X and v
// towards +Z. Coordinates outside the disc (the four corners) are invalid.
//
// Solid angle of a pixel: with theta = pi r, d(omega) = sin theta d(theta) d(phi)
// = (sin theta / theta) * pi^2 * r dr d(phi), and a pixel covers (2 / w) * (2 / h) of the
// (x', y') plane, so omega = (sin theta / theta) * (2 pi / w) * (2 pi / h) for a w x h map.
//
// Frame, units, ownership and thread safety as for every EnvironmentMap (environment_map.h).
#pragma once

#include "iximage/envmap/environment_map.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

class IXIMAGE_API SphereMap : public EnvironmentMap {
public:
    // A map for a square image of size x size pixels; no image is attached.
    explicit SphereMap(int size);
    // A map for an image of w x h pixels.
    SphereMap(int w, int h);
    SphereMap(const SphereMap& other);
    ~SphereMap() override;

    // True inside the disc and on its rim: (u - 0.5)^2 + (v - 0.5)^2 <= 0.25.
    bool isValidCoord(float u, float v) const override;
    bool coordToDir(float u, float v, ixLinear::VectorFlt& dir, float& omega,
                    bool computeOmega) const override;
    bool coordToDir(float u, float v, ixLinear::VectorFlt& dir) const override;
    // Both +Y and -Y (no component off the Y axis) give the centre (0.5, 0.5).
    void dirToCoord(const ixLinear::VectorFlt& dir, float& u, float& v) const override;

    // Solid angle of the centre pixel: (2 pi / w) * (2 pi / h).
    float getOmegaFactor() const { return omegaFactor; }

private:
    void computeOmegaFactor(int w, int h);

    float omegaFactor = 0.0f;
};

}  // namespace ixImage
