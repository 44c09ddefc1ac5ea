// Spherical-harmonic rotation matrices, loaded once per process from the rotation-matrix file.
//
// The block holds 21 x 41 x 41 x 100 doubles. Element (l, a, b, k), band l = 0..20, row a and
// column b in -l..l, polar sample k = 0..99, at ((l * 41 + a + 20) * 41 + b + 20) * 100 + k, is
// D(l, Ry(theta_k))[a][b], theta_k = k pi / 100, where Ry(beta) turns +z towards +x about +y and
// D(l, R) maps the real-harmonic coefficients of f(w) to those of f(R^-1 w):
// Y(l,b)(R^-1 w) = sum_a D(l,R)[a][b] Y(l,a)(w). Entries with |a| > l or |b| > l stay zero.
//
// File layout (text): for l = 0..20, for k = 0..99, a record of two integers (ignored) followed
// by the (2l+1)^2 elements row by row (a = -l..l, within a row b = -l..l); any whitespace
// separates numbers; tokens after the last record are ignored.
//
// The loader accepts a short or malformed file (what it cannot read stays zero);
// verifyRotationMatrices() is the strict check an application runs first when the file may be
// damaged.
//
// Lifetime and threads: initializeReflectance() loads the block (later calls keep it, whatever
// file they name) and finalizeReflectance() releases it. Neither is locked; call them while no
// lighting computation runs. Readers on worker threads only read the block.
#pragma once

#include <string>

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/progress.h"

namespace ixImage {

// Builds the tables and loads the rotation matrices from filename (once per process), or takes
// over the block verifyRotationMatrices() kept for that same file. Prints
// "Failed to load spherical harmonic matrix file <name>." and returns false when the file cannot
// be opened. progress may be null.
IXIMAGE_API bool initializeReflectance(const char* filename, ixUtil::Progress* progress);

// Releases the rotation matrices (the tables stay).
IXIMAGE_API void finalizeReflectance();

// Checks that filename is a complete rotation-matrix file, without loading it: every one of the
// 2,100 records is present, each opens with its own header "l k" in order, each element is a
// finite number, and a few matrices of the highest band (k = 1, 33, 66, 99) are orthogonal to
// 1e-6 (D^T D = I; the file's matrices are rotations). Returns true for a good file; otherwise
// false with a one-line reason in *problem (when problem is not null), such as "record 43 of
// 2100 (band 0, sample 42) is missing: the file ends there". Reads the whole file (about 30 ms)
// and may run on any thread. A file that passes is kept, parsed, for the next
// initializeReflectance() of the same unchanged file (same name, size and modification time),
// which then takes the block over instead of parsing the text again; until then it holds the
// block's 28 MB (finalizeReflectance() drops it).
IXIMAGE_API bool verifyRotationMatrices(const char* filename, std::string* problem);

}  // namespace ixImage
