// Rectangle packing for atlases.
//
// Conventions: integer pixel rectangles (IntRange2d), x to the right, y along the rows; tiles
// are placed from (0, 0) towards positive x and y. The packer only moves origins: sizes and
// the order of the list are kept. Pure function of its input, safe to call from any thread.
#pragma once

#include <vector>

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/int_range.h"

namespace ixUtil {

// Places the rectangles without overlap by moving their origins (sizes are kept) and returns
// the range enclosing them all, with origin (0, 0).
//
// tight selects the method:
//  - true: the smallest enclosing area. Tiles are sorted by decreasing height and placed by a
//    skyline best fit into bins of several widths, from the widest tile up to twice the side
//    of a square of the total tile area; the layout with the smallest enclosing area is kept
//    (the squarer one on a tie). Random tile sets typically fill over 90% of the enclosing range.
//  - false: shelves in the given order. Tiles go left to right on rows as wide as the side of
//    a square of the total area (at least the widest tile); a row is as high as its tallest
//    tile. Cheaper and predictable (tile i never lands before tile i - 1), but looser.
//
// Tiles of zero or negative width or height are placed at (0, 0) and take no room. An empty
// list, or one without a placeable tile, gives the range (0, 0, 0, 0). Positions are computed
// in 64 bits; a layout that would reach past the int range saturates at INT_MAX.
IXIMAGE_API IntRange2d pack(std::vector<IntRange2d>& tiles, bool tight);

}  // namespace ixUtil
