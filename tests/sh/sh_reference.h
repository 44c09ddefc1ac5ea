// Plain reference evaluations shared by the spherical-harmonic tests.
#pragma once

#include <cmath>
#include <random>
#include <vector>

#include "iximage/sh/generator/sh_rotation_math.h"
#include "support/test_math.h"

namespace shTest {

using ixTest::kPi;
constexpr double kStep = kPi / 100.0;

// Pbar(l,m)(cos theta_i) on the 100-angle polar grid by the generator's recurrence, which is
// independent of the library's tables; computed once.
inline double referenceLegendreAtGrid(int l, int m, int i) {
    static const std::vector<double> table = [] {
        std::vector<double> t(100 * 21 * 21);
        for (int k = 0; k < 100; ++k)
            ixShRotation::normalisedLegendre(20, std::cos(k * kStep), std::sin(k * kStep),
                                             &t[k * 21 * 21]);
        return t;
    }();
    return table[(i * 21 + l) * 21 + m];
}

// All 441 exact real harmonics at (theta, phi).
inline std::vector<double> referenceHarmonics(double theta, double phi) {
    std::vector<double> Y(441);
    ixShRotation::realHarmonics(20, std::sin(theta) * std::cos(phi),
                                std::sin(theta) * std::sin(phi), std::cos(theta), Y.data());
    return Y;
}

inline int shIndex(int l, int m) { return l * l + l + m; }

// Deterministic RGB values in [-1, 1] for count entries from first.
template <class Rgb>
void fillRandom(Rgb* first, int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int i = 0; i < count; ++i) first[i] = Rgb(uniform(rng), uniform(rng), uniform(rng));
}

// Channel c (0 red, 1 green, 2 blue) of an RGB pixel.
template <class Rgb>
double channel(const Rgb& p, int c) {
    return c == 0 ? p.red : (c == 1 ? p.green : p.blue);
}

}  // namespace shTest
