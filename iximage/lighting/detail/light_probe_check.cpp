#include "iximage/lighting/detail/light_probe_check.h"

#include "iximage/envmap/recognize_remap.h"

namespace ixImage {

EnvironmentMap* makeLightProbeMap(TypedImage<FloatPixel3<float>>* image, ixUtil::Error& error) {
    if (!image) {
        error = ixUtil::Error(1, "Image-based lighting file not found.");
        return nullptr;
    }
    EnvironmentMap* map = newEnvironmentMap(*image);
    if (!map) {
        error = ixUtil::Error(1,
                              "The image you have specified is not a recognized environment map "
                              "shape.Please consult the documentation for descriptions of the "
                              "supported types.");
        return nullptr;
    }
    if (map->type == EnvironmentMap::kLatLong || map->type == EnvironmentMap::kCross) return map;

    // A sphere map: nobody has referenced it yet, so it is destroyed directly.
    delete map;
    error = ixUtil::Error(1,
                          "Image based lighting only supports vertical cross and "
                          "latitude-longitude environment maps.");
    return nullptr;
}

}  // namespace ixImage
