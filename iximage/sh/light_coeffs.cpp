#include "iximage/sh/light_coeffs.h"

#include <cmath>
#include <complex>
#include <vector>

#include "iximage/interfaces/constants.h"
#include "iximage/sh/detail/sh_tables.h"

namespace ixImage {

namespace {

using Complex = std::complex<double>;

// One complex value per colour channel.
struct ComplexRgb {
    Complex c[3];
};

}  // namespace

void computeLightCoeffs(const TypedImage<FloatPixel3<float>>& light,
                        SphericalHarmonics<FloatPixel3<double>>& coeffs) {
    setupSphericalHarmonicTables();
    const int W = light.getWidth();
    const int H = light.getHeight();
    // The polar sums read the tables by row number: exactly the 100 rows of the polar grid.
    if (!light.data() || W <= 0 || H != kShPolarCount || coeffs.getCount() < 441) return;

    // Azimuth transform F[m][y] = (2 pi / W) sum_c f(y, c) e^{-i m phi_c}. The phasor advances
    // by repeated multiplication with e^{-i d}, d = 2 pi m / W; the recurrence's rounding is part
    // of the published coefficients, so it is not replaced by a cos/sin per column.
    std::vector<ComplexRgb> F(static_cast<size_t>(kShOrders) * H);
    const double weight = kTwoPi / W;
    for (int m = -kShMaxBand; m <= kShMaxBand; ++m) {
        const double d = m * kTwoPi / W;
        const double cosD = std::cos(d);
        const double sinD = std::sin(d);
        for (int y = 0; y < H; ++y) {
            const FloatPixel3<float>* row = light.data() + static_cast<size_t>(y) * W;
            double re[3] = {0.0, 0.0, 0.0};
            double im[3] = {0.0, 0.0, 0.0};
            double zRe = 1.0;
            double zIm = 0.0;
            for (int c = 0; c < W; ++c) {
                const double f[3] = {row[c].red, row[c].green, row[c].blue};
                for (int ch = 0; ch < 3; ++ch) {
                    re[ch] += zRe * f[ch];
                    im[ch] += zIm * f[ch];
                }
                // z <- z (cos d - i sin d)
                const double nextRe = zRe * cosD + zIm * sinD;
                const double nextIm = zIm * cosD - zRe * sinD;
                zRe = nextRe;
                zIm = nextIm;
            }
            ComplexRgb& out = F[static_cast<size_t>(m + 20) * H + y];
            for (int ch = 0; ch < 3; ++ch) out.c[ch] = Complex(re[ch] * weight, im[ch] * weight);
        }
    }

    // Polar projection onto the complex harmonics:
    // c(l,m) = (pi / H) sum_y Pbar(l,m)(cos theta_y) sin theta_y F[m][y].
    std::vector<ComplexRgb> c(441);
    for (int l = 0; l <= kShMaxBand; ++l) {
        for (int m = -l; m <= l; ++m) {
            ComplexRgb sum{};
            for (int y = 0; y < H; ++y) {
                const double w = legendreComplex(l, m, y) * thetaSin[y];
                const ComplexRgb& f = F[static_cast<size_t>(m + 20) * H + y];
                for (int ch = 0; ch < 3; ++ch) sum.c[ch] += w * f.c[ch];
            }
            for (int ch = 0; ch < 3; ++ch) c[l * l + l + m].c[ch] = sum.c[ch] * (kPi / H);
        }
    }

    // Complex to real. With c(l,m) the projection on Pbar e^{+i m phi} (conjugated in F):
    // R(l,m)  = r (Re c(l,m) + (-1)^m Re c(l,-m)),
    // R(l,-m) = r ((-1)^m Im c(l,-m) - Im c(l,m)), r = 1 / sqrt 2; R(l,0) = Re c(l,0).
    const double r = 1.0 / std::sqrt(2.0);
    for (int l = 0; l <= kShMaxBand; ++l) {
        const int centre = l * l + l;
        double out[3][41];
        for (int ch = 0; ch < 3; ++ch) {
            out[ch][20] = c[centre].c[ch].real();
            for (int m = 1; m <= l; ++m) {
                const double sign = (m & 1) ? -1.0 : 1.0;
                const Complex& plus = c[centre + m].c[ch];
                const Complex& minus = c[centre - m].c[ch];
                out[ch][20 + m] = r * (plus.real() + sign * minus.real());
                out[ch][20 - m] = r * (sign * minus.imag() - plus.imag());
            }
        }
        for (int m = -l; m <= l; ++m)
            coeffs[centre + m] =
                FloatPixel3<double>(out[0][20 + m], out[1][20 + m], out[2][20 + m]);
    }
}

}  // namespace ixImage
