#include "iximage/mask/mask_boundaries.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace ixImage;

namespace {

using Rows = std::vector<std::vector<int>>;

void makeMask(const Rows& rows, MaskImage& mask) {
    mask.setSize(int(rows[0].size()), int(rows.size()));
    for (int y = 0; y < mask.getHeight(); ++y)
        for (int x = 0; x < mask.getWidth(); ++x)
            mask.at(x, y) = static_cast<unsigned char>(rows[y][x]);
}

std::string describe(const MaskImage& mask) {
    std::string text = "mask\n";
    for (int y = 0; y < mask.getHeight(); ++y) {
        for (int x = 0; x < mask.getWidth(); ++x) text += mask.at(x, y) >= 128 ? '#' : '.';
        text += '\n';
    }
    return text;
}

// x, y and running length u of every point of an outline, after checking the record's layout.
struct Vertex {
    int x, y, u;
    bool operator==(const Vertex& o) const { return x == o.x && y == o.y && u == o.u; }
};

std::vector<Vertex> verticesOf(const Boundary3d& outline) {
    EXPECT_EQ(outline.points.size() % 3, 0u);
    EXPECT_EQ(outline.points.size() / 3 * 2, outline.uvs.size());
    std::vector<Vertex> vertices;
    for (std::size_t i = 0; 3 * i + 2 < outline.points.size() && 2 * i + 1 < outline.uvs.size();
         ++i) {
        EXPECT_EQ(outline.points[3 * i + 2], 0.0f);
        EXPECT_EQ(outline.uvs[2 * i + 1], 0.0f);
        vertices.push_back(
            {int(outline.points[3 * i]), int(outline.points[3 * i + 1]), int(outline.uvs[2 * i])});
    }
    return vertices;
}

std::string describe(const std::vector<Vertex>& vertices) {
    std::ostringstream text;
    for (const Vertex& v : vertices) text << "(" << v.x << "," << v.y << ";" << v.u << ") ";
    return text.str();
}

// Independent facts about a mask, on a grid padded with one ring of outside pixels: each pixel's
// component, inside pixels 4-connected and outside pixels 8-connected. The padding ring is
// scanned first, so the exterior (everything outside that touches the border) is label 0.
struct MaskFacts {
    int w, h;  // padded sizes
    std::vector<char> inside;
    std::vector<int> label;
    int regions = 0, holes = -1;  // holes: outside components other than the exterior

    std::size_t index(int x, int y) const { return std::size_t(y + 1) * w + (x + 1); }
    bool isInside(int x, int y) const { return inside[index(x, y)]; }
    int labelOf(int x, int y) const { return label[index(x, y)]; }
    int crackCount() const {
        int count = 0;
        for (int y = 0; y < h - 2; ++y)
            for (int x = 0; x < w - 2; ++x)
                if (isInside(x, y))
                    count += !isInside(x - 1, y) + !isInside(x + 1, y) + !isInside(x, y - 1) +
                             !isInside(x, y + 1);
        return count;
    }
};

MaskFacts factsOf(const MaskImage& mask) {
    MaskFacts f{mask.getWidth() + 2, mask.getHeight() + 2, {}, {}};
    f.inside.assign(std::size_t(f.w) * f.h, 0);
    for (int y = 0; y < mask.getHeight(); ++y)
        for (int x = 0; x < mask.getWidth(); ++x) f.inside[f.index(x, y)] = mask.at(x, y) >= 128;
    f.label.assign(f.inside.size(), -1);
    int next = 0;
    for (int i = 0; i < f.w * f.h; ++i) {
        if (f.label[i] >= 0) continue;
        const bool in = f.inside[i];
        ++(in ? f.regions : f.holes);
        std::vector<int> stack{i};
        for (f.label[i] = next; !stack.empty();) {
            const int j = stack.back();
            stack.pop_back();
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int x = j % f.w + dx, y = j / f.w + dy, k = y * f.w + x;
                    if ((in && dx != 0 && dy != 0) || x < 0 || y < 0 || x >= f.w || y >= f.h ||
                        f.inside[k] != in || f.label[k] >= 0)
                        continue;
                    f.label[k] = next;
                    stack.push_back(k);
                }
        }
        ++next;
    }
    return f;
}

// The pixels left and right of the unit crack leaving vertex (x, y) by (stepX, stepY), y down.
struct CrackSides {
    int leftX, leftY, rightX, rightY;
};
CrackSides sidesOf(int x, int y, int stepX, int stepY) {
    if (stepX > 0) return {x, y - 1, x, y};
    if (stepX < 0) return {x - 1, y, x - 1, y - 1};
    if (stepY > 0) return {x, y, x - 1, y};
    return {x - 1, y - 1, x, y - 1};
}

