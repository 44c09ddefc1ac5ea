#include "iximage/interfaces/rect_pack.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ixUtil {

namespace {

// Positions are computed in 64 bits so that no sum of tile sizes can overflow while packing.
using Coord = std::int64_t;

struct TileSize {
    int index;
    Coord width;
    Coord height;
};

struct Position {
    Coord x = 0;
    Coord y = 0;
};

struct Layout {
    std::vector<Position> positions;  // per entry of the tile list (not of the sorted order)
    Coord width = 0;
    Coord height = 0;

    // In double: the product of two sums of int sizes can leave 64 bits.
    double area() const { return double(width) * double(height); }
};

bool isPlaceable(const IntRange2d& r) { return r.width > 0 && r.height > 0; }

// The skyline: the top edge of everything placed so far, as segments sorted by x that cover
// [0, binWidth) without gaps. A new tile always sits with its left edge on a segment's start
// and rests on the highest segment below it; the area under it that stays empty is waste.
class Skyline {
public:
    // Best fit by the lowest top edge (ties: least waste), or by the least waste (ties: lowest
    // top edge). Which one packs tighter depends on the tile mix, so both are tried.
    enum class Rule { kLowestTop, kLeastWaste };

    explicit Skyline(Coord binWidth) : binWidth(binWidth), segments{{0, 0, binWidth}} {}

    // Where a w x h tile goes under the rule; w must not exceed the bin width.
    Position findPlace(Coord w, Coord h, Rule rule) const {
        Position best;
        Coord bestTop = std::numeric_limits<Coord>::max();
        Coord bestWaste = std::numeric_limits<Coord>::max();
        for (size_t i = 0; i < segments.size(); ++i) {
            const Coord x = segments[i].x;
            if (x + w > binWidth) break;
            // The tile rests on the highest segment it spans.
            Coord y = 0;
            for (size_t j = i; j < segments.size() && segments[j].x < x + w; ++j)
                y = std::max(y, segments[j].y);
            Coord waste = 0;
            for (size_t j = i; j < segments.size() && segments[j].x < x + w; ++j) {
                const Coord right = std::min(segments[j].x + segments[j].width, x + w);
                waste += (y - segments[j].y) * (right - segments[j].x);
            }
            const Coord top = y + h;
            const bool better = rule == Rule::kLowestTop
                                    ? (top < bestTop || (top == bestTop && waste < bestWaste))
                                    : (waste < bestWaste || (waste == bestWaste && top < bestTop));
            if (better) {
                bestTop = top;
                bestWaste = waste;
                best = {x, y};
            }
        }
        return best;
    }

    // Raises the skyline over [x, x + w) to y + h.
    void add(Position p, Coord w, Coord h) {
        const Coord right = p.x + w;
        std::vector<Segment> next;
        next.reserve(segments.size() + 2);
        bool inserted = false;
        for (const Segment& s : segments) {
            const Coord sRight = s.x + s.width;
            if (sRight <= p.x) {
                next.push_back(s);
                continue;
            }
            if (s.x < p.x) next.push_back({s.x, s.y, p.x - s.x});
            if (!inserted) {
                next.push_back({p.x, p.y + h, w});
                inserted = true;
            }
            if (sRight > right)
                next.push_back({std::max(s.x, right), s.y, sRight - std::max(s.x, right)});
        }
        // Neighbours at the same height become one segment, which keeps the scan short.
        segments.clear();
        for (const Segment& s : next) {
            if (!segments.empty() && segments.back().y == s.y)
                segments.back().width += s.width;
            else
                segments.push_back(s);
        }
    }

private:
    struct Segment {
        Coord x;
        Coord y;
        Coord width;
    };

