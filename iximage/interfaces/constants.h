// Constants shared across the library: pi at the precisions the code uses it, and the sizes of
// the spherical-harmonic grid that the lighting pipeline works on.
//
// Each constant exists at one precision only. The double pi and its multiples are the doubles
// nearest to the real values (2 pi and pi / 2 are exact multiples of kPi). The geometry of the
// environment-map projections runs in single precision with the float nearest to pi,
// 3.1415927f, a little above the real pi; it is a different constant, not a rounding of kPi in
// passing.
//
// The SH grid: 200 azimuth samples phi_x = x * 2 pi / 200 by 100 polar samples
// theta_y = y * pi / 100 (starting at the pole), so a 200 x 100 latitude-longitude image lines up
// pixel for pixel with it. Light is expanded to band 20, view-dependent maps to band 10.
#pragma once

namespace ixImage {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
constexpr float kPiFloat = 3.1415927f;
constexpr float kTwoPiFloat = 2.0f * kPiFloat;  // 6.2831855f

static_assert(kTwoPi == 2.0 * kPi && kHalfPi == kPi / 2.0, "multiples of pi are exact");
static_assert(kTwoPiFloat == 6.2831855f, "the float 2 pi");

constexpr int kShGridWidth = 200;   // azimuth samples
constexpr int kShGridHeight = 100;  // polar samples
constexpr int kShMaxLightBand = 20;
constexpr int kShMaxViewBand = 10;

}  // namespace ixImage
