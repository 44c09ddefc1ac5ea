// Material balls: unit spheres lit by a bake, rendered on the CPU so that an artist sees the
// irradiance and each specular map on a surface rather than as a flat map.
//
// Conventions
//  - World frame = the probe frame: +Z up, the centre of a latitude-longitude probe looks
//    along -Y. Each ball is a unit sphere at the origin of its own square tile, seen by the
//    same orbiting pinhole camera; at azimuth 0 and elevation 0 the camera sits on +Y and looks
//    along -Y (the probe's forward direction), so screen right is -X and screen up is +Z.
//  - Shading (outgoing radiance, probe units): a matte ball is albedo * E(n); a specular ball
//    is S(r) + kSpecularBallDiffuse * albedo * E(n), where E is the irradiance (already divided
//    by pi, so a white probe gives 1), n the normal, S the specular map looked up bilinearly at
//    the mirror direction r of the view ray. Rays that miss see the probe (the background map).
//  - Antialiasing: kBallSamples rays per pixel on a rotated grid, averaged in linear radiance.
//  - Images are bottom-up (row 0 = bottom of the picture), like every Float3Image of the tool.
//  - The viewer page repeats these formulas in its fragment shader; change both together.
//  - Pure functions: no shared state; the maps are only read.
#pragma once

#include <string>
#include <vector>

#include "iximage/envmap/environment_map.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/linear.h"
#include "iximage/interfaces/reference.h"

namespace iblBake {

// Weight of the diffuse term on a specular ball, as a fraction of the albedo: enough to keep
// the parts that reflect dark directions from going black, small beside the specular term.
constexpr float kSpecularBallDiffuse = 0.1f;
constexpr int kBallSamples = 4;
// Sample offsets inside a pixel (in pixels from its centre): a rotated 2 x 2 grid, which
// resolves near-horizontal and near-vertical edges into four distinct steps.
constexpr float kBallSampleOffsets[kBallSamples][2] = {
    {-0.125f, -0.375f}, {0.375f, -0.125f}, {0.125f, 0.375f}, {-0.375f, 0.125f}};

struct BallCamera {
    float azimuthDeg = 0.0f;    // orbit about +Z, positive turns the camera from +Y towards -X
    float elevationDeg = 0.0f;  // above the equator, towards +Z
    float distance = 4.0f;      // from the ball's centre; the radius is 1
    float tanHalfFov = 0.32f;   // half the tile's height on the image plane at distance 1
};

// The camera's position and orthonormal axes (forward looks at the ball's centre).
struct CameraFrame {
    ixLinear::VectorFlt eye, forward, right, up;
};
CameraFrame cameraFrame(const BallCamera& camera);

struct BallMaterial {
    std::string label;                                  // "MATTE", "PHONG 8", ...
    const ixImage::EnvironmentMap* specular = nullptr;  // null: the matte ball
};

struct BallScene {
    const ixImage::EnvironmentMap* background = nullptr;  // the probe (Float3 image); may be null
    ixImage::Irradiance irradiance;
    std::vector<BallMaterial> materials;  // one tile each, left to right
    float albedo = 0.8f;
    BallCamera camera;
    int tileSize = 160;
};

// The row of balls, tileSize * materials.size() by tileSize pixels (new, count 0). Maps whose
// image is not a Float3Image shade as black, a missing background as black.
ixImage::Float3Image* renderBallRow(const BallScene& scene);

// The probe as a latitude-longitude map no wider than maxWidth: the probe itself when it is a
// latitude-longitude map that narrow, otherwise a blurred and resized copy, or the remapping of
// a cross. Null when the probe's shape is not a map.
ix::Reference<ixImage::EnvironmentMap> makeBackgroundMap(ixImage::Float3Image& probe,
                                                         int maxWidth = 1024);

}  // namespace iblBake
