#include "iximage/interfaces/linear.h"

#include <cmath>

namespace ixLinear {

// Small enough not to move a sample visibly (a thousandth of a pixel on a 1000-pixel side),
// large enough that (1 - epsilon) is a float below 1.
const float epsilonTolFlt = 1.0e-6f;

// Squares are summed in double so that very short or very long vectors (components below
// about 1e-19 or above 1e19, whose float squares would underflow or overflow) still have a
// length and normalise.
static double lengthInDouble(float x, float y, float z) {
    const double dx = x, dy = y, dz = z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

float VectorFlt::length() const { return static_cast<float>(lengthInDouble(x, y, z)); }

bool VectorFlt::normalize() {
    const double len = lengthInDouble(x, y, z);
    if (!(len > 0.0) || !std::isfinite(len)) return false;
    x = static_cast<float>(x / len);
    y = static_cast<float>(y / len);
    z = static_cast<float>(z / len);
    return true;
}

}  // namespace ixLinear
