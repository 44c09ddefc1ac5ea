// 8-bit previews of float images, and the contact sheet that shows several side by side.
//
// Conventions
//  - Input images are Float3Image with rows bottom-up (row 0 at the bottom of the picture);
//    the 8-bit output is RGB, top row first, as PNG stores it.
//  - Tone mapping is the library's ToneMap, then a clamp to [0, 1] and rounding to the
//    nearest of 256 levels.
#pragma once

#include <string>
#include <vector>

#include "iximage/image/typed_image.h"
#include "iximage/tonemap/tone_map.h"

namespace iblBake {

struct Rgb8Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;  // width x height x 3, top row first
};

Rgb8Image tonemapPreview(const ixImage::Float3Image& image, const ixImage::ToneMap& toneMap);

struct SheetTile {
    std::string label;  // printed above the tile: A-Z, 0-9, space, '-' and '.'
    Rgb8Image image;
};

// Tiles in one row, each under its label on a dark background; tiles of any size (the
// previews are scaled to tileWidth x tileWidth/2 by nearest-neighbour sampling).
Rgb8Image makeContactSheet(const std::vector<SheetTile>& tiles, int tileWidth = 200);

}  // namespace iblBake
