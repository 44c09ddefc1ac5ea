// Internal header of the library (not installed, not part of the public API): the row kernel of
// the SHRM rotation, shared by CreateSHRM and computeReflectionCoeffs.
//
// The kernel works on chunks of kShrmRowChunk consecutive rows at once, one row per vector lane:
// every pixel row has its own polar angle, and the rotation elements of consecutive polar
// samples sit next to each other in the matrix block, so the sums over lighting bands and
// orders run lane-parallel over rows with each product entry loaded once per chunk.
//
// The arithmetic of each row is exactly that of the per-row formula (same products, same order
// of additions, no fused multiply-add), whatever the vector width: the AVX2 and the portable
// builds of the kernel give bit-identical maps.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "iximage/interfaces/constants.h"
#include "iximage/interfaces/pixel_types.h"

namespace ixImage {
namespace detail {

constexpr int kShrmRowChunk = 4;                // rows per kernel call, one per vector lane
constexpr int kShrmViewBands = kShMaxViewBand;  // view bands p = 0..10 of an SHRM pixel
constexpr int kShrmMaxLightBand = kShMaxLightBand;
constexpr int kShrmWidth = kShGridWidth;  // azimuth grid phi_x = 2 pi x / 200
constexpr int kShrmQuarter = 50;          // columns 0..50 carry the quarter-turn partial sums

// The product entries in the order the kernel reads them: q = -10..10, p = |q|..10,
// mu = 0..L, l = max(mu, |q|)..L, and for each (l, mu) the orders m = -mu and m = +mu (m = 0
// once). entry(l, m, p, q) gives Z[l][m][p][q]. Packed once per build and shared by all rows:
// in the product's own layout consecutive m lie 861 elements apart.
template <class Entry>
std::vector<FloatPixel3<double>> packShrmProduct(int L, const Entry& entry) {
    std::vector<FloatPixel3<double>> packed;
    for (int q = -kShrmViewBands; q <= kShrmViewBands; ++q)
        for (int p = std::abs(q); p <= kShrmViewBands; ++p)
            for (int mu = 0; mu <= L; ++mu)
                for (int l = std::max(mu, std::abs(q)); l <= L; ++l) {
                    if (mu > 0) packed.push_back(entry(l, -mu, p, q));
                    packed.push_back(entry(l, mu, p, q));
                }
    return packed;
}

// Everything a kernel call reads; shared by all rows and threads of one build.
struct ShrmRowsInput {
    const FloatPixel3<double>* packed;  // packShrmProduct(L, ...)
    const double* rotationMatrices;     // the block of rotation_matrices.h
    int lightOrder;                     // L, 0..20
    // cos(mu phi_x) and sin(mu phi_x) for x = 0..50, mu = 0..20, from the SH tables at index
    // (mu x) mod 200: [x][mu].
    double cosine[kShrmQuarter + 1][kShrmMaxLightBand + 1];
    double sine[kShrmQuarter + 1][kShrmMaxLightBand + 1];
    // Where the entries of (p, q) start in packed: [q + 10][p] (p >= |q|).
    int packedOffset[2 * kShrmViewBands + 1][kShrmViewBands + 1];
    // Where the rotation terms of column q and order mu start in a chunk's scratch, in units of
    // kShrmRowChunk doubles: [q + 10][mu].
    int termOffset[2 * kShrmViewBands + 1][kShrmMaxLightBand + 1];
};

// Fills the azimuth tables (from the SH tables, which must be set up) and the offsets for
// input.lightOrder, which must be set first.
void setupShrmInput(ShrmRowsInput& input);

// Adds the coefficients of rows firstRow .. firstRow + rowCount - 1 (1 <= rowCount <=
// kShrmRowChunk, rows < 100) into image, a 200-wide SH reflection map.
void addShrmRowsPortable(const ShrmRowsInput& input, ShrmPixel* image, int firstRow, int rowCount);
// The same compiled for AVX2; call only when haveAvx2() is true.
void addShrmRowsAvx2(const ShrmRowsInput& input, ShrmPixel* image, int firstRow, int rowCount);
// True when this build has the AVX2 kernel and the processor runs it.
bool haveAvx2();
// The fastest kernel the processor runs.
void addShrmRows(const ShrmRowsInput& input, ShrmPixel* image, int firstRow, int rowCount);

}  // namespace detail
}  // namespace ixImage
