// Scale-and-offset map from a tile's unit square to atlas coordinates: p' = p * scale + offset.
#pragma once

namespace ixUtil {

struct Transform2d {
    float xScale = 1.0f;
    float yScale = 1.0f;
    float xOffset = 0.0f;
    float yOffset = 0.0f;
    bool identity = true;
};

}  // namespace ixUtil
