// Fuzzes ibl-bake's probe loaders: the input goes through the format detection and whichever
// reader it picks (OpenEXR, Radiance, PFM) from a file, and through the in-memory PFM decoder.
// A loader must answer with an image or a reason, never both, and an image must be as large
// as it says.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hdr_io.h"
#include "scratch_file.h"

namespace {

volatile float gSink;

void check(const iblBake::LoadedImage& loaded) {
    if (!loaded.image) {
        if (loaded.error.empty()) std::abort();  // a refusal always says why
        return;
    }
    const ixImage::Float3Image& image = *loaded.image;
    if (image.getWidth() < 1 || image.getHeight() < 1 || !image.data()) std::abort();
    // Reads the first and the last pixel, so a buffer shorter than its size is caught.
    gSink = image.at(0, 0).red + image.at(image.getWidth() - 1, image.getHeight() - 1).blue;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ixFuzz::ScratchFile scratch("ixfuzz-probe");
    std::FILE* file = std::fopen(scratch.path.c_str(), "wb");
    if (!file) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    check(iblBake::loadProbe(scratch.path));
    check(iblBake::decodePfm(data, size));
    return 0;
}
