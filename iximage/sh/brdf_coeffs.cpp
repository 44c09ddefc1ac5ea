#include "iximage/sh/brdf_coeffs.h"

#include <vector>

#include "iximage/sh/detail/sh_tables.h"

namespace ixImage {

namespace {

using Rgb = FloatPixel3<double>;

bool hasDims(const ixUtil::ArrayN<3, Rgb>& a, int d0, int d1, int d2) {
    return a.data() && a.getDim(0) == d0 && a.getDim(1) == d1 && a.getDim(2) == d2;
}

}  // namespace

void computeBrdfCoeffs(const ixUtil::ArrayN<3, Rgb>& samples, ixUtil::ArrayN<3, Rgb>& coeffs,
                       int order) {
    setupSphericalHarmonicTables();
    if (order < 0 || order > kShMaxBand) return;
    if (!hasDims(samples, kShPolarCount, kShPolarCount, kShAzimuthCount)) return;
    if (!hasDims(coeffs, kShBands, kShBands, kShBands)) return;

    const int orders = order + 1;
    // Azimuth projection T[i][j][q] = w sum_k cos(q phi_k) S[i][j][k], w = sqrt(pi) 2 pi / 200.
    // cos(q phi_k) is phiCos[(q k) mod 200]: q k phi_1 is the same angle modulo 2 pi.
    const double w = sqrtPi * 2.0 * 3.141592653589793 / 200.0;
    std::vector<Rgb> T(static_cast<size_t>(kShPolarCount) * kShPolarCount * orders);
    const Rgb* S = samples.data();
    for (int ij = 0; ij < kShPolarCount * kShPolarCount; ++ij) {
        const Rgb* s = S + static_cast<size_t>(ij) * kShAzimuthCount;
        for (int q = 0; q < orders; ++q) {
            double r = 0.0, g = 0.0, b = 0.0;
            int phase = 0;  // (q k) mod 200, advanced by q per step
            for (int k = 0; k < kShAzimuthCount; ++k) {
                const double c = phiCos[phase];
                r += c * s[k].red;
                g += c * s[k].green;
                b += c * s[k].blue;
                phase += q;
                if (phase >= kShAzimuthCount) phase -= kShAzimuthCount;
            }
            T[static_cast<size_t>(ij) * orders + q] = Rgb(r * w, g * w, b * w);
        }
    }

    // Polar sums, view band first (U over j), then the lighting band (over i).
    std::vector<Rgb> U(kShPolarCount);
    for (int q = 0; q <= order; ++q) {
        for (int p = q; p <= order; ++p) {
            for (int i = 0; i < kShPolarCount; ++i) {
                double r = 0.0, g = 0.0, b = 0.0;
                for (int j = 0; j < kShPolarCount; ++j) {
                    const double y = legendreReal(p, q, j) * thetaSin[j];
                    const Rgb& t = T[(static_cast<size_t>(i) * kShPolarCount + j) * orders + q];
                    r += y * t.red;
                    g += y * t.green;
                    b += y * t.blue;
                }
                U[i] = Rgb(r * kShGridStep, g * kShGridStep, b * kShGridStep);
            }
            for (int l = q; l <= kShMaxBand; ++l) {
                double r = 0.0, g = 0.0, b = 0.0;
                for (int i = 0; i < kShPolarCount; ++i) {
                    const double y = legendreReal(l, q, i) * thetaSin[i];
                    r += y * U[i].red;
                    g += y * U[i].green;
                    b += y * U[i].blue;
                }
                // The q = 0 terms get the exact sqrt 2 the q > 0 terms carry via the lookups.
                if (q > 0)
                    coeffs(l, p, q) = Rgb(r * kShGridStep, g * kShGridStep, b * kShGridStep);
                else
                    coeffs(l, p, q) = Rgb(r * sqrt2 * kShGridStep, g * sqrt2 * kShGridStep,
                                          b * sqrt2 * kShGridStep);
            }
        }
    }
}

}  // namespace ixImage
