#include "iximage/sh/reflection_map.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "iximage/interfaces/checkpoint.h"
#include "iximage/sh/detail/sh_tables.h"
#include "iximage/sh/rotation_matrices.h"

namespace ixImage {

namespace {

constexpr int kMaxLightBand = 20;
constexpr int kViewBands = 10;    // view bands p = 0..10, the order of a reflection-map pixel
constexpr int kOrderOffset = 20;  // orders m, q = -20..20 sit at index m + 20
constexpr int kOrders = 2 * kOrderOffset + 1;
constexpr int kMapWidth = 200;   // azimuth grid: phi_x = x * 2 pi / 200
constexpr int kMapHeight = 100;  // polar grid: theta_y = y * pi / 100

using Rgb = FloatPixel3<double>;

// a += b * s, channel by channel.
inline void addScaled(Rgb& a, const Rgb& b, double s) {
    a.red += b.red * s;
    a.green += b.green * s;
    a.blue += b.blue * s;
}

// The azimuth sum of a row, sum_mu A_mu cos(mu phi_x) + S_mu sin(mu phi_x) over the 200
// columns, taken from the first quarter turn only. With phi_x = 2 pi x / 200, the columns
// x + 100, 200 - x and 100 - x sit at phi + pi, -phi and pi - phi, where
//   cos(mu (phi + pi)) = (-1)^mu cos(mu phi),    sin(mu (phi + pi)) = (-1)^mu sin(mu phi),
//   cos(-mu phi) = cos(mu phi),                   sin(-mu phi) = -sin(mu phi),
// so four partial sums over x = 0..50 (cosine and sine parts, even and odd mu) give every
// column by additions and subtractions: a quarter of the multiplications of the direct sum.
// The terms are therefore added in a different order than column by column, mu ascending;
// the difference is rounding (the tests compare with the direct per-pixel formula).
constexpr int kQuarter = kMapWidth / 4;  // columns 0..50 hold the partial sums

struct AzimuthRows {
    // cos(mu phi_x), sin(mu phi_x) for x = 0..50, from the SH tables at index (mu x) mod 200.
    double cosine[kMaxLightBand + 1][kQuarter + 1];
    double sine[kMaxLightBand + 1][kQuarter + 1];

    AzimuthRows() {
        for (int mu = 0; mu <= kMaxLightBand; ++mu)
            for (int x = 0; x <= kQuarter; ++x) {
                const int k = (mu * x) % kMapWidth;
                cosine[mu][x] = phiCos[k];
                sine[mu][x] = phiSin[k];
            }
    }
};

// Partial sums of one channel over the first quarter turn.
struct QuarterSums {
    double cosEven[kQuarter + 1], cosOdd[kQuarter + 1];
    double sinEven[kQuarter + 1], sinOdd[kQuarter + 1];

