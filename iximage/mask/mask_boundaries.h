// Outlines of the regions of an 8-bit mask, as closed polylines along the pixel cracks.
//
// Conventions:
//  - A pixel is inside when its value is 128 or more, outside below 128; everything beyond the
//    image is outside.
//  - Points are pixel corners: vertex (x, y), 0 <= x <= width, 0 <= y <= height, is the
//    top-left corner of pixel (x, y); y grows with the row index (image coordinates).
//  - Outlines keep the outside on their left in image coordinates, so drawn with y pointing
//    down (as on a screen) regions run clockwise and holes anticlockwise. Inside pixels that touch
//    only at a corner belong to separate outlines (regions are 4-connected; the outside is
//    8-connected).
//  - Only corners are kept: the first vertex, every vertex where the direction changes, and the
//    first vertex again at the end, so every outline is closed on its first point.
//  - Outlines are listed in the order of their first vertex, rows top to bottom, vertices left
//    to right; each starts at its topmost, then leftmost vertex.
// Runs on the caller's thread; the result list is owned by the caller.
#pragma once

#include <list>
#include <vector>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

// One closed outline.
struct Boundary3d {
    // Three floats per vertex: x, y, 0.
    std::vector<float> points;
    // Two floats per vertex: u, 0, with u the length of the outline from its first vertex to
    // this one, counted in pixel edges.
    std::vector<float> uvs;
};

// Replaces the content of boundaries with the outlines of mask's inside regions and holes. A
// mask without pixels or without an inside pixel gives an empty list.
IXIMAGE_API void computeMaskBoundaries(const TypedImage<unsigned char>& mask,
                                       std::list<Boundary3d>& boundaries);

}  // namespace ixImage
