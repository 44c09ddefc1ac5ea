// Arithmetic helpers shared by the projections.
//
// Geometry is single precision, but sqrt and the trigonometric functions are evaluated in double
// on float operands and rounded to float where the result is stored. These helpers spell that
// rounding once, so the formulas in the projections read like the maths. They are internal to
// the environment maps and carry no export.
#pragma once

#include <cmath>

#include "iximage/interfaces/constants.h"

namespace ixImage {
namespace envmath {

inline float sqrtF(float x) { return static_cast<float>(std::sqrt(static_cast<double>(x))); }
inline float sinF(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
inline float cosF(float x) { return static_cast<float>(std::cos(static_cast<double>(x))); }
inline float asinF(float x) { return static_cast<float>(std::asin(static_cast<double>(x))); }
inline float atanF(float x) { return static_cast<float>(std::atan(static_cast<double>(x))); }
inline float atan2F(float y, float x) {
    return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x)));
}

}  // namespace envmath
}  // namespace ixImage
