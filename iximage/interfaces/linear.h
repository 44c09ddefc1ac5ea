// Small vectors and matrices of the base library.
#pragma once

#include "iximage/interfaces/export.h"

namespace ixLinear {

// Float tolerance used to keep normalised positions inside images and to compare margins.
IXIMAGE_API extern const float epsilonTolFlt;

// A direction or point in single precision.
struct IXIMAGE_API VectorFlt {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    VectorFlt() = default;
    VectorFlt(float x0, float y0, float z0) : x(x0), y(y0), z(z0) {}

    float dot(const VectorFlt& o) const { return x * o.x + y * o.y + z * o.z; }
    // Length, computed in double and rounded back to float.
    float length() const;
    // Scales the vector to unit length. Returns false, leaving it unchanged, when the length
    // is zero or not finite.
    bool normalize();
};

// A 4 x 4 matrix of doubles, m[row][column].
struct ProjMatrix {
    double m[4][4] = {};
};

}  // namespace ixLinear
