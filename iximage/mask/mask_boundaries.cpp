#include "iximage/mask/mask_boundaries.h"

#include <array>
#include <cstddef>

namespace ixImage {

namespace {

// Directions of travel between vertices; 0 means "no outline arrives this way" and kWalked
// marks a transition that has been followed.
enum Direction : unsigned char {
    kNone = 0,
    kUp = 1,
    kRight = 2,
    kDown = 3,
    kLeft = 4,
    kWalked = 5
};

using Transitions = std::array<unsigned char, 4>;  // indexed by arrival direction - 1

// For each code of a vertex (bit 1: pixel up-left outside, 2: up-right, 4: down-left,
// 8: down-right), the direction in which an outline leaves after arriving moving up, right,
// down, left. The rule is "outside on the left of travel" with y down: a crack is walked with
// its outside pixel on the left. At the diagonal codes 6 and 9 the two outlines turn away from
// each other, so inside pixels that meet only at a corner stay in separate outlines.
constexpr Transitions kTransitionTable[16] = {
    {0, 0, 0, 0},  // 0: all inside
    {0, 1, 0, 0},  // 1
    {0, 0, 2, 0},  // 2
    {0, 2, 0, 0},  // 3
    {4, 0, 0, 0},  // 4
    {1, 0, 0, 0},  // 5
    {2, 0, 4, 0},  // 6: up-right and down-left outside
    {2, 0, 0, 0},  // 7
    {0, 0, 0, 3},  // 8
    {0, 3, 0, 1},  // 9: up-left and down-right outside
    {0, 0, 3, 0},  // 10
    {0, 3, 0, 0},  // 11
    {0, 0, 0, 4},  // 12
    {0, 0, 0, 1},  // 13
    {0, 0, 4, 0},  // 14
    {0, 0, 0, 0},  // 15: all outside
};

constexpr unsigned char kInsideThreshold = 128;

// Outside flags of pixel row y, with one outside pixel of padding at both ends (element i is
// pixel i - 1). Rows -1 and height are the outside beyond the image.
void outsideRow(const TypedImage<unsigned char>& mask, int y, std::vector<unsigned char>& row) {
    const int width = mask.getWidth();
    row.assign(static_cast<std::size_t>(width) + 2, 1);
    if (y < 0 || y >= mask.getHeight()) return;
    const unsigned char* pixels = mask.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) row[x + 1] = pixels[x] < kInsideThreshold ? 1 : 0;
}

void addPoint(Boundary3d& boundary, int x, int y, int length) {
    boundary.points.push_back(static_cast<float>(x));
    boundary.points.push_back(static_cast<float>(y));
    boundary.points.push_back(0.0f);
    boundary.uvs.push_back(static_cast<float>(length));
    boundary.uvs.push_back(0.0f);
}

// Follows one outline from (x, y), leaving in direction `direction`, until it reaches a
// transition already walked (the one it started on). Each step marks the transition it takes.
void traceOutline(std::vector<Transitions>& grid, std::size_t stride, int x, int y,
                  unsigned char direction, Boundary3d& boundary) {
    addPoint(boundary, x, y, 0);
    for (int step = 1;; ++step) {
        switch (direction) {
            case kUp: --y; break;
            case kRight: ++x; break;
            case kDown: ++y; break;
            default: --x; break;  // kLeft
        }
        unsigned char& transition =
            grid[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)][direction - 1];
        const unsigned char next = transition;
        transition = kWalked;
        if (next != direction) addPoint(boundary, x, y, step);
        // kNone cannot follow a consistent table; stopping keeps a broken grid from looping.
        if (next == kWalked || next == kNone) return;
        direction = next;
    }
}

}  // namespace

void computeMaskBoundaries(const TypedImage<unsigned char>& mask,
                           std::list<Boundary3d>& boundaries) {
    boundaries.clear();
    const int width = mask.getWidth();
    const int height = mask.getHeight();
    if (width < 1 || height < 1 || mask.data() == nullptr) return;

    // Transition grid over the (width + 1) x (height + 1) pixel corners.
    const std::size_t stride = static_cast<std::size_t>(width) + 1;
    std::vector<Transitions> grid(stride * (static_cast<std::size_t>(height) + 1));
    std::vector<unsigned char> above, below;
    outsideRow(mask, -1, below);
    for (int y = 0; y <= height; ++y) {
        above.swap(below);
        outsideRow(mask, y, below);
        Transitions* gridRow = grid.data() + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x <= width; ++x) {
            const int code = above[x] | (above[x + 1] << 1) | (below[x] << 2) | (below[x + 1] << 3);
            gridRow[x] = kTransitionTable[code];
        }
    }

    // Scan in row order. The first vertex met of an outline is its topmost, leftmost one, where
    // it turns from up to right or from left to down. Another outline through the same corner
    // (codes 6 and 9) comes from higher up and has been walked already, so marking every
    // remaining transition of the start vertex (and walking the last) loses no outline.
    for (int y = 0; y <= height; ++y) {
        for (int x = 0; x <= width; ++x) {
            Transitions& transitions = grid[static_cast<std::size_t>(y) * stride + x];
            unsigned char direction = kNone;
            for (unsigned char& t : transitions) {
                if (t != kNone && t != kWalked) {
                    direction = t;
                    t = kWalked;
                }
            }
            if (direction == kNone) continue;
            boundaries.emplace_back();
            traceOutline(grid, stride, x, y, direction, boundaries.back());
        }
    }
}

}  // namespace ixImage
