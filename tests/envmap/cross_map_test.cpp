// Cross cube map: worked cases, a plain cube model compared over dense grids of both layouts,
// continuity along the twelve cube edges, and face copies.
#include <gtest/gtest.h>

#include <cmath>

#include "envmap_test_util.h"
#include "iximage/envmap/cross_map.h"
#include "iximage/image/typed_image.h"

namespace {

using ixImage::CrossMap;
using ixLinear::VectorFlt;
using ixTest::Dir;
using ixTest::dot;
using ixTest::toDir;

// The cube, written independently of the library: each face's axis n and the axes along which
// s = 2 fu - 1 and t = 2 fv - 1 grow, the unnormalised direction being n + s es + t et.
struct FaceFrame {
    Dir n, es, et;
};
const FaceFrame kFrames[6] = {
    {{-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},    // 0: -X
    {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}},    // 1: +X
    {{0, 0, -1}, {-1, 0, 0}, {0, -1, 0}},  // 2: -Z
    {{0, 0, 1}, {-1, 0, 0}, {0, 1, 0}},    // 3: +Z
    {{0, -1, 0}, {-1, 0, 0}, {0, 0, 1}},   // 4: -Y
    {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},     // 5: +Y
};
// Cells (column along u, row along v) of each face in the two layouts.
const int kVerticalCells[6][2] = {{2, 2}, {0, 2}, {1, 1}, {1, 3}, {1, 2}, {1, 0}};
const int kHorizontalCells[6][2] = {{2, 2}, {2, 0}, {1, 1}, {3, 1}, {2, 1}, {0, 1}};

Dir faceDirection(int face, double s, double t) {
    const FaceFrame& f = kFrames[face];
    const Dir d = {f.n.x + s * f.es.x + t * f.et.x, f.n.y + s * f.es.y + t * f.et.y,
                   f.n.z + s * f.es.z + t * f.et.z};
    const double len = ixTest::length(d);
    return {d.x / len, d.y / len, d.z / len};
}

// Every pixel centre of both layouts: validity and face follow the layout table, directions
// are unit and match the cube model, dirToCoord and cubeToCross invert coordToDir and
// crossToCube (face 5's fractions come back turned by 180 degrees).
TEST(CrossMap, DenseGridsMatchCubeModelAndRoundTrip) {
    for (bool horizontal : {false, true}) {
        for (int N : {1, 4, 64}) {
            const CrossMap map(N, horizontal);
            const auto& cells = horizontal ? kHorizontalCells : kVerticalCells;
            const int w = (horizontal ? 4 : 3) * N, h = (horizontal ? 3 : 4) * N;
            int valid = 0;
            double worstDir = 0, worstRoundTrip = 0;
            ixTest::forEachPixelCentre(w, h, [&](int x, int y, float u, float v) {
                int face = -1;
                for (int f = 0; f < 6; ++f)
                    if (cells[f][0] == x / N && cells[f][1] == y / N) face = f;
                VectorFlt dir;
                const bool ok = map.coordToDir(u, v, dir);
                ASSERT_EQ(ok, face >= 0)
                    << "horizontal " << horizontal << " N " << N << " pixel " << x << ", " << y;
                if (!ok) return;
                ++valid;
                double fu = (x % N + 0.5) / N, fv = (y % N + 0.5) / N;
                if (face == 5) fu = 1 - fu, fv = 1 - fv;
                EXPECT_NEAR(ixTest::length(toDir(dir)), 1.0, 1e-6);
                worstDir = std::fmax(
                    worstDir,
                    ixTest::maxDiff(toDir(dir), faceDirection(face, 2 * fu - 1, 2 * fv - 1)));
                int f2;
                float cu, cv, u2, v2, u3, v3;
                ASSERT_TRUE(map.crossToCube(u, v, f2, cu, cv));
                EXPECT_EQ(f2, face);
                worstRoundTrip =
                    std::fmax(worstRoundTrip, std::fmax(std::fabs(cu - fu), std::fabs(cv - fv)));
                map.dirToCoord(dir, u2, v2);
                map.cubeToCross(cu, cv, f2, u3, v3);
                worstRoundTrip =
                    std::fmax(worstRoundTrip, std::fmax(std::fabs(u2 - u), std::fabs(v2 - v)));
                worstRoundTrip =
                    std::fmax(worstRoundTrip, std::fmax(std::fabs(u3 - u), std::fabs(v3 - v)));
            });
            EXPECT_EQ(valid, 6 * N * N);
            EXPECT_LT(worstDir, 1e-6) << "horizontal " << horizontal << " N " << N;
            EXPECT_LT(worstRoundTrip, 1e-6) << "horizontal " << horizontal << " N " << N;
        }
    }
}

// Each cube edge is shared by two faces with perpendicular axes. Points a hair inside either
// face next to the edge must give nearly the same direction, wherever the layout puts the cells.
TEST(CrossMap, NeighbouringFacesMeetAlongAllTwelveEdges) {
    const double delta = 1e-3;
    for (bool horizontal : {false, true}) {
        const CrossMap map(64, horizontal);
        int edges = 0;
        for (int a = 0; a < 6; ++a) {
            for (int b = a + 1; b < 6; ++b) {
                const Dir na = kFrames[a].n, nb = kFrames[b].n;
                if (std::fabs(dot(na, nb)) > 0.5) continue;  // opposite faces share no edge
                ++edges;
                const Dir along = {na.y * nb.z - na.z * nb.y, na.z * nb.x - na.x * nb.z,
                                   na.x * nb.y - na.y * nb.x};
                for (double lambda = -0.95; lambda <= 0.95; lambda += 0.05) {
                    VectorFlt dirs[2];
                    const int faces[2] = {a, b};
                    for (int side = 0; side < 2; ++side) {
                        // q on the edge, pulled towards the centre of this side's face.
                        const Dir pull = side == 0 ? nb : na;
                        const Dir q = {na.x + nb.x + lambda * along.x - delta * pull.x,
                                       na.y + nb.y + lambda * along.y - delta * pull.y,
                                       na.z + nb.z + lambda * along.z - delta * pull.z};
                        const int f = faces[side];
                        float u, v, fu, fv;
                        map.cubeToCross(static_cast<float>((dot(q, kFrames[f].es) + 1) / 2),
                                        static_cast<float>((dot(q, kFrames[f].et) + 1) / 2), f, u,
                                        v);
                        int found;
                        ASSERT_TRUE(map.crossToCube(u, v, found, fu, fv));
                        ASSERT_EQ(found, f) << "edge " << a << "-" << b << " lambda " << lambda;
                        ASSERT_TRUE(map.coordToDir(u, v, dirs[side]));
                    }
                    EXPECT_LT(ixTest::maxDiff(toDir(dirs[0]), toDir(dirs[1])), 2 * delta)
                        << "horizontal " << horizontal << " faces " << a << ", " << b << " lambda "
                        << lambda << ": " << dirs[0] << " vs " << dirs[1];
                }
            }
        }
        EXPECT_EQ(edges, 12);
    }
}

// A cross image whose every pixel is distinct: value = x + 1000 y.
ix::Reference<ixImage::FloatImage> numberedImage(int w, int h) {
    ix::Reference<ixImage::FloatImage> image(new ixImage::FloatImage());
    image->setSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image->at(x, y) = static_cast<float>(x + 1000 * y);
    return image;
}

// copyFace takes each face's cell (face 5 turned by 180 degrees); pasting the six faces into a
// blank cross rebuilds the original on valid pixels and leaves the empty cells alone.
TEST(CrossMap, CopyFaceTakesTheCellAndPasteFaceUndoesIt) {
    const int N = 5;
    for (bool horizontal : {false, true}) {
        const auto& cells = horizontal ? kHorizontalCells : kVerticalCells;
        const int w = (horizontal ? 4 : 3) * N, h = (horizontal ? 3 : 4) * N;
        CrossMap map(N, horizontal);
        const auto cross = numberedImage(w, h);
        ix::Reference<ixImage::FloatImage> rebuilt(new ixImage::FloatImage());
        rebuilt->setSize(w, h);
        for (int i = 0; i < w * h; ++i) rebuilt->data()[i] = 0.0f;
        map.setImage(rebuilt.get());
        for (int f = 0; f < 6; ++f) {
            ix::Reference<ixImage::FloatImage> face(new ixImage::FloatImage());
            map.copyFace(*cross, *face, f);
            ASSERT_TRUE(face->getWidth() == N && face->getHeight() == N);
            for (int j = 0; j < N; ++j)
                for (int i = 0; i < N; ++i) {
                    const int ci = f == 5 ? N - 1 - i : i, cj = f == 5 ? N - 1 - j : j;
                    EXPECT_EQ(face->at(i, j), cross->at(cells[f][0] * N + ci, cells[f][1] * N + cj))
                        << "horizontal " << horizontal << " face " << f << " pixel " << i << ", "
                        << j;
                }
            const float firstBefore = face->at(0, 0);
            map.pasteFace(*face, f);
            EXPECT_EQ(face->at(0, 0), firstBefore) << "pasteFace must not turn the caller's face";
        }
        ixTest::forEachPixelCentre(w, h, [&](int x, int y, float u, float v) {
            EXPECT_EQ(rebuilt->at(x, y), map.isValidCoord(u, v) ? cross->at(x, y) : 0.0f)
                << "horizontal " << horizontal << " pixel " << x << ", " << y;
        });
    }
}

}  // namespace
