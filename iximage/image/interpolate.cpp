#include "iximage/image/interpolate.h"

#include <cstddef>
#include <cstring>

#include "iximage/image/flip_min_max.h"

namespace ixImage {

namespace {

// Rounding used throughout: add 0.4999 and truncate, so that a value exactly halfway between
// two integers (127.5) goes down. Every argument lies in [-0.5, 256) (interpolated values stay
// between their two 8-bit ends up to float error), so the conversions are exact truncations.
unsigned char roundDown(float v) {
    return static_cast<unsigned char>(static_cast<int>(v + 0.4999f));
}

// One line of pixels (a row or a column): n pixels, `stride` elements apart, starting at the
// given element of the mask-sized arrays.
struct Line {
    std::size_t start;
    std::size_t stride;
    int n;
    std::size_t at(int i) const { return start + stride * static_cast<std::size_t>(i); }
};

// Fills the missing pixels of one line from its known ones:
//   before the first known pixel x0:        I(x0)
//   between consecutive known a < b:        I(a) + k (I(b) - I(a)) / (b - a), k = 1 .. b-a-1
//   after the last known pixel p:           I(p)
// store(element, value) writes a candidate value into a missing pixel.
template <class Store>
void fillLine(const Line& line, const unsigned char* known, const unsigned char* pixels,
              Store store) {
    int first = 0;
    while (first < line.n && known[line.at(first)] == 0) ++first;
    if (first == line.n) return;

    const unsigned char firstValue = pixels[line.at(first)];
    for (int i = 0; i < first; ++i) store(line.at(i), firstValue);

    int a = first;
    for (int b = first + 1; b < line.n; ++b) {
        if (known[line.at(b)] == 0) continue;
        if (b - a > 1) {
            const float valueA = pixels[line.at(a)];
            const float slope =
                (static_cast<float>(pixels[line.at(b)]) - valueA) / static_cast<float>(b - a);
            for (int k = 1; k < b - a; ++k)
                store(line.at(a + k), roundDown(static_cast<float>(k) * slope + valueA));
        }
        a = b;
    }

    const unsigned char lastValue = pixels[line.at(a)];
    for (int i = a + 1; i < line.n; ++i) store(line.at(i), lastValue);
}

// One interpolation pass: every row, then every column. The row part writes candidates and
// flags them; the column part averages its candidate with a value the row part wrote, or else
// writes it and flags it. Known pixels are only read, so every candidate comes from values
// that were known when the pass began.
void interpolationPass(const unsigned char* known, unsigned char* pixels, unsigned char* flags,
                       int width, int height) {
    const auto storeRow = [pixels, flags](std::size_t i, unsigned char v) {
        pixels[i] = v;
        flags[i] = 1;
    };
    for (int y = 0; y < height; ++y)
        fillLine({static_cast<std::size_t>(y) * static_cast<std::size_t>(width), 1, width}, known,
                 pixels, storeRow);

    const auto storeColumn = [pixels, flags](std::size_t i, unsigned char v) {
        if (flags[i] != 0) {
            pixels[i] = roundDown((static_cast<float>(v) + static_cast<float>(pixels[i])) * 0.5f);
        } else {
            pixels[i] = v;
            flags[i] = 1;
        }
    };
    for (int x = 0; x < width; ++x)
        fillLine({static_cast<std::size_t>(x), static_cast<std::size_t>(width), height}, known,
                 pixels, storeColumn);
}

void clearFlags(TypedImage<unsigned char>& flags, int width, int height) {
    flags.setSize(width, height);
    std::memset(flags.data(), 0,
                static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
}

}  // namespace

void imageInterpolate(const TypedImage<unsigned char>& mask, TypedImage<unsigned char>& image) {
    const int width = image.getWidth();
    const int height = image.getHeight();
    if (mask.getWidth() != width || mask.getHeight() != height) return;
    if (width < 1 || height < 1 || mask.data() == nullptr || image.data() == nullptr) return;

    TypedImage<unsigned char> written;       // flags of the first pass, then its known set
    TypedImage<unsigned char> writtenAgain;  // flags of the second pass
    clearFlags(written, width, height);
    clearFlags(writtenAgain, width, height);

    interpolationPass(mask.data(), image.data(), written.data(), width, height);
    // The second pass treats the first pass's results as known and fills the pixels whose row
    // and column had no known pixel at the start.
    imageMax(mask, written, written);
    interpolationPass(written.data(), image.data(), writtenAgain.data(), width, height);
}

}  // namespace ixImage
