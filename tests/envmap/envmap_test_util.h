// Plain double directions, a loop over pixel centres, and images attached to maps.
#pragma once

#include <algorithm>
#include <cmath>
#include <ostream>

#include "iximage/envmap/environment_map.h"
#include "iximage/image/typed_image.h"
#include "support/test_math.h"

namespace ixTest {

inline Dir toDir(const ixLinear::VectorFlt& v) { return {v.x, v.y, v.z}; }
inline double maxDiff(const Dir& a, const Dir& b) {  // largest component difference
    return std::fmax(std::fabs(a.x - b.x), std::fmax(std::fabs(a.y - b.y), std::fabs(a.z - b.z)));
}

// Calls f(x, y, u, v) for every pixel centre of a w x h map.
template <class F>
void forEachPixelCentre(int w, int h, F f) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f(x, y, (x + 0.5f) / w, (y + 0.5f) / h);
}

// Attaches a new w x h image of pixel type T, every pixel fill, to map (which holds it).
template <class T>
ixImage::TypedImage<T>& attachImage(ixImage::EnvironmentMap& map, int w, int h, const T& fill) {
    ix::Reference<ixImage::TypedImage<T>> image(new ixImage::TypedImage<T>());
    image->setSize(w, h);
    std::fill(image->data(), image->data() + w * h, fill);
    map.setImage(image.get());
    return *image;
}

}  // namespace ixTest

namespace ixLinear {
inline std::ostream& operator<<(std::ostream& os, const VectorFlt& d) {
    return os << "(" << d.x << ", " << d.y << ", " << d.z << ")";
}
}  // namespace ixLinear
