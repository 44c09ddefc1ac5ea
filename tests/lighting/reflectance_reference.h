// Plain reference formulas of the microfacet and half-vector models for the tests, written from
// the textbook forms (the GGX masking through Lambda, not the library's folded visibility), and
// a measured-format table sampled from one of them.
#pragma once

#include <cmath>
#include <vector>

#include "iximage/interfaces/pixel_types.h"

namespace ixTest {

// f(wi, wo) cos(theta_i) of GGX with Smith height-correlated masking and Schlick Fresnel.
inline double ggxCos(double alpha, double f0, const double* wi, const double* wo) {
    if (wi[2] <= 0.0 || wo[2] <= 0.0) return 0.0;
    const double pi = 3.141592653589793, a2 = alpha * alpha;
    double h[3] = {wi[0] + wo[0], wi[1] + wo[1], wi[2] + wo[2]};
    const double len = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
    const double cosH = h[2] / len, cosD = (wi[0] * h[0] + wi[1] * h[1] + wi[2] * h[2]) / len;
    const double tan2H = (1.0 - cosH * cosH) / (cosH * cosH);
    const double D = 1.0 / (pi * a2 * std::pow(cosH, 4.0) * std::pow(1.0 + tan2H / a2, 2.0));
    auto lambda = [a2](double c) {
        return (std::sqrt(1.0 + a2 * (1.0 - c * c) / (c * c)) - 1) / 2;
    };
    const double G = 1.0 / (1.0 + lambda(wi[2]) + lambda(wo[2]));
    const double F = f0 + (1.0 - f0) * std::pow(1.0 - cosD, 5.0);
    return D * G * F / (4.0 * wo[2]);
}

inline double blinnPhongCos(double n, const double* wi, const double* wo) {
    if (wi[2] <= 0.0 || wo[2] <= 0.0) return 0.0;
    const double h[3] = {wi[0] + wo[0], wi[1] + wo[1], wi[2] + wo[2]};
    const double cosH = h[2] / std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
    return (n + 8.0) / (8.0 * 3.141592653589793) * std::pow(cosH, n) * wi[2];
}

// Channel tints of the synthetic measured table: the file's channels differ on purpose.
constexpr double kTableTint[3] = {1.0, 0.6, 0.3};

// Stored values (file layout and units: red, green, blue blocks, times 1500 / channel factor,
// -1 where a direction is below the surface) of tint_c x GGX(alpha, f0) at the cell angles
// theta_h = (ih / 90)^2 pi / 2, theta_d = id pi / 180, phi_d = ip pi / 180.
inline std::vector<double> ggxTable(double alpha, double f0) {
    const double pi = 3.141592653589793, scale[3] = {1500.0, 1500.0 / 1.15, 1500.0 / 1.66};
    const int cells = 90 * 90 * 180;
    std::vector<double> stored(3 * size_t(cells));
    for (int ih = 0; ih < 90; ++ih)
        for (int id = 0; id < 90; ++id)
            for (int ip = 0; ip < 180; ++ip) {
                const double th = (ih / 90.0) * (ih / 90.0) * pi / 2, td = id * pi / 180,
                             pd = ip * pi / 180;
                // d in the half-vector frame, then turned by theta_h about Y (phi_h = 0);
                // wo is d mirrored about the half vector.
                const double d[3] = {std::sin(td) * std::cos(pd), std::sin(td) * std::sin(pd),
                                     std::cos(td)};
                const double wi[3] = {d[0] * std::cos(th) + d[2] * std::sin(th), d[1],
                                      -d[0] * std::sin(th) + d[2] * std::cos(th)};
                const double wo[3] = {-d[0] * std::cos(th) + d[2] * std::sin(th), -d[1],
                                      d[0] * std::sin(th) + d[2] * std::cos(th)};
                const double f = wi[2] > 0 && wo[2] > 0 ? ggxCos(alpha, f0, wi, wo) / wi[2] : -1;
                const size_t cell = size_t(ip + 180 * (id + 90 * ih));
                for (int c = 0; c < 3; ++c)
                    stored[size_t(c) * cells + cell] = f < 0 ? -1.0 : f * kTableTint[c] * scale[c];
            }
    return stored;
}

}  // namespace ixTest
