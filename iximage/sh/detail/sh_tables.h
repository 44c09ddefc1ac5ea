// Process-wide spherical-harmonic tables and the lookups that read them.
//
// Resolution: bands l = 0..20, a polar grid theta_i = i * pi / 100 (i = 0..99, starting at the
// pole, pi itself not sampled) and an azimuth grid phi_j = j * pi / 100 (j = 0..199).
// A direction (theta, phi) is (sin theta cos phi, sin theta sin phi, cos theta).
//
// Basis. legendreTable[l][m][i] holds Pbar(l,m)(cos theta_i) for 0 <= m <= l, the associated
// Legendre function normalised so that Pbar(l,m)(cos theta) e^{i m phi} is an orthonormal
// complex spherical harmonic, Condon-Shortley phase included. The real harmonics of the library
// are Y(l,0) = Pbar(l,0), Y(l,m) = s Pbar(l,m) cos(m phi) and Y(l,-m) = s Pbar(l,m) sin(m phi)
// for m > 0, where the lookups use s = 1.4142136 (a decimal literal shared by every pass that
// evaluates harmonics, so the lookups are orthonormal to about 1e-8, not exactly).
//
// Lifetime and threads: the tables are zero until setupSphericalHarmonicTables() first runs,
// are built exactly once (std::call_once, so concurrent first calls wait for the one build)
// and never released. The arrays are internal to the library and not exported; code outside
// it reads them through sphericalHarmonicTables(). The lookups are inline and contain no
// trigonometric calls: inner loops over 200 x 100 directions use them freely.
#pragma once

#include <cstdlib>

#include "iximage/interfaces/constants.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

constexpr int kShBands = kShMaxLightBand + 1;  // bands l = 0..20
constexpr int kShMaxBand = kShMaxLightBand;
constexpr int kShPolarCount = kShGridHeight;         // theta_i, i = 0..99
constexpr int kShAzimuthCount = kShGridWidth;        // phi_j, j = 0..199
constexpr int kShOrders = 41;                        // m = -20..20, stored at m + 20
constexpr double kShGridStep = kPi / kShGridHeight;  // pi / 100, the step of both grids

// The factor of the real harmonics with m != 0, as the lookups carry it.
constexpr double kRealHarmonicFactor = 1.4142136;

using LegendreTable = double[kShBands][kShBands][kShPolarCount];
using AzimuthTable = double[kShAzimuthCount][kShOrders][2];

extern double thetaCos[kShPolarCount];
extern double thetaSin[kShPolarCount];
extern double phiCos[kShAzimuthCount];
extern double phiSin[kShAzimuthCount];
// [j][m + 20] = (cos m phi_j, sin m phi_j).
extern AzimuthTable azimuthTable;
// [l][m][i] = Pbar(l,m)(cos theta_i); entries with m > l stay 0.
extern LegendreTable legendreTable;

// sqrt(2.0) and sqrt(pi), computed when the library is loaded.
extern const double sqrt2;
extern const double sqrtPi;

// Builds the tables on the first call; later calls return at once.
IXIMAGE_API void setupSphericalHarmonicTables();

// Read-only access to the tables for code outside the library (tests, benchmarks).
struct ShTableView {
    const double (&thetaCos)[kShPolarCount];
    const double (&thetaSin)[kShPolarCount];
    const double (&phiCos)[kShAzimuthCount];
    const double (&phiSin)[kShAzimuthCount];
    const AzimuthTable& azimuth;
    const LegendreTable& legendre;
    bool built;  // whether setupSphericalHarmonicTables() has completed
};

// A view of the tables as they are now; it does not build them.
IXIMAGE_API ShTableView sphericalHarmonicTables();

// Fractional grid reading: index i = t truncated toward zero, f = t - i. A fraction below 1e-4
// reads entry i alone (so the last grid index never touches an entry past the end); otherwise
// the entries i and i + 1 are blended linearly. Callers keep t within the grid.
constexpr double kGridSnap = 0.0001;

// Each lookup reads the tables it is given; the overloads without them read the library's own
// (inside the library only). Code outside the library passes sphericalHarmonicTables() parts.

// Pbar(l,m) at theta_i for the complex harmonic of order m: Pbar(l,-m) = (-1)^m Pbar(l,m).
inline double legendreComplex(const LegendreTable& legendre, int l, int m, int i) {
    const int am = std::abs(m);
    const double p = legendre[l][am][i];
    return (m < 0 && (am & 1)) ? -p : p;
}

// The polar factor of the real harmonic Y(l,m) at theta_i.
inline double legendreReal(const LegendreTable& legendre, int l, int m, int i) {
    const double p = legendre[l][std::abs(m)][i];
    return m != 0 ? p * kRealHarmonicFactor : p;
}

// The polar factor of Y(l,m) at the fractional polar index t (0 <= t <= 99).
inline double legendreRealAt(const LegendreTable& legendre, int l, int m, double t) {
    const double* row = legendre[l][std::abs(m)];
    const int i = static_cast<int>(t);
    const double f = t - i;
    const double p = std::abs(f) < kGridSnap ? row[i] : (1.0 - f) * row[i] + f * row[i + 1];
    return m != 0 ? p * kRealHarmonicFactor : p;
}

// The azimuthal factor of Y(l,m) at the fractional azimuth index s (0 <= s <= 199):
// cos(m phi) for m >= 0, sin(|m| phi) for m < 0.
inline double azimuthAt(const AzimuthTable& azimuth, int m, double s) {
    const int column = 20 + std::abs(m);
    const int part = m >= 0 ? 0 : 1;
    const int j = static_cast<int>(s);
    const double f = s - j;
    if (std::abs(f) < kGridSnap) return azimuth[j][column][part];
    return (1.0 - f) * azimuth[j][column][part] + f * azimuth[j + 1][column][part];
}

// The real harmonic Y(l,m) at polar index t and azimuth index s.
inline double realHarmonicAt(const LegendreTable& legendre, const AzimuthTable& azimuth, int l,
                             int m, double t, double s) {
    return legendreRealAt(legendre, l, m, t) * azimuthAt(azimuth, m, s);
}

inline double legendreComplex(int l, int m, int i) {
    return legendreComplex(legendreTable, l, m, i);
}
inline double legendreReal(int l, int m, int i) { return legendreReal(legendreTable, l, m, i); }
inline double legendreRealAt(int l, int m, double t) {
    return legendreRealAt(legendreTable, l, m, t);
}
inline double azimuthAt(int m, double s) { return azimuthAt(azimuthTable, m, s); }
inline double realHarmonicAt(int l, int m, double t, double s) {
    return realHarmonicAt(legendreTable, azimuthTable, l, m, t, s);
}

}  // namespace ixImage