    void clear() {
        for (int x = 0; x <= kQuarter; ++x) cosEven[x] = cosOdd[x] = sinEven[x] = sinOdd[x] = 0.0;
    }
    void add(int mu, double a, double s, const AzimuthRows& azimuth) {
        double* cosPart = (mu & 1) ? cosOdd : cosEven;
        double* sinPart = (mu & 1) ? sinOdd : sinEven;
        const double* cosRow = azimuth.cosine[mu];
        const double* sinRow = azimuth.sine[mu];
        for (int x = 0; x <= kQuarter; ++x) {
            cosPart[x] += a * cosRow[x];
            sinPart[x] += s * sinRow[x];
        }
    }
    // The sums at all 200 columns.
    void expand(double* column) const {
        for (int x = 0; x <= kQuarter; ++x) {
            const double ce = cosEven[x], co = cosOdd[x], se = sinEven[x], so = sinOdd[x];
            column[x] = (ce + co) + (se + so);                 // phi_x
            column[2 * kQuarter + x] = (ce - co) + (se - so);  // phi_x + pi
            if (x > 0 && x < kQuarter) {
                column[2 * kQuarter - x] = (ce - co) - (se - so);  // pi - phi_x
                column[kMapWidth - x] = (ce + co) - (se + so);     // -phi_x
            }
        }
    }
};

// One row's rotation elements D^l_{m,q}(theta_y) for the orders q = -10..10 that the view
// bands use, indexed [q + 10][l][m + 20].
constexpr int kRotationScratch = (2 * kViewBands + 1) * (kMaxLightBand + 1) * kOrders;
inline int rotationScratchIndex(int q, int l, int m) {
    return ((q + kViewBands) * (kMaxLightBand + 1) + l) * kOrders + (m + kOrderOffset);
}

// Rows are processed in chunks of kRowChunk: each product entry is loaded once per chunk
// instead of once per row (the packed product, about 1.2 MB, does not stay in a core's
// cache), and the chunk's rotation elements come from shared cache lines, since the matrix
// block keeps the polar sample innermost.
constexpr int kRowChunk = 4;

// Gathers the rotation elements of rows firstRow .. firstRow + rowCount - 1 into
// rot[k * kRotationScratch + rotationScratchIndex(q, l, m)], k the row within the chunk.
void gatherRotations(const double* matrices, int L, int firstRow, int rowCount, double* rot) {
    const int qMax = std::min(L, kViewBands);
    for (int q = -qMax; q <= qMax; ++q)
        for (int l = std::abs(q); l <= L; ++l)
            for (int m = -l; m <= l; ++m) {
                const double* samples = matrices + rotationMatrixIndex(l, m, q, firstRow);
                const int at = rotationScratchIndex(q, l, m);
                for (int k = 0; k < rowCount; ++k) rot[k * kRotationScratch + at] = samples[k];
            }
}

// The product entries that the rows read, in the order they read them: p, then q = -p..p,
// then l = |q|..L, then m = -l..l. In the product's own layout consecutive m lie 861
// elements apart; every row walks all of them, so each band of rows packs them once.
std::vector<Rgb> packProduct(const ReflectionProduct& product, int L) {
    std::vector<Rgb> packed;
    packed.reserve(static_cast<size_t>(kViewBands + 1) * (kViewBands + 1) * (L + 1) * (L + 1));
    for (int p = 0; p <= kViewBands; ++p)
        for (int q = -p; q <= p; ++q)
            for (int l = std::abs(q); l <= L; ++l)
                for (int m = -l; m <= l; ++m)
                    packed.push_back(product(l, m + kOrderOffset, p, q + kOrderOffset));
    return packed;
}

// A row of the map: every pixel of the row shares the polar angle theta_y, so the sum over
// the lighting bands and orders is done once per (p, q) and the azimuth phi_x enters only
// through cos(mu phi_x) and sin(mu phi_x). With D^l the real SH rotation by theta_y about +Y
// (rotation_matrices.h), the frame of pixel (x, y) is Rz(phi_x) Ry(theta_y), and its
// coefficient is
//   c_pq(theta_y, phi_x) = sum_mu A_mu cos(mu phi_x) + S_mu sin(mu phi_x),
//   A_|m| = sum_l sum_m Z[l][m][p][q] D^l_{m,q},
//   S_|m| = sum_l sum_m -sign(m) Z[l][m][p][q] D^l_{-m,q}   (sign(0) = +1),
// the real-harmonic form of exp(i m phi) D^l(theta).
//
// processRows does rows firstRow .. firstRow + rowCount - 1 (rowCount <= kRowChunk), with their
// rotation elements in rot as gatherRotations leaves them. Each row is computed exactly as it would
// be alone; the rows of a chunk only share the loads.
void processRows(const std::vector<Rgb>& packed, ShrmImage& image, int L, int firstRow,
                 int rowCount, const AzimuthRows& azimuth, const double* rot) {
    QuarterSums red, green, blue;
    double columns[3][kMapWidth];
    const Rgb* z = packed.data();
    for (int p = 0; p <= kViewBands; ++p) {
        for (int q = -p; q <= p; ++q) {
            Rgb A[kRowChunk][kMaxLightBand + 1] = {};
            Rgb S[kRowChunk][kMaxLightBand + 1] = {};
            for (int l = std::abs(q); l <= L; ++l) {
                const double* rotLq = rot + rotationScratchIndex(q, l, 0);
                for (int m = -l; m <= l; ++m, ++z) {
                    const double minusSigma = m < 0 ? 1.0 : -1.0;
                    const int mu = std::abs(m);
                    for (int k = 0; k < rowCount; ++k) {
                        const double r1 = rotLq[k * kRotationScratch + m];
                        const double r2 = rotLq[k * kRotationScratch - m];
                        addScaled(A[k][mu], *z, r1);
                        // (z * -sigma) * r2: the sign flip is exact, so the product is as
                        // written.
                        S[k][mu].red += z->red * minusSigma * r2;
                        S[k][mu].green += z->green * minusSigma * r2;
                        S[k][mu].blue += z->blue * minusSigma * r2;
                    }
                }
            }

            const int entry = p * p + p + q;
            for (int k = 0; k < rowCount; ++k) {
                red.clear();
                green.clear();
                blue.clear();
                for (int mu = 0; mu <= L; ++mu) {
                    red.add(mu, A[k][mu].red, S[k][mu].red, azimuth);
                    green.add(mu, A[k][mu].green, S[k][mu].green, azimuth);
                    blue.add(mu, A[k][mu].blue, S[k][mu].blue, azimuth);
                }
                red.expand(columns[0]);
                green.expand(columns[1]);
                blue.expand(columns[2]);
                ShrmPixel* pixels = image.data() + static_cast<size_t>(firstRow + k) * kMapWidth;
                for (int x = 0; x < kMapWidth; ++x) {
                    Rgb& c = pixels[x].coeffs[entry];
                    c.red += columns[0][x];
                    c.green += columns[1][x];
                    c.blue += columns[2][x];
                }
            }
        }
    }
}

}  // namespace

CreateSHRM::CreateSHRM(const ReflectionProduct* product, ShrmImage* image, int lightOrder,
                       const double* rotationMatrices)
    : product(product), image(image), lightOrder(lightOrder), rotationMatrices(rotationMatrices) {}

CreateSHRM::~CreateSHRM() = default;

void CreateSHRM::work(int index, int count) {
    if (!product || !image || !rotationMatrices || count < 1 || index < 0 || index >= count) return;
    // The azimuth tables and the rotation matrices only cover a 200-column, 100-row grid.
    if (image->getWidth() != kMapWidth || image->getHeight() > kMapHeight || !image->data()) return;

    const int rows = image->getHeight();
    const int base = rows / count;
    const int rem = rows % count;
    const int first = index * base + std::min(index, rem);
    const int last = (index + 1) * base + std::min(index + 1, rem);
    const int L = std::min(lightOrder, kMaxLightBand);
    if (first >= last || L < 0) return;

    const std::unique_ptr<AzimuthRows> azimuth(new AzimuthRows);
    std::vector<double> rotation(static_cast<size_t>(kRowChunk) * kRotationScratch);
    const std::vector<Rgb> packed = packProduct(*product, L);
    for (int y = first; y < last; y += kRowChunk) {
        const int rowCount = std::min(kRowChunk, last - y);
        gatherRotations(rotationMatrices, L, y, rowCount, rotation.data());
        processRows(packed, *image, L, y, rowCount, *azimuth, rotation.data());
    }
}

void computeReflectionCoeffs(const SphericalHarmonics<FloatPixel3<double>>& light,
                             const ixUtil::ArrayN<3, FloatPixel3<double>>& brdf, int lightOrder,
                             int /*brdfOrder*/, ShrmImage& shrm, ixUtil::Progress* progress) {
    const double* matrices = getRotationMatrices();
    if (!matrices) return;

    // Bands the inputs actually hold: the light's own order and the reflectance's first
    // dimension bound l; the view bands need p, q <= 10 in the reflectance array.
    const int L = std::min({lightOrder, kMaxLightBand, light.getOrder(), brdf.getDim(0) - 1});
    if (brdf.getDim(1) <= kViewBands || brdf.getDim(2) <= kViewBands) return;

    ReflectionProduct Z({kMaxLightBand + 1, kOrders, kMaxLightBand + 1, kOrders});
    Z.clear();
    checkpoint(nullptr);

    // Convolution: Z[l][m][p][+-q] = f a_lm B[l][p][q]. B is orthonormal in the azimuth
    // difference phi_i - phi_o; splitting its normalised cos(q (phi_i - phi_o)) / sqrt(pi)
    // into products of normalised functions of phi_i and of phi_o (the azimuthal parts of
    // the light's and the view's real harmonics) leaves the factor f = sqrt(pi), and
    // sqrt(2 pi) for q = 0, whose normalised constant is 1 / sqrt(2 pi).
    const double pi = 3.141592653589793;
    for (int l = 0; l <= L; ++l)
        for (int p = 0; p <= kViewBands; ++p)
            for (int q = 0; q <= std::min(l, p); ++q) {
                double f = std::sqrt(pi);
                if (q == 0) f *= std::sqrt(2.0);
                const Rgb& b = brdf(l, p, q);
                for (int m = -l; m <= l; ++m) {
                    const Rgb& a = light.at(l, m);
                    const Rgb v(f * a.red * b.red, f * a.green * b.green, f * a.blue * b.blue);
                    Z(l, m + kOrderOffset, p, q + kOrderOffset) = v;
                    Z(l, m + kOrderOffset, p, kOrderOffset - q) = v;
                }
            }
    checkpoint("convolution");
    if (progress) progress->set(0.5);

    shrm.setSize(kMapWidth, kMapHeight);
    {
        CreateSHRM alg(&Z, &shrm, L, matrices);
        ixUtil::ThreadPool::get().run(alg);
    }

    if (progress) progress->set(0.75);
    checkpoint("create shrm");
    // The map is already in its final, unwarped form; this stage only reports.
    if (progress) progress->set(0.9);
    checkpoint("warped shrm");
}

}  // namespace ixImage
