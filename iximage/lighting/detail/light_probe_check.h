// The probe check shared by ImageBasedLighting::setLightProbe and readSubPacket (internal to
// the library, not exported).
#pragma once

#include "iximage/envmap/environment_map.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/error.h"

namespace ixImage {

// Wraps image in the environment map recognised from its shape and accepts it only as a
// latitude-longitude or cross map. Returns the new map (reference count 0) or null; error is
// assigned (code 1, fixed message) only on failure:
//  - null image: "Image-based lighting file not found.";
//  - unrecognised shape: "The image you have specified is not a recognized environment map
//    shape.Please consult the documentation for descriptions of the supported types.";
//  - a sphere map: "Image based lighting only supports vertical cross and latitude-longitude
//    environment maps." (the map is destroyed at once).
// Like recognition itself, a successful or sphere-map check sets the image's wrap flags.
EnvironmentMap* makeLightProbeMap(TypedImage<FloatPixel3<float>>* image, ixUtil::Error& error);

}  // namespace ixImage