    Coord binWidth;
    std::vector<Segment> segments;
};

Layout packSkyline(const std::vector<TileSize>& sortedTiles, size_t tileCount, Coord binWidth,
                   Skyline::Rule rule) {
    Layout layout;
    layout.positions.resize(tileCount);
    Skyline skyline(binWidth);
    for (const TileSize& t : sortedTiles) {
        const Position p = skyline.findPlace(t.width, t.height, rule);
        skyline.add(p, t.width, t.height);
        layout.positions[static_cast<size_t>(t.index)] = p;
        layout.width = std::max(layout.width, p.x + t.width);
        layout.height = std::max(layout.height, p.y + t.height);
    }
    return layout;
}

// Shelves: tiles left to right in the given order; a tile that would cross the shelf width
// opens a new shelf on top of the tallest tile of the current one.
Layout packShelves(const std::vector<TileSize>& tiles, size_t tileCount, Coord shelfWidth) {
    Layout layout;
    layout.positions.resize(tileCount);
    Coord x = 0;
    Coord shelfY = 0;
    Coord shelfHeight = 0;
    for (const TileSize& t : tiles) {
        if (x > 0 && x + t.width > shelfWidth) {
            shelfY += shelfHeight;
            x = 0;
            shelfHeight = 0;
        }
        layout.positions[static_cast<size_t>(t.index)] = {x, shelfY};
        x += t.width;
        shelfHeight = std::max(shelfHeight, t.height);
        layout.width = std::max(layout.width, x);
        layout.height = std::max(layout.height, shelfY + t.height);
    }
    return layout;
}

int saturateToInt(Coord c) { return static_cast<int>(std::min<Coord>(c, INT_MAX)); }

}  // namespace

IntRange2d pack(std::vector<IntRange2d>& tiles, bool tight) {
    std::vector<TileSize> placeable;
    double totalArea = 0.0;
    Coord widest = 0;
    for (size_t i = 0; i < tiles.size(); ++i) {
        const IntRange2d& r = tiles[i];
        if (!isPlaceable(r)) continue;
        placeable.push_back({static_cast<int>(i), r.width, r.height});
        totalArea += double(r.width) * double(r.height);
        widest = std::max<Coord>(widest, r.width);
    }

    // A square of the total area is the ideal; the bin is never narrower than the widest tile.
    const Coord side = static_cast<Coord>(std::ceil(std::sqrt(totalArea)));

    Layout best;
    if (placeable.empty()) {
        best.positions.resize(tiles.size());
    } else if (!tight) {
        best = packShelves(placeable, tiles.size(), std::max(widest, side));
    } else {
        // Tallest first (then widest, then list order, so the result is deterministic).
        std::vector<TileSize> sorted = placeable;
        std::stable_sort(sorted.begin(), sorted.end(), [](const TileSize& a, const TileSize& b) {
            return a.height != b.height ? a.height > b.height : a.width > b.width;
        });
        // Bin widths around the square side; the narrowest candidate is the widest tile. The
        // smallest enclosing area wins, the squarer layout on a tie.
        const double factors[] = {0.0, 0.9, 0.95, 1.0, 1.05, 1.1, 1.2, 1.35, 1.5, 1.75, 2.0};
        bool haveBest = false;
        Coord lastWidth = -1;
        for (double f : factors) {
            const Coord binWidth =
                std::max(widest, static_cast<Coord>(std::ceil(f * double(side))));
            if (binWidth == lastWidth) continue;
            lastWidth = binWidth;
            for (Skyline::Rule rule : {Skyline::Rule::kLowestTop, Skyline::Rule::kLeastWaste}) {
                Layout layout = packSkyline(sorted, tiles.size(), binWidth, rule);
                const bool better =
                    !haveBest || layout.area() < best.area() ||
                    (layout.area() == best.area() &&
                     std::max(layout.width, layout.height) < std::max(best.width, best.height));
                if (better) {
                    best = std::move(layout);
                    haveBest = true;
                }
            }
        }
    }

    for (size_t i = 0; i < tiles.size(); ++i) {
        tiles[i].x = saturateToInt(best.positions[i].x);
        tiles[i].y = saturateToInt(best.positions[i].y);
    }
    return IntRange2d(0, 0, saturateToInt(best.width), saturateToInt(best.height));
}

}  // namespace ixUtil
