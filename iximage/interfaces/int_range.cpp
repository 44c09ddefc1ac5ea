#include "iximage/interfaces/int_range.h"

namespace ixUtil {

// Offsets from the origin are taken in 64 bits so that coordinates near the ends of the int
// range cannot overflow.

bool IntRange2d::contains(int axis, int c) const {
    const long long offset = static_cast<long long>(c) - origin(axis);
    return offset >= 0 && offset < size(axis);
}

int IntRange2d::wrap(int axis, int c) const {
    const int o = origin(axis);
    const int n = size(axis);
    if (n <= 0) return o;
    long long r = (static_cast<long long>(c) - o) % n;
    if (r < 0) r += n;
    return static_cast<int>(o + r);
}

int IntRange2d::clamp(int axis, int c) const {
    const int o = origin(axis);
    const int n = size(axis);
    if (n <= 0 || c < o) return o;
    const long long last = static_cast<long long>(o) + n - 1;
    if (c > last) return static_cast<int>(last);
    return c;
}

}  // namespace ixUtil
