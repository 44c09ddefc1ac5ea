// IEEE 754 binary16 ("half") values.
//
// Conversion to float is a lookup in the 65,536-entry table _toFloat, indexed by the half's bit
// pattern. Conversion from float rounds to nearest, ties to even, and keeps infinities, NaNs
// (quiet, with the top mantissa bits kept) and subnormals. Arithmetic is done in float and
// rounded back to half after every operation.
#pragma once

#include <cstdint>

#include "iximage/interfaces/export.h"

namespace ixImage {

class IXIMAGE_API half {
public:
    // Zero. (Images of half pixels are created with every component at this value.)
    half() = default;
    half(float value) : bits(fromFloat(value)) {}

    operator float() const { return _toFloat[bits]; }

    half& operator+=(half other) { return *this = half(float(*this) + float(other)); }
    half& operator-=(half other) { return *this = half(float(*this) - float(other)); }
    half& operator*=(half other) { return *this = half(float(*this) * float(other)); }
    half& operator/=(half other) { return *this = half(float(*this) / float(other)); }

    std::uint16_t getBits() const { return bits; }
    void setBits(std::uint16_t b) { bits = b; }
    static half fromBits(std::uint16_t b) {
        half h;
        h.bits = b;
        return h;
    }

    // True for infinities and NaNs (all exponent bits set).
    bool isInfOrNan() const { return (bits & 0x7C00u) == 0x7C00u; }

    // The float value of every bit pattern; filled when the library is loaded.
    static float _toFloat[65536];

    // Rounds a float to the nearest half bit pattern, ties to even.
    static std::uint16_t fromFloat(float value);

private:
    std::uint16_t bits = 0;
};

}  // namespace ixImage
