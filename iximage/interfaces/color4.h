// Four-channel integer pixels: Byte4 (unsigned 8-bit) and Int4 (signed 32-bit), channels in the
// order red, green, blue, alpha.
#pragma once

#include "iximage/interfaces/export.h"

namespace ixImage {

struct Int4 {
    int red = 0;
    int green = 0;
    int blue = 0;
    int alpha = 0;

    Int4() = default;
    Int4(int r, int g, int b, int a) : red(r), green(g), blue(b), alpha(a) {}
};

struct IXIMAGE_API Byte4 {
    unsigned char red = 0;
    unsigned char green = 0;
    unsigned char blue = 0;
    unsigned char alpha = 0;

    Byte4() = default;
    Byte4(unsigned char r, unsigned char g, unsigned char b, unsigned char a)
        : red(r), green(g), blue(b), alpha(a) {}
    // Narrows each channel, clamping to 0..255 so that sums that overshoot stay saturated.
    explicit Byte4(const Int4& v)
        : red(clampByte(v.red)),
          green(clampByte(v.green)),
          blue(clampByte(v.blue)),
          alpha(clampByte(v.alpha)) {}

    bool operator==(const Byte4& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
    bool operator!=(const Byte4& o) const { return !(*this == o); }

    static const Byte4 zero;

private:
    static unsigned char clampByte(int v) {
        return static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
};

}  // namespace ixImage
