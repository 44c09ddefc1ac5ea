#include "iximage/mask/mask_boundaries.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <list>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace ixImage;

namespace {

using Vertex = std::array<int, 3>;  // x, y and the running length u of an outline point

std::vector<Vertex> verticesOf(const Boundary3d& outline) {
    std::vector<Vertex> v;
    EXPECT_EQ(outline.points.size(), outline.uvs.size() / 2 * 3);
    for (std::size_t i = 0; 3 * i + 2 < outline.points.size() && 2 * i + 1 < outline.uvs.size();
         ++i) {
        EXPECT_TRUE(outline.points[3 * i + 2] == 0.0f && outline.uvs[2 * i + 1] == 0.0f);
        v.push_back(
            {int(outline.points[3 * i]), int(outline.points[3 * i + 1]), int(outline.uvs[2 * i])});
    }
    return v;
}

// Independent facts about a mask on a grid padded with a ring of outside pixels: each pixel's
// component, inside pixels 4-connected and outside ones 8-connected. The ring is labelled first,
// so the exterior (everything outside that touches the border) is label 0.
struct MaskFacts {
    int w, h;  // padded sizes
    std::vector<int> inside, label;
    int regions = 0, holes = -1, cracks = 0;  // holes: outside components but the exterior
    std::string picture;

    explicit MaskFacts(const MaskImage& mask)
        : w(mask.getWidth() + 2), h(mask.getHeight() + 2), inside(w * h), label(w * h, -1) {
        for (int y = 0; y < h - 2; ++y, picture += '\n')
            for (int x = 0; x < w - 2; ++x) {
                inside[index(x, y)] = mask.at(x, y) >= 128;
                picture += mask.at(x, y) >= 128 ? '#' : '.';
            }
        for (int y = 0; y < h - 2; ++y)
            for (int x = 0; x < w - 2; ++x)
                if (isInside(x, y))
                    cracks += !isInside(x - 1, y) + !isInside(x + 1, y) + !isInside(x, y - 1) +
                              !isInside(x, y + 1);
        for (int i = 0, next = 0; i < w * h; ++i) {
            if (label[i] >= 0) continue;
            ++(inside[i] ? regions : holes);
            std::vector<int> stack{i};
            for (label[i] = next++; !stack.empty();) {
                const int j = stack.back();
                stack.pop_back();
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int x = j % w + dx, y = j / w + dy, k = y * w + x;
                        if ((inside[i] && dx != 0 && dy != 0) || x < 0 || y < 0 || x >= w ||
                            y >= h || inside[k] != inside[i] || label[k] >= 0)
                            continue;
                        label[k] = label[i];
                        stack.push_back(k);
                    }
            }
        }
    }
    int index(int x, int y) const { return (y + 1) * w + (x + 1); }
    bool isInside(int x, int y) const { return inside[index(x, y)]; }
    int labelOf(int x, int y) const { return label[index(x, y)]; }
};

// Every outline is closed, axis-aligned, records corners only, keeps the outside on its left
// (so each crack it walks is a real inside/outside edge), separates one region from one outside
// component, and starts in scan order. Together the outlines walk every crack exactly once;
// clockwise ones (positive shoelace area with y down) are one per region, anticlockwise ones
// one per enclosed hole.
void checkInvariants(const MaskImage& mask, const std::list<Boundary3d>& outlines) {
    const MaskFacts facts(mask);
    std::set<std::tuple<int, int, bool>> cracks;  // lower-left end and orientation
    std::set<int> regions, holes;
    int totalLength = 0;
    std::pair<int, int> previousStart(-1, -1);  // (y, x) of the last start
    for (const Boundary3d& outline : outlines) {
        const std::vector<Vertex> v = verticesOf(outline);
        const std::string here = ::testing::PrintToString(v) + "\n" + facts.picture;
        ASSERT_GE(v.size(), 5u) << here;
        ASSERT_TRUE(v.front()[0] == v.back()[0] && v.front()[1] == v.back()[1] && !v[0][2]) << here;
        ASSERT_LT(previousStart, std::make_pair(v[0][1], v[0][0])) << here;
        previousStart = {v[0][1], v[0][0]};
        std::set<int> insideLabels, outsideLabels;
        long long twiceArea = 0;
        int previousStepX = 0, previousStepY = 0;
        for (std::size_t i = 0; i + 1 < v.size(); ++i) {
            const int dx = v[i + 1][0] - v[i][0], dy = v[i + 1][1] - v[i][1];
            const int stepX = (dx > 0) - (dx < 0), stepY = (dy > 0) - (dy < 0);
            ASSERT_TRUE((dx == 0) != (dy == 0)) << "diagonal segment " << here;
            ASSERT_EQ(v[i + 1][2] - v[i][2], std::abs(dx) + std::abs(dy)) << here;
            ASSERT_FALSE(stepX == previousStepX && stepY == previousStepY) << "straight " << here;
            previousStepX = stepX;
            previousStepY = stepY;
            twiceArea += (long long)v[i][0] * v[i + 1][1] - (long long)v[i + 1][0] * v[i][1];
            for (int x = v[i][0], y = v[i][1]; x != v[i + 1][0] || y != v[i + 1][1];
                 x += stepX, y += stepY) {
                // The pixels left and right of the unit crack from (x, y), y down.
                const int lx = x - (stepX < 0 || stepY < 0), ly = y - (stepX > 0 || stepY < 0);
                const int rx = x - (stepX < 0 || stepY > 0), ry = y - (stepX < 0 || stepY < 0);
                ASSERT_TRUE(facts.isInside(rx, ry) && !facts.isInside(lx, ly))
                    << "outside not on the left at (" << x << "," << y << ") " << here;
                insideLabels.insert(facts.labelOf(rx, ry));
                outsideLabels.insert(facts.labelOf(lx, ly));
                ASSERT_TRUE(
                    cracks.insert({std::min(x, x + stepX), std::min(y, y + stepY), stepX != 0})
                        .second)
                    << "crack at (" << x << "," << y << ") walked twice " << here;
            }
        }
        totalLength += v.back()[2];
        ASSERT_EQ(insideLabels.size(), 1u) << "diagonal neighbours share an outline " << here;
        ASSERT_EQ(outsideLabels.size(), 1u) << here;
        const int outside = *outsideLabels.begin();
        ASSERT_TRUE(twiceArea > 0 ? regions.insert(*insideLabels.begin()).second
                                  : outside != 0 && holes.insert(outside).second)
            << here;
    }
    EXPECT_TRUE(int(cracks.size()) == facts.cracks && totalLength == facts.cracks &&
                int(regions.size()) == facts.regions && int(holes.size()) == facts.holes)
        << facts.picture;
}

}  // namespace

