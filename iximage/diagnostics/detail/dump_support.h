// Helpers shared by the diagnostic dumps (internal to the library).
#pragma once

#include <cmath>
#include <cstdio>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/constants.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/sh/detail/sh_tables.h"

namespace ixImage {
namespace dumps {

constexpr int kMapWidth = kShGridWidth;
constexpr int kMapHeight = kShGridHeight;
constexpr int kMapBands = kShMaxViewBand + 1;  // p = 0..10, the bands of an SHRM pixel
constexpr int kMapCoeffs = kMapBands * kMapBands;

inline bool isReflectionMap(const ShrmImage& shrm) {
    return shrm.getWidth() == kMapWidth && shrm.getHeight() == kMapHeight && shrm.data() != nullptr;
}

// trunc(min(max(v, 0), 255)); NaN counts as 0 so the conversion is always defined.
inline unsigned char toByte(double v) {
    if (!(v > 0.0)) return 0;
    if (v > 255.0) return 255;
    return static_cast<unsigned char>(v);
}

inline void writeHeader(std::FILE* file, int width, int height) {
    std::fprintf(file, "P6\n%d %d\n255\n", width, height);
}

// Polar and azimuth of a direction: theta = acos(z clamped), phi = atan2(y, x) in [0, 2 pi).
inline void directionAngles(double x, double y, double z, double& theta, double& phi) {
    theta = std::acos(std::fmin(std::fmax(z, -1.0), 1.0));
    phi = std::atan2(y, x);
    if (phi < 0.0) phi += 2.0 * kPi;
}

// Y(p, q) at the view direction's grid position (t, s), entry p^2 + p + q. Evaluated once per
// dump: every pixel of a picture is seen from the same d.
struct ViewHarmonics {
    double y[kMapCoeffs];
    ViewHarmonics(double t, double s) {
        setupSphericalHarmonicTables();
        for (int p = 0; p < kMapBands; ++p)
            for (int q = -p; q <= p; ++q) y[p * p + p + q] = realHarmonicAt(p, q, t, s);
    }
};

// The view's grid position as the sphere views and the specular evaluation take it: t clamped
// to [0, 98.9999], s to [0, 198.9999].
inline void clampedViewPosition(const double* d, double& t, double& s) {
    double theta, phi;
    directionAngles(d[0], d[1], d[2], theta, phi);
    t = std::fmin(std::fmax(theta / kPi * 100.0, 0.0), 98.9999);
    s = std::fmin(std::fmax(phi / (2.0 * kPi) * 200.0, 0.0), 198.9999);
}

// The view's grid position with only the upper ends pulled in (t above 99, s above 199).
inline void cappedViewPosition(const double* d, double& t, double& s) {
    double theta, phi;
    directionAngles(d[0], d[1], d[2], theta, phi);
    t = theta / kPi * 100.0;
    s = phi / (2.0 * kPi) * 200.0;
    if (t > 99.0) t = 98.9999;
    if (s > 199.0) s = 198.9999;
}

// Bilinear read of every coefficient of bands 0..maxBand at (row a, column b), a in [0, 99],
// b in [0, 199]. Taps past the last row or column carry weight 0 there and are not read.
inline void bilinearCoefficients(const ShrmImage& shrm, double a, double b, int maxBand,
                                 FloatPixel3<double>* out) {
    const int a0 = static_cast<int>(a), b0 = static_cast<int>(b);
    const double fa = a - a0, fb = b - b0;
    const int count = (maxBand + 1) * (maxBand + 1);
    for (int k = 0; k < count; ++k) out[k] = FloatPixel3<double>{0.0, 0.0, 0.0};
    const struct {
        int row, column;
        double weight;
    } taps[4] = {{a0, b0, (1.0 - fa) * (1.0 - fb)},
                 {a0 + 1, b0, fa * (1.0 - fb)},
                 {a0, b0 + 1, (1.0 - fa) * fb},
                 {a0 + 1, b0 + 1, fa * fb}};
    for (const auto& tap : taps) {
        if (tap.row >= kMapHeight || tap.column >= kMapWidth) continue;
        const ShrmPixel& pixel = shrm.data()[tap.row * kMapWidth + tap.column];
        for (int k = 0; k < count; ++k) {
            out[k].red += tap.weight * pixel.coeffs[k].red;
            out[k].green += tap.weight * pixel.coeffs[k].green;
            out[k].blue += tap.weight * pixel.coeffs[k].blue;
        }
    }
}

}  // namespace dumps
}  // namespace ixImage