// Every outline is closed, axis-aligned, records corners only, keeps the outside on its left
// (so each crack it walks is a real inside/outside edge), separates one region from one outside
// component, and starts in scan order. Together the outlines walk every crack exactly once;
// clockwise ones (positive shoelace area with y down) are one per region, anticlockwise ones
// one per enclosed hole.
void checkInvariants(const MaskImage& mask, const std::list<Boundary3d>& outlines) {
    const MaskFacts facts = factsOf(mask);
    const std::string where = describe(mask);
    std::set<std::tuple<int, int, bool>> cracks;  // lower-left end and orientation
    std::set<int> regions, holes;
    long long totalLength = 0;
    std::pair<int, int> previousStart(-1, -1);  // (y, x) of the last start
    for (const Boundary3d& outline : outlines) {
        const std::vector<Vertex> v = verticesOf(outline);
        const std::string here = describe(v) + "\n" + where;
        ASSERT_GE(v.size(), 5u) << here;
        ASSERT_TRUE(v.front().x == v.back().x && v.front().y == v.back().y && v.front().u == 0)
            << here;
        ASSERT_LT(previousStart, std::make_pair(v.front().y, v.front().x)) << here;
        previousStart = {v.front().y, v.front().x};
        std::set<int> insideLabels, outsideLabels;
        long long twiceArea = 0;
        int previousStepX = 0, previousStepY = 0;
        for (std::size_t i = 0; i + 1 < v.size(); ++i) {
            const int dx = v[i + 1].x - v[i].x, dy = v[i + 1].y - v[i].y;
            const int stepX = (dx > 0) - (dx < 0), stepY = (dy > 0) - (dy < 0);
            ASSERT_TRUE((dx == 0) != (dy == 0)) << "diagonal segment " << here;
            ASSERT_EQ(v[i + 1].u - v[i].u, std::abs(dx) + std::abs(dy)) << here;
            ASSERT_FALSE(stepX == previousStepX && stepY == previousStepY)
                << "straight point " << here;
            previousStepX = stepX;
            previousStepY = stepY;
            twiceArea += (long long)v[i].x * v[i + 1].y - (long long)v[i + 1].x * v[i].y;
            for (int x = v[i].x, y = v[i].y; x != v[i + 1].x || y != v[i + 1].y;
                 x += stepX, y += stepY) {
                const CrackSides s = sidesOf(x, y, stepX, stepY);
                ASSERT_TRUE(facts.isInside(s.rightX, s.rightY) && !facts.isInside(s.leftX, s.leftY))
                    << "outside not on the left at (" << x << "," << y << ") " << here;
                insideLabels.insert(facts.labelOf(s.rightX, s.rightY));
                outsideLabels.insert(facts.labelOf(s.leftX, s.leftY));
                ASSERT_TRUE(
                    cracks.insert({std::min(x, x + stepX), std::min(y, y + stepY), stepX != 0})
                        .second)
                    << "crack at (" << x << "," << y << ") walked twice " << here;
            }
        }
        totalLength += v.back().u;
        ASSERT_EQ(insideLabels.size(), 1u) << "diagonal neighbours share an outline " << here;
        ASSERT_EQ(outsideLabels.size(), 1u) << here;
        if (twiceArea > 0)
            ASSERT_TRUE(regions.insert(*insideLabels.begin()).second) << here;
        else
            ASSERT_TRUE(*outsideLabels.begin() != 0 && holes.insert(*outsideLabels.begin()).second)
                << here;
    }
    EXPECT_EQ(int(cracks.size()), facts.crackCount()) << where;
    EXPECT_EQ(totalLength, facts.crackCount()) << where;
    EXPECT_EQ(int(regions.size()), facts.regions) << where;
    EXPECT_EQ(int(holes.size()), facts.holes) << where;
}

}  // namespace

TEST(ComputeMaskBoundaries, WorkedExamples) {
    struct Case {
        const char* name;
        Rows mask;
        std::vector<std::vector<Vertex>> outlines;
    };
    const Case cases[] = {
        {"nothing inside", {{0, 127}, {50, 1}}, {}},
        {"single pixel",
         {{255, 0}, {0, 0}},
         {{{0, 0, 0}, {1, 0, 1}, {1, 1, 2}, {0, 1, 3}, {0, 0, 4}}}},
        {"all inside",
         {{255, 200, 128}, {130, 255, 255}},
         {{{0, 0, 0}, {3, 0, 3}, {3, 2, 5}, {0, 2, 8}, {0, 0, 10}}}},
        {"ring",
         {{255, 255, 255}, {255, 0, 255}, {255, 255, 255}},
         {{{0, 0, 0}, {3, 0, 3}, {3, 3, 6}, {0, 3, 9}, {0, 0, 12}},
          {{1, 1, 0}, {1, 2, 1}, {2, 2, 2}, {2, 1, 3}, {1, 1, 4}}}},
        {"diagonal pair",
         {{255, 0}, {0, 255}},
         {{{0, 0, 0}, {1, 0, 1}, {1, 1, 2}, {0, 1, 3}, {0, 0, 4}},
          {{1, 1, 0}, {2, 1, 1}, {2, 2, 2}, {1, 2, 3}, {1, 1, 4}}}},
        {"127 outside, 128 inside",
         {{127, 128}},
         {{{1, 0, 0}, {2, 0, 1}, {2, 1, 2}, {1, 1, 3}, {1, 0, 4}}}},
        {"L shape",
         {{255, 0}, {255, 255}},
         {{{0, 0, 0}, {1, 0, 1}, {1, 1, 2}, {2, 1, 3}, {2, 2, 4}, {0, 2, 6}, {0, 0, 8}}}},
    };
    for (const Case& c : cases) {
        MaskImage mask;
        makeMask(c.mask, mask);
        std::list<Boundary3d> outlines(3);  // earlier content must go
        computeMaskBoundaries(mask, outlines);
        ASSERT_EQ(outlines.size(), c.outlines.size()) << c.name;
        auto expected = c.outlines.begin();
        for (const Boundary3d& outline : outlines)
            EXPECT_EQ(verticesOf(outline), *expected++)
                << c.name << ": " << describe(verticesOf(outline));
        checkInvariants(mask, outlines);
    }
    MaskImage empty;  // no pixels: no outlines, earlier content dropped
    std::list<Boundary3d> outlines(2);
    computeMaskBoundaries(empty, outlines);
    EXPECT_TRUE(outlines.empty());
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
                        static_cast<unsigned char>(isInside(rng) ? 128 + rng() % 128 : rng() % 128);
                std::list<Boundary3d> outlines;
                computeMaskBoundaries(mask, outlines);
                checkInvariants(mask, outlines);
                if (testing::Test::HasFatalFailure()) return;
            }
}
