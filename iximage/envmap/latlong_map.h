// Latitude-longitude environment map.
//
// Longitude runs along u, latitude along v:
//   latitude  lambda = (2v - 1) * pi / 2   (-Z at v = 0, +Z at v = 1)
//   longitude mu     = (2u - 1) * pi       (-Y at u = 0.5, +X at u = 0.25, -X at u = 0.75)
//   dir = (-sin mu * cos lambda, -cos mu * cos lambda, sin lambda)
// The seam (direction +Y) lies on both u = 0 and u = 1; every coordinate is valid.
//
// Solid angle of a pixel: d(omega) = cos(lambda) d(lambda) d(mu), so with w x h pixels
// omega = cos(lambda) * (2 pi / w) * (pi / h).
//
// Frame, units, ownership and thread safety as for every EnvironmentMap (environment_map.h).
#pragma once

#include "iximage/envmap/environment_map.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

class IXIMAGE_API LatLongMap : public EnvironmentMap {
public:
    // A map for an image of w x h pixels (typically w = 2h); no image is attached.
    LatLongMap(int w, int h);
    LatLongMap(const LatLongMap& other);
    ~LatLongMap() override;

    // Always true.
    bool isValidCoord(float u, float v) const override;
    bool coordToDir(float u, float v, ixLinear::VectorFlt& dir, float& omega,
                    bool computeOmega) const override;
    bool coordToDir(float u, float v, ixLinear::VectorFlt& dir) const override;
    // Within 0.01 of either pole (|x| and |y| below 0.01) the longitude is taken as 0, so u = 0.5.
    void dirToCoord(const ixLinear::VectorFlt& dir, float& u, float& v) const override;

    // Solid angle of a pixel on the equator: (2 pi / w) * (pi / h).
    float getOmegaFactor() const { return omegaFactor; }

private:
    void computeOmegaFactor(int w, int h);

    float omegaFactor = 0.0f;
};

}  // namespace ixImage
