// Constants and plain double-precision directions shared by the tests (environment frame:
// +Z up, directions as unit vectors).
#pragma once

namespace ixTest {

constexpr double kPi = 3.14159265358979323846;

struct Dir {
    double x, y, z;
};

inline double dot(const Dir& a, const Dir& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace ixTest
