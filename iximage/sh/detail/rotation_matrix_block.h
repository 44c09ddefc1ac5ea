// Internal header of the library (not installed, not part of the public API): the loaded
// rotation-matrix block, its element index and the parser that fills it. The block's layout and
// the file format are described in iximage/sh/rotation_matrices.h.
//
// Threads: the block is process-wide and unlocked; it is written only by initializeReflectance()
// and finalizeReflectance(), and worker threads only read it.
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/progress.h"
#include "iximage/sh/rotation_matrices.h"

namespace ixImage {

constexpr int kRotationRows = 41;  // a, b = -20..20, stored at a + 20, b + 20
constexpr int kRotationMatrixCount = 21 * 41 * 41 * 100;  // 3,530,100 doubles

// Element (l, a, b, k) of the block: D(l, Ry(theta_k))[a][b].
inline int rotationMatrixIndex(int l, int a, int b, int k) {
    return ((l * kRotationRows + (a + 20)) * kRotationRows + (b + 20)) * 100 + k;
}

// The loaded block of kRotationMatrixCount doubles, or null while none is loaded.
IXIMAGE_API const double* getRotationMatrices();

// Parses the file into matrices (kRotationMatrixCount doubles, zeroed here first). False only
// when the file cannot be opened; a short or malformed file fills what it can and yields true.
// Progress is reported at the even bands (0, 0.1, ..., 1.0) and at 1.0 after the last record.
IXIMAGE_API bool readRotationMatrices(double* matrices, const char* filename,
                                      ixUtil::Progress* progress);

}  // namespace ixImage
