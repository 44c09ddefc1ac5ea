// A procedural sun-and-sky light probe, so that ibl-bake (and its tests) can run with no data.
//
// Conventions
//  - The probe is a latitude-longitude Float3Image of width 2h and height h, in the library's
//    frame: +Z is up, the map's centre looks along -Y, and image rows run bottom-up (row 0 is
//    the nadir, the last row the zenith), exactly as a loaded probe file is stored.
//  - Values are linear radiance in arbitrary units; the sky near the zenith is about 1.
//  - The returned image is new (count 0); the caller holds it in an ix::Reference.
//  - Pure function of its parameters: deterministic and thread-safe.
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/linear.h"

namespace iblBake {

struct SkyParameters {
    float sunElevationDeg = 35.0f;  // sun height above the horizon
    float sunAzimuthDeg = 30.0f;    // measured from +X towards +Y
    float sunRadiusDeg = 3.0f;      // angular radius of the disc (the real sun is ~0.27;
                                    // wider and dimmer keeps the SH ringing of the
                                    // specular maps low)
    float sunRadiance = 300.0f;     // radiance inside the disc, per channel before tint
};

// Unit direction towards the sun for the given parameters.
ixLinear::VectorFlt sunDirection(const SkyParameters& sky);

// Radiance of the sky model seen along the unit direction `dir`.
ixImage::FloatPixel3<float> skyRadiance(const SkyParameters& sky, const ixLinear::VectorFlt& dir);

// The model sampled at every pixel centre of a height x 2height latitude-longitude image.
ixImage::Float3Image* makeSkyProbe(int height, const SkyParameters& sky = SkyParameters());

}  // namespace iblBake
