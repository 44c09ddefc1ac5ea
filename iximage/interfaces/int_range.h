// Integer rectangles and their axis-wise wrap and clamp rules.
#pragma once

#include "iximage/interfaces/export.h"

namespace ixUtil {

// A rectangle of integer pixel positions: x origin, y origin, width, height.
// Axis 0 is x, axis 1 is y.
struct IXIMAGE_API IntRange2d {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    IntRange2d() = default;
    IntRange2d(int x0, int y0, int w, int h) : x(x0), y(y0), width(w), height(h) {}

    int origin(int axis) const { return axis == 0 ? x : y; }
    int size(int axis) const { return axis == 0 ? width : height; }

    // Is coordinate c inside the range along the axis?
    bool contains(int axis, int c) const;
    // c brought inside the range along the axis by wrapping around it (periodic).
    int wrap(int axis, int c) const;
    // c brought inside the range along the axis by clamping to its first or last position.
    int clamp(int axis, int c) const;
};

}  // namespace ixUtil
