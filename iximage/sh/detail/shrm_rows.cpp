#include "iximage/sh/detail/shrm_rows.h"

#include "iximage/interfaces/large_buffer.h"
#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/detail/sh_tables.h"
#include "iximage/sh/rotation_matrices.h"

namespace ixImage {
namespace detail {

namespace {

using Rgb = FloatPixel3<double>;

// One value per row of the chunk. GCC and Clang lower the element-wise operators to the widest
// vectors the function is compiled for (two SSE2 registers or one AVX2 register); every lane
// is plain IEEE double arithmetic, so the lanes hold exactly what scalar code would compute.
typedef double Lanes __attribute__((vector_size(kShrmRowChunk * sizeof(double))));

// Per-thread scratch for the rotation elements of a chunk: every column q = -10..10 of every
// band, in the packed product's order (at most 21 x 441 terms of kShrmRowChunk rows).
constexpr int kMaxTerms =
    (2 * kShrmViewBands + 1) * (kShrmMaxLightBand + 1) * (kShrmMaxLightBand + 1);

// Whole-vector loads need the scratch aligned to the vector size: allocateBuffer aligns to
// 64 bytes (std::vector would not honour the vector type's alignment).
Lanes* rotationScratch() {
    struct Scratch {
        void* buffer = ixUtil::allocateBuffer(sizeof(Lanes) * kMaxTerms);
        ~Scratch() { ixUtil::freeBuffer(buffer); }
    };
    thread_local Scratch scratch;
    return static_cast<Lanes*>(scratch.buffer);
}

// Copies the rotation elements of the chunk's rows into scratch, walking the matrix block in
// its own order (band, row, column) so the reads stream; lanes past the last row stay zero.
[[gnu::always_inline]] inline void gatherRotations(const ShrmRowsInput& input, int firstRow,
                                                   int rowCount, Lanes* scratch) {
    const int L = input.lightOrder;
    for (int l = 0; l <= L; ++l)
        for (int m = -l; m <= l; ++m) {
            const int mu = std::abs(m);
            const int qMax = std::min(l, kShrmViewBands);
            for (int q = -qMax; q <= qMax; ++q) {
                const int absQ = std::abs(q);
                const int term = input.termOffset[q + kShrmViewBands][mu] +
                                 (l - std::max(mu, absQ)) * (mu > 0 ? 2 : 1) + (m > 0 ? 1 : 0);
                const double* samples =
                    input.rotationMatrices + rotationMatrixIndex(l, m, q, firstRow);
                // The columns of a row lie 800 bytes apart: fetch a few columns ahead.
                __builtin_prefetch(samples + 4 * kShPolarCount);
                double* lanes = reinterpret_cast<double*>(scratch + term);
                if (rowCount == kShrmRowChunk)
                    for (int k = 0; k < kShrmRowChunk; ++k) lanes[k] = samples[k];
                else
                    for (int k = 0; k < kShrmRowChunk; ++k)
                        lanes[k] = k < rowCount ? samples[k] : 0.0;
            }
        }
}

// The body of the kernel, inlined into each instruction-set build.
//
// For a row with polar angle theta_y and the coefficient (p, q) of its pixels (reflection_map.cpp
// derives the form):
//   c_pq(phi_x) = sum_mu A_mu cos(mu phi_x) + S_mu sin(mu phi_x),
//   A_mu = sum_l Z[l][-mu][p][q] D^l_{-mu,q} + Z[l][mu][p][q] D^l_{mu,q},
//   S_mu = sum_l Z[l][-mu][p][q] D^l_{mu,q} - Z[l][mu][p][q] D^l_{-mu,q},
// the two orders m = -mu, +mu of band l added in that order, bands ascending (mu = 0 adds
// +Z D to A_0 and -Z D to S_0). The azimuth sum is taken from the first quarter turn: with
// phi_x = 2 pi x / 200, the columns x + 100, 100 - x and 200 - x sit at phi + pi, pi - phi and
// -phi, where cos and sin of mu (phi + pi) carry (-1)^mu and sin(-mu phi) = -sin(mu phi), so
// four partial sums over x = 0..50 (cosine and sine parts, even and odd mu, each over mu
// ascending) give all 200 columns by additions and subtractions.
//
// Pixels are written p by p, q ascending, so consecutive coefficients of a pixel share cache
// lines.
[[gnu::always_inline]] inline void addShrmRowsBody(const ShrmRowsInput& input, ShrmPixel* image,
                                                   int firstRow, int rowCount) {
    const int L = input.lightOrder;
    const Lanes* rotation = rotationScratch();
    gatherRotations(input, firstRow, rowCount, rotationScratch());
    Lanes A[kShrmMaxLightBand + 1][3], S[kShrmMaxLightBand + 1][3];

    for (int p = 0; p <= kShrmViewBands; ++p)
        for (int q = -p; q <= p; ++q) {
            const int absQ = std::abs(q);
            const int section = q + kShrmViewBands;
            const Rgb* z = input.packed + input.packedOffset[section][p];
            // Lighting sums, one lane per row.
            const Lanes* r = rotation + input.termOffset[section][0];
            for (int mu = 0; mu <= L; ++mu) {
                Lanes ar = {}, ag = {}, ab = {}, sr = {}, sg = {}, sb = {};
                if (mu == 0) {
                    for (int l = absQ; l <= L; ++l, ++z) {
                        const Lanes d = *r++;
                        ar += z->red * d;
                        ag += z->green * d;
                        ab += z->blue * d;
                        sr += -z->red * d;
                        sg += -z->green * d;
                        sb += -z->blue * d;
                    }
                } else {
                    for (int l = std::max(mu, absQ); l <= L; ++l, z += 2, r += 2) {
                        const Lanes dMinus = r[0], dPlus = r[1];
                        const Rgb& zMinus = z[0];
                        const Rgb& zPlus = z[1];
                        ar += zMinus.red * dMinus;
                        ag += zMinus.green * dMinus;
                        ab += zMinus.blue * dMinus;
                        sr += zMinus.red * dPlus;
                        sg += zMinus.green * dPlus;
                        sb += zMinus.blue * dPlus;
                        ar += zPlus.red * dPlus;
                        ag += zPlus.green * dPlus;
                        ab += zPlus.blue * dPlus;
                        sr += -zPlus.red * dMinus;
                        sg += -zPlus.green * dMinus;
                        sb += -zPlus.blue * dMinus;
                    }
                }
                A[mu][0] = ar;
                A[mu][1] = ag;
                A[mu][2] = ab;
                S[mu][0] = sr;
                S[mu][1] = sg;
                S[mu][2] = sb;
            }

            // Azimuth sums from the quarter turn, then the four columns they give.
            const int entry = p * p + p + q;
            for (int x = 0; x <= kShrmQuarter; ++x) {
                const double* cosX = input.cosine[x];
                const double* sinX = input.sine[x];
                Lanes cer = {}, ceg = {}, ceb = {}, ser = {}, seg = {}, seb = {};
                for (int mu = 0; mu <= L; mu += 2) {
                    const double c = cosX[mu], s = sinX[mu];
                    cer += A[mu][0] * c;
                    ceg += A[mu][1] * c;
                    ceb += A[mu][2] * c;
                    ser += S[mu][0] * s;
                    seg += S[mu][1] * s;
                    seb += S[mu][2] * s;
                }
                Lanes cor = {}, cog = {}, cob = {}, sor = {}, sog = {}, sob = {};
                for (int mu = 1; mu <= L; mu += 2) {
                    const double c = cosX[mu], s = sinX[mu];
                    cor += A[mu][0] * c;
                    cog += A[mu][1] * c;
                    cob += A[mu][2] * c;
                    sor += S[mu][0] * s;
                    sog += S[mu][1] * s;
                    sob += S[mu][2] * s;
                }
                // Columns phi, phi + pi, pi - phi and -phi, channel by channel.
                const Lanes phiR = (cer + cor) + (ser + sor), phiG = (ceg + cog) + (seg + sog),
                            phiB = (ceb + cob) + (seb + sob);
                const Lanes plusPiR = (cer - cor) + (ser - sor),
                            plusPiG = (ceg - cog) + (seg - sog),
                            plusPiB = (ceb - cob) + (seb - sob);
                const Lanes piMinusR = (cer - cor) - (ser - sor),
                            piMinusG = (ceg - cog) - (seg - sog),
                            piMinusB = (ceb - cob) - (seb - sob);
                const Lanes minusR = (cer + cor) - (ser + sor), minusG = (ceg + cog) - (seg + sog),
                            minusB = (ceb + cob) - (seb + sob);
                const bool mirrored = x > 0 && x < kShrmQuarter;
                for (int k = 0; k < rowCount; ++k) {
                    ShrmPixel* row = image + static_cast<size_t>(firstRow + k) * kShrmWidth;
                    Rgb& atPhi = row[x].coeffs[entry];
                    atPhi.red += phiR[k];
                    atPhi.green += phiG[k];
                    atPhi.blue += phiB[k];
                    Rgb& atPlusPi = row[2 * kShrmQuarter + x].coeffs[entry];
                    atPlusPi.red += plusPiR[k];
                    atPlusPi.green += plusPiG[k];
                    atPlusPi.blue += plusPiB[k];
                    if (!mirrored) continue;
                    Rgb& atPiMinus = row[2 * kShrmQuarter - x].coeffs[entry];
                    atPiMinus.red += piMinusR[k];
                    atPiMinus.green += piMinusG[k];
                    atPiMinus.blue += piMinusB[k];
                    Rgb& atMinus = row[kShrmWidth - x].coeffs[entry];
                    atMinus.red += minusR[k];
                    atMinus.green += minusG[k];
                    atMinus.blue += minusB[k];
                }
            }
        }
}

}  // namespace

void setupShrmInput(ShrmRowsInput& input) {
    const int L = input.lightOrder;
    int packed = 0;
    int terms = 0;
    for (int q = -kShrmViewBands; q <= kShrmViewBands; ++q) {
        const int absQ = std::abs(q);
        int perP = 0;  // product entries of one (p, q): as many as rotation terms of column q
        for (int mu = 0; mu <= kShrmMaxLightBand; ++mu) {
            input.termOffset[q + kShrmViewBands][mu] = terms;
            if (mu > L) continue;
            const int count = std::max(0, L - std::max(mu, absQ) + 1) * (mu > 0 ? 2 : 1);
            terms += count;
            perP += count;
        }
        for (int p = 0; p <= kShrmViewBands; ++p) {
            input.packedOffset[q + kShrmViewBands][p] = packed;
            if (p >= absQ) packed += perP;
        }
    }

    // Through the exported view: this file is also compiled into its test, outside the library.
    const ShTableView tables = sphericalHarmonicTables();
    for (int x = 0; x <= kShrmQuarter; ++x)
        for (int mu = 0; mu <= kShrmMaxLightBand; ++mu) {
            const int k = (mu * x) % kShrmWidth;
            input.cosine[x][mu] = tables.phiCos[k];
            input.sine[x][mu] = tables.phiSin[k];
        }
}

void addShrmRowsPortable(const ShrmRowsInput& input, ShrmPixel* image, int firstRow, int rowCount) {
    addShrmRowsBody(input, image, firstRow, rowCount);
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same body with 256-bit vectors. No FMA: the products are rounded before they are added,
// exactly as in the portable build.
[[gnu::target("avx2")]] void addShrmRowsAvx2(const ShrmRowsInput& input, ShrmPixel* image,
                                             int firstRow, int rowCount) {
    addShrmRowsBody(input, image, firstRow, rowCount);
}

bool haveAvx2() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}
#else
void addShrmRowsAvx2(const ShrmRowsInput& input, ShrmPixel* image, int firstRow, int rowCount) {
    addShrmRowsBody(input, image, firstRow, rowCount);
}

bool haveAvx2() { return false; }
#endif

void addShrmRows(const ShrmRowsInput& input, ShrmPixel* image, int firstRow, int rowCount) {
    if (haveAvx2())
        addShrmRowsAvx2(input, image, firstRow, rowCount);
    else
        addShrmRowsPortable(input, image, firstRow, rowCount);
}

}  // namespace detail
}  // namespace ixImage
