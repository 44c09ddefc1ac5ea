#include "iximage/sh/brdf_coeffs.h"

#include <memory>
#include <vector>

#include "iximage/interfaces/parallel_for.h"
#include "iximage/sh/sh_tables.h"

namespace ixImage {

namespace {

using Rgb = FloatPixel3<double>;

bool hasDims(const ixUtil::ArrayN<3, Rgb>& a, int d0, int d1, int d2) {
    return a.data() && a.getDim(0) == d0 && a.getDim(1) == d1 && a.getDim(2) == d2;
}

// Four orders q at a time, one per lane; each lane adds its own terms in k order, exactly as
// a scalar sum would.
typedef double QLanes __attribute__((vector_size(4 * sizeof(double))));
constexpr int kLanes = 4;

// cos(q phi_k) = phiCos[(q k) mod 200] for k = 0..199 and the orders q = 0..order, padded with
// zero lanes to whole vectors: [k][group].
struct AzimuthCosines {
    explicit AzimuthCosines(int orders) : groups((orders + kLanes - 1) / kLanes), orders(orders) {
        for (int k = 0; k < kShAzimuthCount; ++k)
            for (int g = 0; g < groups; ++g)
                for (int lane = 0; lane < kLanes; ++lane) {
                    const int q = g * kLanes + lane;
                    table[k][g][lane] = q < orders ? phiCos[(q * k) % kShAzimuthCount] : 0.0;
                }
    }
    int groups;
    int orders;
    // A plain array keeps the vector alignment (a std::vector would not guarantee it).
    QLanes table[kShAzimuthCount][(kShBands + kLanes - 1) / kLanes];
};

// T[q] = w sum_k cos(q phi_k) s[k] for the 200 azimuth samples s of one (i, j).
void projectAzimuth(const Rgb* s, const AzimuthCosines& cosines, double w, Rgb* T) {
    for (int g = 0; g < cosines.groups; ++g) {
        QLanes r = {}, gr = {}, b = {};
        for (int k = 0; k < kShAzimuthCount; ++k) {
            const QLanes c = cosines.table[k][g];
            r += c * s[k].red;
            gr += c * s[k].green;
            b += c * s[k].blue;
        }
        for (int lane = 0; lane < kLanes && g * kLanes + lane < cosines.orders; ++lane)
            T[g * kLanes + lane] = Rgb(r[lane] * w, gr[lane] * w, b[lane] * w);
    }
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
