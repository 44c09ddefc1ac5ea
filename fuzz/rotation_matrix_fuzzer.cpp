// Fuzzes the rotation-matrix file reader: the input is written to a private temporary file
// and parsed into a full block, as initializeReflectance does.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/rotation_matrices.h"
#include "scratch_file.h"

namespace {

volatile double gSink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ixFuzz::ScratchFile scratch("ixfuzz-rotation");
    static std::vector<double> block(ixImage::kRotationMatrixCount);

    std::FILE* file = std::fopen(scratch.path.c_str(), "wb");
    if (!file) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    // A file that exists always reads as accepted, however malformed its contents.
    if (!ixImage::readRotationMatrices(block.data(), scratch.path.c_str(), nullptr)) std::abort();
    gSink = block[ixImage::rotationMatrixIndex(20, 20, 20, 99)] + block[0];
    return 0;
}
