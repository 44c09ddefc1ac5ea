// Internal header of the Python module: which rotation-matrix file the module loads, and loading
// it once per process.
//
// The library loads the spherical-harmonic rotation matrices once per process, on the first
// computation of light coefficients, and keeps them; that first load is not guarded against
// concurrent callers. The module therefore loads them itself, under one lock, before any lighting
// computation starts, so that lighting objects may then compute on several threads at once.
//
// The file: the one named with setRotationMatrixFile, else the copy installed beside the module
// (<prefix>/share/iximage), else the build tree's copy for a module run from the build tree.
#pragma once

#include <string>

namespace ixPython {

// Names the file to load. Throws std::runtime_error when the matrices are already loaded from
// another file (they are loaded once per process).
void setRotationMatrixFile(const std::string& path);

// The file that is (or will be) loaded.
std::string rotationMatrixFile();

// Loads the matrices unless they are loaded; throws OsError naming the file when it cannot be
// read. Safe to call from several threads; call it without the GIL.
void ensureRotationMatrices();

}  // namespace ixPython
