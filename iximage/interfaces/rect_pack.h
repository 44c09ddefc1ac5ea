// Rectangle packing for atlases.
#pragma once

#include <vector>

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/int_range.h"

namespace ixUtil {

// Places the rectangles without overlap by moving their origins (sizes are kept) and returns
// the range enclosing them all, with origin (0, 0).
// tight: true packs for the smallest enclosing area (skyline best fit over the tiles sorted by
// height); false lays the tiles out in their given order on shelves, which keeps the atlas
// stable when tiles are appended. See rect_pack.cpp for the details.
IXIMAGE_API IntRange2d pack(std::vector<IntRange2d>& tiles, bool tight);

}  // namespace ixUtil
