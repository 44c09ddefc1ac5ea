#include "iximage/sh/brdf_coeffs.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "iximage/interfaces/constants.h"
#include "iximage/interfaces/detail/parallel_for.h"
#include "iximage/sh/detail/profile_brdf_coeffs.h"
#include "iximage/sh/detail/sh_tables.h"

namespace ixImage {

namespace {

using Rgb = FloatPixel3<double>;

bool hasDims(const ixUtil::ArrayN<3, Rgb>& a, int d0, int d1, int d2) {
    return a.data() && a.getDim(0) == d0 && a.getDim(1) == d1 && a.getDim(2) == d2;
}

// Four orders q at a time, one per lane.
typedef double QLanes __attribute__((vector_size(4 * sizeof(double))));
constexpr int kLanes = 4;
constexpr int kHalfTurn = kShAzimuthCount / 2;     // k = 100: phi = pi
constexpr int kQuarterTurn = kShAzimuthCount / 4;  // k = 50: phi = pi / 2

// cos(q phi_k) = phiCos[(q k) mod 200] for k = 0..50 and the orders q = 0..order, padded with
// zero lanes to whole vectors: [k][group].
struct AzimuthCosines {
    explicit AzimuthCosines(int orders) : groups((orders + kLanes - 1) / kLanes), orders(orders) {
        for (int k = 0; k <= kQuarterTurn; ++k)
            for (int g = 0; g < groups; ++g)
                for (int lane = 0; lane < kLanes; ++lane) {
                    const int q = g * kLanes + lane;
                    table[k][g][lane] = q < orders ? phiCos[(q * k) % kShAzimuthCount] : 0.0;
                }
    }
    int groups;
    int orders;
    // A plain array keeps the vector alignment (a std::vector would not guarantee it).
    QLanes table[kQuarterTurn + 1][(kShBands + kLanes - 1) / kLanes];
};

// T[q] = w sum_k cos(q phi_k) s[k] for the 200 azimuth samples s of one (i, j), folded onto the
// first quarter turn. With phi_k = k pi / 100 the cosine is even about k = 0 and k = 100,
// cos(q phi_{200-k}) = cos(q phi_k), and cos(q phi_{100-k}) = (-1)^q cos(q phi_k), so with
//   s'_k = s_k + s_{200-k},  E_k = s'_k + s'_{100-k},  O_k = s'_k - s'_{100-k}   (k = 1..49)
// the sum is
//   s_0 + (-1)^q s_100 + sum_{k=1..49} cos(q phi_k) (E_k for even q, O_k for odd q)
//       + cos(q phi_50) s'_50,
// a quarter of the multiplications of the direct sum. The terms are added in that order, so
// the result differs from the direct k = 0..199 sum by rounding only (the tests compare the
// two). The lanes of a vector hold q = 4g .. 4g + 3, even, odd, even, odd: the folded samples
// are laid out the same way.
void projectAzimuth(const Rgb* s, const AzimuthCosines& cosines, double w, Rgb* T) {
    QLanes folded[kQuarterTurn][3];  // [k][channel] = (E_k, O_k, E_k, O_k), k = 1..49
    auto fold = [s](int k, double Rgb::*channel) {
        return s[k].*channel + s[kShAzimuthCount - k].*channel;
    };
    double Rgb::*const channels[3] = {&Rgb::red, &Rgb::green, &Rgb::blue};
    for (int k = 1; k < kQuarterTurn; ++k)
        for (int c = 0; c < 3; ++c) {
            const double here = fold(k, channels[c]), mirror = fold(kHalfTurn - k, channels[c]);
            const double even = here + mirror, odd = here - mirror;
            folded[k][c] = QLanes{even, odd, even, odd};
        }
    const QLanes alternating = {1.0, -1.0, 1.0, -1.0};
    for (int g = 0; g < cosines.groups; ++g) {
        QLanes sum[3];
        for (int c = 0; c < 3; ++c)
            sum[c] = s[0].*channels[c] + alternating * s[kHalfTurn].*channels[c];
        for (int k = 1; k < kQuarterTurn; ++k) {
            const QLanes cosine = cosines.table[k][g];
            sum[0] += cosine * folded[k][0];
            sum[1] += cosine * folded[k][1];
            sum[2] += cosine * folded[k][2];
        }
        const QLanes cosine = cosines.table[kQuarterTurn][g];
        for (int c = 0; c < 3; ++c) sum[c] += cosine * fold(kQuarterTurn, channels[c]);
        for (int lane = 0; lane < kLanes && g * kLanes + lane < cosines.orders; ++lane)
            T[g * kLanes + lane] = Rgb(sum[0][lane] * w, sum[1][lane] * w, sum[2][lane] * w);
    }
}

// The polar sums of the projection, view band first (U over j), then the lighting band (over
// i), from the azimuth projection T(i, j, q) of whichever sample layout the caller has.
template <class AzimuthProjection>
void projectPolar(const AzimuthProjection& T, ixUtil::ArrayN<3, Rgb>& coeffs, int order) {
    std::vector<Rgb> U(kShPolarCount);
    for (int q = 0; q <= order; ++q) {
        for (int p = q; p <= order; ++p) {
            for (int i = 0; i < kShPolarCount; ++i) {
                double r = 0.0, g = 0.0, b = 0.0;
                for (int j = 0; j < kShPolarCount; ++j) {
                    const double y = legendreReal(p, q, j) * thetaSin[j];
                    const Rgb& t = T(i, j, q);
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

// Weight of the azimuth projection: sqrt(pi) 2 pi / 200.
double azimuthWeight() {
    const double w = sqrtPi * 2.0 * kPi / 200.0;
    return w;
}

}  // namespace

void computeBrdfCoeffs(const ixUtil::ArrayN<3, Rgb>& samples, ixUtil::ArrayN<3, Rgb>& coeffs,
                       int order) {
    setupSphericalHarmonicTables();
    if (order < 0 || order > kShMaxBand) return;
    if (!hasDims(samples, kShPolarCount, kShPolarCount, kShAzimuthCount)) return;
    if (!hasDims(coeffs, kShBands, kShBands, kShBands)) return;

    const int orders = order + 1;
    // Azimuth projection T[i][j][q] = w sum_k cos(q phi_k) S[i][j][k].
    // cos(q phi_k) is phiCos[(q k) mod 200]: q k phi_1 is the same angle modulo 2 pi.
    const double w = azimuthWeight();
    std::vector<Rgb> T(static_cast<size_t>(kShPolarCount) * kShPolarCount * orders);
    const std::unique_ptr<AzimuthCosines> cosines(new AzimuthCosines(orders));
    const Rgb* S = samples.data();
    // The 48 MB of samples are read once, spread over the thread pool a few incident angles
    // at a time; each sum is the same whichever thread takes it.
    constexpr int kIncidentPerItem = 5;
    ixUtil::parallelFor(kShPolarCount / kIncidentPerItem, [&](int item) {
        const int first = item * kIncidentPerItem * kShPolarCount;
        const int last = first + kIncidentPerItem * kShPolarCount;
        for (int ij = first; ij < last; ++ij)
            projectAzimuth(S + static_cast<size_t>(ij) * kShAzimuthCount, *cosines, w,
                           &T[static_cast<size_t>(ij) * orders]);
    });
    projectPolar(
        [&T, orders](int i, int j, int q) -> const Rgb& {
            return T[(static_cast<size_t>(i) * kShPolarCount + j) * orders + q];
        },
        coeffs, order);
}

namespace detail {

void computeBrdfCoeffsOfProfile(const double* profile, ixUtil::ArrayN<3, Rgb>& coeffs, int order) {
    setupSphericalHarmonicTables();
    if (!profile || order < 0 || order > kShMaxBand) return;
    if (!hasDims(coeffs, kShBands, kShBands, kShBands)) return;

    // Every (i, j) row of the full array would hold 200 copies of profile[i], so its azimuth
    // projection is that of one such row, whatever j: 100 projections instead of 10,000, and the
    // very same sums, so the coefficients match computeBrdfCoeffs on the full array exactly.
    const int orders = order + 1;
    const std::unique_ptr<AzimuthCosines> cosines(new AzimuthCosines(orders));
    std::vector<Rgb> row(kShAzimuthCount);
    std::vector<Rgb> T(static_cast<size_t>(kShPolarCount) * orders);
    for (int i = 0; i < kShPolarCount; ++i) {
        std::fill(row.begin(), row.end(), Rgb(profile[i], profile[i], profile[i]));
        projectAzimuth(row.data(), *cosines, azimuthWeight(), &T[static_cast<size_t>(i) * orders]);
    }
    projectPolar(
        [&T, orders](int i, int, int q) -> const Rgb& {
            return T[static_cast<size_t>(i) * orders + q];
        },
        coeffs, order);
}

}  // namespace detail

}  // namespace ixImage
