// Reading light probes and writing ibl-bake's outputs.
//
// Conventions
//  - Images are the library's Float3Image, rows bottom-up: image row 0 is the bottom of the
//    picture as a viewer shows it. OpenEXR and Radiance files store the top row first, so
//    their first row becomes the image's last row; PFM stores the bottom row first, so its
//    rows keep their order. For a latitude-longitude probe this puts the sky on +Z.
//  - Loaders never throw and never crash on bad input: they return a null image and a
//    one-line reason (without the file name, which the caller adds).
//  - Writers are atomic: they write a temporary file in the destination folder and rename it
//    over the destination, so a reader never sees a partial file.
//  - Thread safety: every function is independent; distinct files may be used concurrently.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/reference.h"

namespace iblBake {

// Probes larger than this many pixels (or wider or taller than kMaxProbeSide) are refused
// before any allocation: 2^28 float RGB pixels are already 3 GiB.
constexpr int64_t kMaxProbePixels = int64_t(1) << 28;
constexpr int kMaxProbeSide = 1 << 17;

struct LoadedImage {
    ix::Reference<ixImage::Float3Image> image;  // null on failure
    std::string error;                          // why, when image is null
};

// Picks the reader from the file's first bytes (not its extension).
LoadedImage loadProbe(const std::string& path);

LoadedImage loadExr(const std::string& path);
LoadedImage loadRadiance(const std::string& path);
// PFM from a file or from memory: "PF" colour or "Pf" grey, either byte order (a negative
// scale means little-endian).
LoadedImage loadPfm(const std::string& path);
LoadedImage decodePfm(const unsigned char* bytes, size_t size);

// Each returns an empty string on success, otherwise the reason.
std::string writeExr(const ixImage::Float3Image& image, const std::string& path);
std::string writePfm(const ixImage::Float3Image& image, const std::string& path);
// 8-bit RGB, rgb holds width x height x 3 bytes, top row first (as PNG stores them).
std::string writePng(const std::vector<unsigned char>& rgb, int width, int height,
                     const std::string& path);
std::string writeText(const std::string& text, const std::string& path);

}  // namespace iblBake
