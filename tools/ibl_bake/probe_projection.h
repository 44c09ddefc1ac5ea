// Probes in the projections the lighting object does not take: square angular maps and
// mirror-ball photographs, brought to latitude-longitude before baking.
//
// Conventions (docs/probe_orientation.svg draws them)
//  - The frame is the library's: +Z up, the centre of every projection looks along -Y.
//  - Angular map: the library's SphereMap. The image centre looks along -Y ("forward"), the rim
//    along +Y, and the distance from the centre is proportional to the angle from -Y
//    (r = theta / pi, r = 1 on the rim). The picture's right (u = 1) is +X, its top +Z.
//  - Mirror ball: a chrome ball filling the square, photographed by a distant camera that
//    stands on the -Y side and looks along +Y with +Z up. A point of the disc at radius r
//    reflects the direction at angle theta from -Y with r = sin(theta / 2): the centre shows
//    the camera's side (-Y), the rim what is behind the ball (+Y). The picture's right is +X,
//    its top +Z, exactly as in the angular map, which is the same photograph with the radius
//    re-spaced.
//  - Images are bottom-up (row 0 is the bottom of the picture), as the loaders give them.
//  - Thread safety: plain functions; the map class is const after construction.
#pragma once

#include <string>

#include "iximage/envmap/environment_map.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/reference.h"

namespace iblBake {

enum class ProbeProjection {
    kAuto,        // from the shape: square = angular, otherwise as the library recognises it
    kLatLong,     // width = 2 x height
    kCross,       // vertical cross, width : height = 3 : 4
    kAngular,     // square angular map
    kMirrorBall,  // square mirror-ball photograph
};

// "latlong", "cross", "angular", "mirror-ball" (the names of --projection); false otherwise.
bool parseProbeProjection(const std::string& name, ProbeProjection& projection);

// The mirror-ball projection as an environment map (its type tag is kSphere, the disc family).
// Solid angle: r = sin(theta/2) gives d(omega) = sin(theta) d(theta) d(phi) = 4 r dr d(phi),
// four steradians per unit area of the disc, so every pixel inside it has the same omega,
// 4 (2/w) (2/h), and the disc (area pi) holds 4 pi.
class MirrorBallMap : public ixImage::EnvironmentMap {
public:
    MirrorBallMap(int w, int h);
    bool isValidCoord(float u, float v) const override;
    bool coordToDir(float u, float v, ixLinear::VectorFlt& dir, float& omega,
                    bool computeOmega) const override;
    bool coordToDir(float u, float v, ixLinear::VectorFlt& dir) const override;
    void dirToCoord(const ixLinear::VectorFlt& dir, float& u, float& v) const override;

private:
    float omegaFactor;
};

struct ProjectedProbe {
    ix::Reference<ixImage::Float3Image> image;  // what the lighting object gets; null if refused
    std::string error;                          // why it was refused
    std::string converted;  // "angular" or "mirror ball" when the probe was converted, else ""
};

// A probe the lighting object accepts. A square probe read as angular or mirror ball is
// remapped (bilinear, the library's remap) into a new latitude-longitude image of width
// side + side % 2 and half that height: the angular map samples the angle from its centre
// every 2 pi / side radians, and so does a latitude-longitude map of that width. Other probes
// come back as they are. An explicit projection that does not fit the shape is refused.
ProjectedProbe toLightingProjection(ixImage::Float3Image& probe, ProbeProjection projection);

}  // namespace iblBake
