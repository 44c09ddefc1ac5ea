#include "iximage/interfaces/half.h"

#include <cstring>

namespace ixImage {

float half::_toFloat[65536];

namespace {

std::uint32_t halfBitsToFloatBits(std::uint32_t h) {
    const std::uint32_t sign = (h & 0x8000u) << 16;
    const std::uint32_t exponent = (h >> 10) & 0x1Fu;
    std::uint32_t mantissa = h & 0x3FFu;
    if (exponent == 0x1Fu) return sign | 0x7F800000u | (mantissa << 13);  // inf / NaN
    if (exponent != 0) return sign | ((exponent + 112u) << 23) | (mantissa << 13);
    if (mantissa == 0) return sign;  // signed zero
    // Subnormal half: normalise the mantissa into a normal float.
    std::uint32_t e = 113;
    while ((mantissa & 0x400u) == 0) {
        mantissa <<= 1;
        --e;
    }
    return sign | (e << 23) | ((mantissa & 0x3FFu) << 13);
}

// Fills the table during the library's static initialisation, before any caller can convert.
struct TableFiller {
    TableFiller() {
        for (std::uint32_t h = 0; h < 65536u; ++h) {
            const std::uint32_t f = halfBitsToFloatBits(h);
            std::memcpy(&half::_toFloat[h], &f, sizeof f);
        }
    }
};
const TableFiller fillTable;

}  // namespace

std::uint16_t half::fromFloat(float value) {
    std::uint32_t f;
    std::memcpy(&f, &value, sizeof f);
    const std::uint32_t sign = (f >> 16) & 0x8000u;
    const std::uint32_t absBits = f & 0x7FFFFFFFu;

    if (absBits >= 0x7F800000u) {
        if (absBits == 0x7F800000u) return static_cast<std::uint16_t>(sign | 0x7C00u);
        // NaN: keep it quiet and keep the top mantissa bits.
        return static_cast<std::uint16_t>(sign | 0x7E00u | ((absBits >> 13) & 0x3FFu));
    }
    // 65520 and above round to infinity (the largest half is 65504).
    if (absBits >= 0x477FF000u) return static_cast<std::uint16_t>(sign | 0x7C00u);

    if (absBits < 0x38800000u) {
        // Result is subnormal or zero: value * 2^24 rounded to an integer, ties to even.
        if (absBits < 0x33000000u) return static_cast<std::uint16_t>(sign);  // below 2^-25
        const std::uint32_t exponent = absBits >> 23;
        const std::uint32_t mantissa = (absBits & 0x7FFFFFu) | 0x800000u;
        const std::uint32_t shift = 126u - exponent;  // 14..24
        std::uint32_t result = mantissa >> shift;
        const std::uint32_t remainder = mantissa & ((1u << shift) - 1u);
        const std::uint32_t halfway = 1u << (shift - 1u);
        if (remainder > halfway || (remainder == halfway && (result & 1u))) ++result;
        return static_cast<std::uint16_t>(sign | result);
    }

    // Normal range: rebias the exponent and round the 13 dropped mantissa bits, ties to even.
    // A carry out of the mantissa correctly bumps the exponent (up to infinity).
    std::uint32_t result = ((absBits - 0x38000000u) >> 13);
    const std::uint32_t remainder = absBits & 0x1FFFu;
    if (remainder > 0x1000u || (remainder == 0x1000u && (result & 1u))) ++result;
    return static_cast<std::uint16_t>(sign | result);
}

}  // namespace ixImage
