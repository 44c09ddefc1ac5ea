#include "iximage/interfaces/linear.h"

#include <cmath>

namespace ixLinear {

// Small enough not to move a sample visibly (a thousandth of a pixel on a 1000-pixel side),
// large enough that (1 - epsilon) is a float below 1.
const float epsilonTolFlt = 1.0e-6f;

float VectorFlt::length() const {
    return static_cast<float>(std::sqrt(static_cast<double>(x * x + y * y + z * z)));
}

bool VectorFlt::normalize() {
    const float len = length();
    if (!(len > 0.0f) || !std::isfinite(len)) return false;
    x /= len;
    y /= len;
    z /= len;
    return true;
}

}  // namespace ixLinear
