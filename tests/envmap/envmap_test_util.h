// Helpers shared by the environment-map tests: a plain double-precision view of directions and
// a loop over pixel centres.
#pragma once

#include <cmath>
#include <ostream>

#include "iximage/envmap/environment_map.h"
#include "iximage/interfaces/linear.h"
#include "support/test_math.h"

namespace ixTest {

inline Dir toDir(const ixLinear::VectorFlt& v) { return {v.x, v.y, v.z}; }
inline double length(const Dir& d) { return std::sqrt(dot(d, d)); }
// Largest component difference.
inline double maxDiff(const Dir& a, const Dir& b) {
    return std::fmax(std::fabs(a.x - b.x), std::fmax(std::fabs(a.y - b.y), std::fabs(a.z - b.z)));
}
inline std::ostream& operator<<(std::ostream& os, const Dir& d) {
    return os << "(" << d.x << ", " << d.y << ", " << d.z << ")";
}

// Calls f(x, y, u, v) for every pixel centre of a w x h map.
template <class F>
void forEachPixelCentre(int w, int h, F f) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f(x, y, (x + 0.5f) / w, (y + 0.5f) / h);
}

}  // namespace ixTest

namespace ixLinear {
inline std::ostream& operator<<(std::ostream& os, const VectorFlt& d) {
    return os << "(" << d.x << ", " << d.y << ", " << d.z << ")";
}
}  // namespace ixLinear
