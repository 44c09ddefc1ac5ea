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
// previews are scaled to tileWidth x tileWidth/2 by nearest-neighbour sampling). When
// ballTiles is not empty, a second labelled row holds them at their own size (scaled down
// only when wider than tileWidth), centred in the columns of the last ballTiles.size() tiles
// of the first row, so that each rendered ball sits under the map that lights it.
// The row of equal tiles (like balls.png) cut into one labelled tile per label, left to right.
std::vector<SheetTile> splitRow(const Rgb8Image& row, const std::vector<std::string>& labels);

Rgb8Image makeContactSheet(const std::vector<SheetTile>& tiles, int tileWidth = 200,
                           const std::vector<SheetTile>& ballTiles = {});

}  // namespace iblBake
