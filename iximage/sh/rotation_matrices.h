// Spherical-harmonic rotation matrices, loaded once per process from the rotation-matrix file.
//
// The block holds 21 x 41 x 41 x 100 doubles. Element (l, a, b, k), band l = 0..20, row a and
// column b in -l..l, polar sample k = 0..99, is entry rotationMatrixIndex(l, a, b, k):
// D(l, Ry(theta_k))[a][b], theta_k = k pi / 100, where Ry(beta) turns +z towards +x about +y and
// D(l, R) maps the real-harmonic coefficients of f(w) to those of f(R^-1 w):
// Y(l,b)(R^-1 w) = sum_a D(l,R)[a][b] Y(l,a)(w). Entries with |a| > l or |b| > l stay zero.
//
// File layout (text): for l = 0..20, for k = 0..99, a record of two integers (ignored) followed
// by the (2l+1)^2 elements row by row (a = -l..l, within a row b = -l..l); any whitespace
// separates numbers; tokens after the last record are ignored.
//
// Lifetime and threads: initializeReflectance() loads the block (later calls keep it, whatever
// file they name) and finalizeReflectance() releases it. Neither is locked; call them while no
// lighting computation runs. Readers on worker threads only read the block.
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/progress.h"

namespace ixImage {

constexpr int kRotationRows = 41;  // a, b = -20..20, stored at a + 20, b + 20
constexpr int kRotationMatrixCount = 21 * 41 * 41 * 100;  // 3,530,100 doubles

inline int rotationMatrixIndex(int l, int a, int b, int k) {
    return ((l * kRotationRows + (a + 20)) * kRotationRows + (b + 20)) * 100 + k;
}

// Builds the tables and loads the rotation matrices from filename (once per process). Prints
// "Failed to load spherical harmonic matrix file <name>." and returns false when the file cannot
// be opened. progress may be null.
IXIMAGE_API bool initializeReflectance(const char* filename, ixUtil::Progress* progress);

// Releases the rotation matrices (the tables stay).
IXIMAGE_API void finalizeReflectance();

// The loaded block of kRotationMatrixCount doubles, or null while none is loaded.
IXIMAGE_API const double* getRotationMatrices();

// Parses the file into matrices (kRotationMatrixCount doubles, zeroed here first). False only
// when the file cannot be opened; a short or malformed file fills what it can and yields true.
// Progress is reported at the even bands (0, 0.1, ..., 1.0) and at 1.0 after the last record.
IXIMAGE_API bool readRotationMatrices(double* matrices, const char* filename,
                                      ixUtil::Progress* progress);

}  // namespace ixImage
