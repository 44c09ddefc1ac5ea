// Our binary16 conversions against Imath's half, bit for bit: every half pattern to float, and
// float to half over a strided sweep of all float patterns plus every rounding boundary.
#include <gtest/gtest.h>

#include <Imath/half.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "iximage/interfaces/half.h"

namespace {

std::uint32_t floatBits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

float bitsToFloat(std::uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

bool isHalfNan(std::uint16_t h) { return (h & 0x7C00u) == 0x7C00u && (h & 0x3FFu) != 0; }

std::uint16_t imathFromFloat(float f) { return Imath::half(f).bits(); }

std::uint16_t oursFromFloat(float f) { return ixImage::half(f).getBits(); }

// NaNs need not agree in every bit. Both must be NaN with the same sign and carry the same
// payload bits below the quiet bit (half mantissa bits 1 to 8, the float's bits 14 to 21). Bits
// 9 and 0 may differ: a signalling NaN comes out of ours quiet, as IEEE 754 asks of a
// conversion, while Imath keeps it signalling and sets bit 0 when the payload would vanish.
::testing::AssertionResult sameHalf(float input, std::uint16_t ours, std::uint16_t imath) {
    if (isHalfNan(imath) || isHalfNan(ours)) {
        const bool same = isHalfNan(ours) && isHalfNan(imath) &&
                          (ours & 0x8000u) == (imath & 0x8000u) &&
                          (ours & 0x1FEu) == (imath & 0x1FEu);
        if (same) return ::testing::AssertionSuccess();
    } else if (ours == imath) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "float " << input << " (bits 0x" << std::hex << floatBits(input) << "): ours 0x"
           << ours << ", Imath 0x" << imath << std::dec;
}

}  // namespace

TEST(Half, EveryPatternToFloatMatchesImath) {
    int nanCount = 0;
    for (std::uint32_t b = 0; b < 65536u; ++b) {
        const auto bits = static_cast<std::uint16_t>(b);
        const float ours = ixImage::half::fromBits(bits);
        Imath::half reference;
        reference.setBits(bits);
        const float theirs = reference;
        if (isHalfNan(bits)) {
            ++nanCount;
            ASSERT_TRUE(std::isnan(ours) && std::isnan(theirs)) << "half 0x" << std::hex << b;
            ASSERT_EQ(std::signbit(ours), std::signbit(theirs)) << "half 0x" << std::hex << b;
            // The ten half mantissa bits are the top ten of the float's 23.
            ASSERT_EQ(floatBits(ours) & 0x7FE000u, floatBits(theirs) & 0x7FE000u)
                << "half 0x" << std::hex << b;
        } else {
            ASSERT_EQ(floatBits(ours), floatBits(theirs))
                << "half 0x" << std::hex << b << ": ours " << ours << ", Imath " << theirs;
        }
    }
    EXPECT_EQ(nanCount, 2 * 1023);
}

TEST(Half, FloatToHalfMatchesImathOnASweepAndEveryRoundingBoundary) {
    // An odd stride visits every low-bit residue class pattern the rounding looks at.
    for (std::uint64_t u = 0; u <= 0xFFFFFFFFull; u += 1021) {
        const float f = bitsToFloat(static_cast<std::uint32_t>(u));
        ASSERT_TRUE(sameHalf(f, oursFromFloat(f), imathFromFloat(f)));
    }
    // For every pair of adjacent non-negative finite halves, the exact midpoint (representable
    // in float: halves have 11 significant bits, floats 24) and the floats just around it,
    // with both signs. The last pair is 65504 and 65536, the first value that rounds to infinity.
    for (std::uint32_t h = 0; h < 0x7C00u; ++h) {
        const double lo = ixImage::half::fromBits(static_cast<std::uint16_t>(h));
        const double hi = h + 1 < 0x7C00u
                              ? double(ixImage::half::fromBits(static_cast<std::uint16_t>(h + 1)))
                              : 65536.0;
        const float mid = static_cast<float>((lo + hi) / 2.0);
        ASSERT_EQ(double(mid), (lo + hi) / 2.0) << "midpoint of half 0x" << std::hex << h;
        const std::uint32_t m = floatBits(mid);
        for (std::uint32_t u : {m - 3, m - 2, m - 1, m, m + 1, m + 2, m + 3}) {
            for (std::uint32_t sign : {0u, 0x80000000u}) {
                const float f = bitsToFloat(u | sign);
                ASSERT_TRUE(sameHalf(f, oursFromFloat(f), imathFromFloat(f)));
            }
        }
        // The halves themselves convert back exactly.
        ASSERT_EQ(oursFromFloat(static_cast<float>(lo)), h);
    }
}

TEST(Half, ArithmeticRoundsBackAfterEveryOperation) {
    // 2048 + 1 is not a half (spacing 2 there); the tie goes to the even 2048.
    ixImage::half a(2048.0f);
    a += ixImage::half(1.0f);
    EXPECT_EQ(float(a), 2048.0f);
    a += ixImage::half(3.0f);
    EXPECT_EQ(float(a), 2052.0f);  // 2051 ties to the even 2052
    ixImage::half b(0.1f);
    b *= ixImage::half(10.0f);
    EXPECT_EQ(b.getBits(), imathFromFloat(float(ixImage::half(0.1f)) * 10.0f));
}
