#include "iximage/sh/detail/sh_tables.h"

#include <atomic>
#include <cmath>
#include <mutex>

#include "iximage/interfaces/constants.h"

namespace ixImage {

// Zero until the first set-up (static storage).
double thetaCos[kShPolarCount];
double thetaSin[kShPolarCount];
double phiCos[kShAzimuthCount];
double phiSin[kShAzimuthCount];
AzimuthTable azimuthTable;
LegendreTable legendreTable;

extern const double sqrt2 = std::sqrt(2.0);
extern const double sqrtPi = std::sqrt(kPi);

namespace {

// 4 pi as the sectoral start value uses it.
constexpr double kFourPi = 4.0 * kPi;  // 12.566370614359172, exact

// K(m) = (-1)^m sqrt((2m+1)/(4 pi) (2m-1)!! / (2m)!!) built as a running product, so that
// Pbar(m,m)(cos theta) = K(m) sin^m theta carries the Condon-Shortley phase.
double sectoralFactor(int m) {
    double kappa = std::sqrt((2 * m + 1) / kFourPi);
    for (int k = 1; k <= 2 * m - 1; k += 2)
        kappa = -kappa * std::sqrt(static_cast<double>(k) / (k + 1));
    return kappa;
}

// Set once the one build has completed (the view reports it).
std::atomic<bool> tablesBuilt{false};

void setupLegendre() {
    for (int m = 0; m <= kShMaxBand; ++m) {
        const double kappa = sectoralFactor(m);
        for (int i = 0; i < kShPolarCount; ++i) {
            const double x = thetaCos[i];
            // sin^0 is 1 also at the pole, where the sine is 0.
            double sinPower = 1.0;
            for (int e = 0; e < m; ++e) sinPower *= thetaSin[i];
            legendreTable[m][m][i] = kappa * sinPower;
            if (m == kShMaxBand) continue;

            // Pbar(m+1,m) = sqrt(2m+3) x Pbar(m,m), evaluated as (sqrt(2m+3)/(2m+1)) x (2m+1)
            // Pbar(m,m): that order fixes the last bit of every table entry built from it.
            const double twoMPlus1 = 2 * m + 1;
            legendreTable[m + 1][m][i] =
                std::sqrt(2.0 * m + 3.0) / twoMPlus1 * x * twoMPlus1 * legendreTable[m][m][i];

            // Three-term recurrence in l at fixed m:
            // (l-m) Pbar(l,m) = sqrt((2l-1)(2l+1)(l-m)/(l+m)) x Pbar(l-1,m)
            //                 - sqrt((2l+1)/(2l-3) (l-m)/(l+m) (l-m-1)(l+m-1)) Pbar(l-2,m).
            for (int l = m + 2; l <= kShMaxBand; ++l) {
                const double lm = l - m;
                const double lp = l + m;
                const double a = std::sqrt((2.0 * l - 1.0) * (2.0 * l + 1.0) * lm / lp);
                const double b = std::sqrt((2.0 * l + 1.0) / (2.0 * l - 3.0) * lm / lp *
                                           (lm - 1.0) * (lp - 1.0));
                legendreTable[l][m][i] =
                    (a * x * legendreTable[l - 1][m][i] - b * legendreTable[l - 2][m][i]) / lm;
            }
        }
    }
}

void buildTables() {
    for (int i = 0; i < kShPolarCount; ++i) {
        const double theta = i * kShGridStep;
        thetaCos[i] = std::cos(theta);
        thetaSin[i] = std::sin(theta);
    }
    for (int j = 0; j < kShAzimuthCount; ++j) {
        const double phi = j * kShGridStep;
        phiCos[j] = std::cos(phi);
        phiSin[j] = std::sin(phi);
        // Each entry straight from the product m phi_j (no angle-addition drift).
        for (int m = -kShMaxBand; m <= kShMaxBand; ++m) {
            azimuthTable[j][m + 20][0] = std::cos(m * phi);
            azimuthTable[j][m + 20][1] = std::sin(m * phi);
        }
    }
    setupLegendre();
    tablesBuilt.store(true, std::memory_order_release);
}

}  // namespace

void setupSphericalHarmonicTables() {
    static std::once_flag once;
    std::call_once(once, buildTables);
}

ShTableView sphericalHarmonicTables() {
    return {thetaCos,
            thetaSin,
            phiCos,
            phiSin,
            azimuthTable,
            legendreTable,
            tablesBuilt.load(std::memory_order_acquire)};
}

}  // namespace ixImage
