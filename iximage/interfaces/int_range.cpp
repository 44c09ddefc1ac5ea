#include "iximage/interfaces/int_range.h"

namespace ixUtil {

bool IntRange2d::contains(int axis, int c) const {
    const int o = origin(axis);
    return c >= o && c - o < size(axis);
}

int IntRange2d::wrap(int axis, int c) const {
    const int o = origin(axis);
    const int n = size(axis);
    if (n <= 0) return o;
    int r = (c - o) % n;
    if (r < 0) r += n;
    return o + r;
}

int IntRange2d::clamp(int axis, int c) const {
    const int o = origin(axis);
    const int n = size(axis);
    if (n <= 0 || c < o) return o;
    if (c >= o + n) return o + n - 1;
    return c;
}

}  // namespace ixUtil