TEST(ComputeMaskBoundaries, WorkedExamples) {
    const std::vector<Vertex> square = {{0, 0, 0}, {1, 0, 1}, {1, 1, 2}, {0, 1, 3}, {0, 0, 4}};
    const std::vector<std::pair<std::vector<std::vector<int>>, std::list<std::vector<Vertex>>>>
        cases = {
            {{{0, 127}, {50, 1}}, {}},  // nothing inside
            {{{255, 0}, {0, 0}}, {square}},
            {{{255, 200, 128}, {130, 255, 255}},
             {{{0, 0, 0}, {3, 0, 3}, {3, 2, 5}, {0, 2, 8}, {0, 0, 10}}}},
            {{{255, 255, 255}, {255, 0, 255}, {255, 255, 255}},  // a ring
             {{{0, 0, 0}, {3, 0, 3}, {3, 3, 6}, {0, 3, 9}, {0, 0, 12}},
              {{1, 1, 0}, {1, 2, 1}, {2, 2, 2}, {2, 1, 3}, {1, 1, 4}}}},
            {{{255, 0}, {0, 255}},  // diagonal neighbours are apart
             {square, {{1, 1, 0}, {2, 1, 1}, {2, 2, 2}, {1, 2, 3}, {1, 1, 4}}}},
            {{{127, 128}}, {{{1, 0, 0}, {2, 0, 1}, {2, 1, 2}, {1, 1, 3}, {1, 0, 4}}}},
            {{{255, 0}, {255, 255}},  // an L
             {{{0, 0, 0}, {1, 0, 1}, {1, 1, 2}, {2, 1, 3}, {2, 2, 4}, {0, 2, 6}, {0, 0, 8}}}},
            {{}, {}},  // no pixels
        };
    for (const auto& [rows, expected] : cases) {
        MaskImage mask;
        mask.setSize(rows.empty() ? 0 : int(rows[0].size()), int(rows.size()));
        for (int y = 0; y < mask.getHeight(); ++y)
            for (int x = 0; x < mask.getWidth(); ++x) mask.at(x, y) = (unsigned char)rows[y][x];
        std::list<Boundary3d> outlines(3);  // earlier content must go
        computeMaskBoundaries(mask, outlines);
        std::list<std::vector<Vertex>> got;
        for (const Boundary3d& outline : outlines) got.push_back(verticesOf(outline));
        EXPECT_EQ(got, expected) << MaskFacts(mask).picture;
        checkInvariants(mask, outlines);
    }
}

TEST(ComputeMaskBoundaries, InvariantsHoldOnRandomMasks) {
    std::mt19937 rng(3);
    std::vector<std::pair<int, int>> sizes = {{17, 9}, {9, 17}, {1, 40}, {40, 1}, {31, 23}};
    for (int w = 1; w <= 7; ++w)
        for (int h = 1; h <= 7; ++h) sizes.push_back({w, h});  // every small shape
    for (const auto& [width, height] : sizes)
        for (double density : {0.15, 0.5, 0.85})
            for (int repeat = 0; repeat < 4; ++repeat) {
                std::bernoulli_distribution isInside(density);
                MaskImage mask;
                mask.setSize(width, height);
                for (int i = 0; i < width * height; ++i)
                    mask.data()[i] =
                        (unsigned char)(isInside(rng) ? 128 + rng() % 128 : rng() % 128);
                std::list<Boundary3d> outlines;
                computeMaskBoundaries(mask, outlines);
                checkInvariants(mask, outlines);
                if (testing::Test::HasFatalFailure()) return;
            }
}
