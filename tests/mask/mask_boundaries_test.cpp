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

// The outline's points (checking that z and v are 0).
std::vector<Vertex> verticesOf(const Boundary3d& o) {
    std::vector<Vertex> v;
    EXPECT_EQ(o.points.size(), o.uvs.size() / 2 * 3);
    for (std::size_t i = 0; 3 * i + 2 < o.points.size() && 2 * i + 1 < o.uvs.size(); ++i) {
        EXPECT_TRUE(o.points[3 * i + 2] == 0.0f && o.uvs[2 * i + 1] == 0.0f);
        v.push_back({int(o.points[3 * i]), int(o.points[3 * i + 1]), int(o.uvs[2 * i])});
    }
    return v;
}

// Every outline is closed, axis-aligned, corners only, starts in scan order with u = 0 and u
// running the length, and keeps the outside on its left (each crack it walks is an edge). At a
// saddle (inside pixels meeting at a corner) it turns right: inside is 4-connected, so diagonal
// neighbours are apart. Together the outlines walk every inside/outside crack exactly once.
void checkInvariants(const MaskImage& mask, const std::list<Boundary3d>& outlines) {
    auto in = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < mask.getWidth() && y < mask.getHeight() &&
               mask.at(x, y) >= 128;
    };
    std::string picture;
    int crackCount = 0, totalLength = 0;
    for (int y = 0; y < mask.getHeight(); ++y, picture += '\n')
        for (int x = 0; x < mask.getWidth(); ++x) {
            picture += in(x, y) ? '#' : '.';
            crackCount +=
                in(x, y) * (!in(x - 1, y) + !in(x + 1, y) + !in(x, y - 1) + !in(x, y + 1));
        }
    std::set<std::tuple<int, int, bool>> cracks;  // lower-left end and orientation
    std::pair<int, int> previousStart(-1, -1);    // (y, x) of the last start
    for (const Boundary3d& outline : outlines) {
        const std::vector<Vertex> v = verticesOf(outline);
        const std::string here = ::testing::PrintToString(v) + "\n" + picture;
        ASSERT_GE(v.size(), 5u) << here;
        ASSERT_TRUE(v[0][0] == v.back()[0] && v[0][1] == v.back()[1] && v[0][2] == 0) << here;
        ASSERT_LT(previousStart, std::make_pair(v[0][1], v[0][0])) << here;
        previousStart = {v[0][1], v[0][0]};
        for (std::size_t i = 0; i + 1 < v.size(); ++i) {
            const Vertex &a = v[i == 0 ? v.size() - 2 : i - 1], &b = v[i], &c = v[i + 1];
            const int dx = c[0] - b[0], dy = c[1] - b[1], sx = (dx > 0) - (dx < 0);
            const int sy = (dy > 0) - (dy < 0), px = (b[0] > a[0]) - (b[0] < a[0]);
            const int turn = px * sy - ((b[1] > a[1]) - (b[1] < a[1])) * sx;  // > 0: right
            ASSERT_TRUE((dx == 0) != (dy == 0)) << "diagonal segment " << here;
            ASSERT_EQ(c[2] - b[2], std::abs(dx) + std::abs(dy)) << here;
            ASSERT_NE(turn, 0) << "straight or reversing at " << i << " " << here;
            const int x = b[0], y = b[1];
            const bool saddle = in(x - 1, y - 1) == in(x, y) && in(x - 1, y) == in(x, y - 1) &&
                                in(x, y) != in(x - 1, y);
            ASSERT_TRUE(!saddle || turn > 0) << "left turn at a saddle " << here;
            for (int cx = x, cy = y; cx != c[0] || cy != c[1]; cx += sx, cy += sy) {
                // The pixels right and left of the unit crack from (cx, cy), y down.
                ASSERT_TRUE(in(cx - (sx < 0 || sy > 0), cy - (sx < 0 || sy < 0)) &&
                            !in(cx - (sx < 0 || sy < 0), cy - (sx > 0 || sy < 0)))
                    << "outside not on the left at (" << cx << "," << cy << ") " << here;
                ASSERT_TRUE(
                    cracks.insert({std::min(cx, cx + sx), std::min(cy, cy + sy), sx != 0}).second)
                    << "crack at (" << cx << "," << cy << ") walked twice " << here;
            }
        }
        totalLength += v.back()[2];
    }
    EXPECT_TRUE(int(cracks.size()) == crackCount && totalLength == crackCount) << picture;
}

}  // namespace

TEST(ComputeMaskBoundaries, WorkedExamples) {
    const std::vector<Vertex> square = {{0, 0, 0}, {1, 0, 1}, {1, 1, 2}, {0, 1, 3}, {0, 0, 4}};
    const std::vector<std::pair<std::vector<std::vector<int>>, std::list<std::vector<Vertex>>>>
        cases = {
            {{{255, 0}, {0, 0}}, {square}},
            {{{255, 255, 255}, {255, 0, 255}, {255, 255, 255}},  // a ring
             {{{0, 0, 0}, {3, 0, 3}, {3, 3, 6}, {0, 3, 9}, {0, 0, 12}},
              {{1, 1, 0}, {1, 2, 1}, {2, 2, 2}, {2, 1, 3}, {1, 1, 4}}}},
            {{{255, 0}, {0, 255}},  // diagonal neighbours are apart
             {square, {{1, 1, 0}, {2, 1, 1}, {2, 2, 2}, {1, 2, 3}, {1, 1, 4}}}},
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
        EXPECT_EQ(got, expected) << ::testing::PrintToString(rows);
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
