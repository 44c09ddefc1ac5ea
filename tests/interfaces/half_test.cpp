// Our binary16 conversions against Imath's half, bit for bit: every half pattern to float, and
// float to half over a strided sweep of all float patterns plus every rounding boundary.
#include <gtest/gtest.h>

#include <Imath/half.h>

#include <cmath>
#include <cstdint>
#include <cstring>

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

// NaNs agree in sign and in the payload bits below the quiet bit (half mantissa bits 1 to 8).
// Bits 9 and 0 may differ: a signalling NaN comes out of ours quiet, as IEEE 754 asks of a
// conversion, while Imath keeps it signalling and sets bit 0 when the payload would vanish.
::testing::AssertionResult sameHalf(float input) {
    const std::uint16_t ours = ixImage::half(input).getBits(), imath = Imath::half(input).bits();
    const bool nan = isHalfNan(ours) && isHalfNan(imath) && ((ours ^ imath) & 0x81FEu) == 0;
    if (nan || (ours == imath && !isHalfNan(ours))) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "float bits 0x" << std::hex << floatBits(input)
                                         << ": ours 0x" << ours << ", Imath 0x" << imath;
}

}  // namespace

TEST(Half, EveryPatternToFloatMatchesImath) {
    for (std::uint32_t b = 0; b < 65536u; ++b) {
        const float ours = ixImage::half::fromBits(std::uint16_t(b));
        Imath::half reference;
        reference.setBits(std::uint16_t(b));
        const std::uint32_t theirs = floatBits(reference);
        // NaNs keep their sign and the ten half mantissa bits as the top ten of the float's.
        const std::uint32_t compared = isHalfNan(std::uint16_t(b)) ? 0xFFFFE000u : 0xFFFFFFFFu;
        ASSERT_EQ(floatBits(ours) & compared, theirs & compared) << "half 0x" << std::hex << b;
    }
}

TEST(Half, FloatToHalfMatchesImathOnASweepAndEveryRoundingBoundary) {
    // An odd stride visits every residue of the low bits the rounding looks at.
    for (std::uint64_t u = 0; u <= 0xFFFFFFFFull; u += 1021)
        ASSERT_TRUE(sameHalf(bitsToFloat(std::uint32_t(u))));
    // Between every pair of adjacent non-negative finite halves: the exact midpoint (a float:
    // halves have 11 significant bits, floats 24) and the floats just around it, both signs.
    // The last pair is 65504 and 65536, the first value that rounds to infinity.
    for (std::uint32_t h = 0; h < 0x7C00u; ++h) {
        const double lo = ixImage::half::fromBits(std::uint16_t(h)),
                     hi = h + 1 < 0x7C00u ? float(ixImage::half::fromBits(std::uint16_t(h + 1)))
                                          : 65536.f;
        const std::uint32_t m = floatBits(float((lo + hi) / 2.0));
        ASSERT_EQ(double(bitsToFloat(m)), (lo + hi) / 2.0)
            << "midpoint of half 0x" << std::hex << h;
        for (std::uint32_t u = m - 3; u != m + 4; ++u)
            for (std::uint32_t sign : {0u, 0x80000000u})
                ASSERT_TRUE(sameHalf(bitsToFloat(u | sign)));
        ASSERT_EQ(ixImage::half(float(lo)).getBits(), h);  // the halves themselves are exact
    }
}

TEST(Half, ArithmeticRoundsBackAfterEveryOperation) {
    ixImage::half a(2048.0f);  // the spacing is 2 here, and ties go to even
    a += ixImage::half(1.0f);
    EXPECT_EQ(float(a), 2048.0f);
    a += ixImage::half(3.0f);
    EXPECT_EQ(float(a), 2052.0f);
    ixImage::half b(0.1f);
    b *= ixImage::half(10.0f);
    EXPECT_EQ(b.getBits(), Imath::half(float(ixImage::half(0.1f)) * 10.0f).bits());
}
