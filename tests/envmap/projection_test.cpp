// Sphere, latitude-longitude and cross maps: dense grids against plain double models, round
// trips, seams, poles and cube edges, invalid coordinates, and solid angles summing to 4 pi.
#include <gtest/gtest.h>

#include <cmath>

#include "envmap_test_util.h"
#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/sphere_map.h"
#include "iximage/image/typed_image.h"

namespace {

using ixImage::CrossMap;
using ixImage::EnvironmentMap;
using ixImage::LatLongMap;
using ixImage::SphereMap;
using ixLinear::VectorFlt;
using ixTest::Dir;
using ixTest::kPi;
using ixTest::toDir;

// ---- Plain double models of the projections: false where (u, v) is off the projection ----

bool sphereModel(double u, double v, Dir& d) {
    const double xp = 2 * u - 1, yp = 2 * v - 1;
    const double theta = std::hypot(xp, yp) * kPi, phi = std::atan2(yp, xp);
    d = {std::cos(phi) * std::sin(theta), -std::cos(theta), std::sin(phi) * std::sin(theta)};
    return std::hypot(xp, yp) <= 1;
}
bool latLongModel(double u, double v, Dir& d) {
    const double lambda = (2 * v - 1) * kPi / 2, mu = (2 * u - 1) * kPi;
    d = {-std::sin(mu) * std::cos(lambda), -std::cos(mu) * std::cos(lambda), std::sin(lambda)};
    return true;
}

// The cube: each face's axis n and the axes along which s = 2 fu - 1 and t = 2 fv - 1 grow,
// the unnormalised direction being n + s es + t et; and the cells (column, row) of each face in
// the vertical (3 x 4) and horizontal (4 x 3) layouts. Face 5 lies turned by 180 degrees.
struct FaceFrame {
    Dir n, es, et;
};
const FaceFrame kFrames[6] = {
    {{-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},   {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}},
    {{0, 0, -1}, {-1, 0, 0}, {0, -1, 0}}, {{0, 0, 1}, {-1, 0, 0}, {0, 1, 0}},
    {{0, -1, 0}, {-1, 0, 0}, {0, 0, 1}},  {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},
};
const int kCells[2][6][2] = {{{2, 2}, {0, 2}, {1, 1}, {1, 3}, {1, 2}, {1, 0}},
                             {{2, 2}, {2, 0}, {1, 1}, {3, 1}, {2, 1}, {0, 1}}};

template <bool kHorizontal>
bool crossModel(double u, double v, Dir& d) {
    const double cu = u * (kHorizontal ? 4 : 3), cv = v * (kHorizontal ? 3 : 4);
    for (int f = 0; f < 6; ++f) {
        if (kCells[kHorizontal][f][0] != int(cu) || kCells[kHorizontal][f][1] != int(cv)) continue;
        const double sign = f == 5 ? -1 : 1, s = sign * (2 * (cu - int(cu)) - 1),
                     t = sign * (2 * (cv - int(cv)) - 1);
        const FaceFrame& F = kFrames[f];
        d = {F.n.x + s * F.es.x + t * F.et.x, F.n.y + s * F.es.y + t * F.et.y,
             F.n.z + s * F.es.z + t * F.et.z};
        const double len = ixTest::length(d);
        d = {d.x / len, d.y / len, d.z / len};
        return true;
    }
    return false;
}

// Every pixel centre: validity as the model says (outside: omega 0, dir untouched), directions
// matching its unit ones to 1e-6, dirToCoord bringing them back to the centre within 2e-6
// (lat-long v: 2e-6 / cos(latitude), as asin loses precision towards the poles), and solid angles
// summing to 4 pi on the fine grids. Left out of the round trip: the disc's outer rim (r > 0.98,
// where all directions crowd towards +Y) and the lat-long pole caps where the longitude is pinned.
// The cross weights its pixels by cos^2 rather than the exact cos^3 law: 0.45 % above 4 pi.
TEST(Projections, DenseGridsMatchModelRoundTripAndSumToFourPi) {
    const struct {
        const char* name;
        ix::Reference<EnvironmentMap> map;
        int w, h;
        bool (*model)(double, double, Dir&);
        double omegaTolerance;  // relative; 0 for the coarse grids
    } cases[] = {
        {"sphere 7", new SphereMap(7), 7, 7, sphereModel, 0},
        {"sphere 256", new SphereMap(256), 256, 256, sphereModel, 1e-3},
        {"lat-long 8x4", new LatLongMap(8, 4), 8, 4, latLongModel, 0},
        {"lat-long 200x100", new LatLongMap(200, 100), 200, 100, latLongModel, 1e-3},
        {"lat-long 1024x512", new LatLongMap(1024, 512), 1024, 512, latLongModel, 1e-3},
        {"vertical cross 1", new CrossMap(1, false), 3, 4, crossModel<false>, 0},
        {"vertical cross 64", new CrossMap(64, false), 192, 256, crossModel<false>, 5e-3},
        {"horizontal cross 4", new CrossMap(4, true), 16, 12, crossModel<true>, 0},
        {"horizontal cross 64", new CrossMap(64, true), 256, 192, crossModel<true>, 5e-3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        double worstDir = 0, worstRoundTrip = 0, omegaSum = 0;
        ixTest::forEachPixelCentre(c.w, c.h, [&](int, int, float u, float v) {
            Dir want;
            VectorFlt dir(7, 8, 9);
            float omega = -1;
            const bool valid = c.model(u, v, want);
            ASSERT_TRUE(c.map->coordToDir(u, v, dir, omega, true) == valid &&
                        c.map->isValidCoord(u, v) == valid)
                << "at " << u << ", " << v;
            omegaSum += omega;
            if (!valid) {
                ASSERT_TRUE(omega == 0 && dir.x == 7 && dir.y == 8 && dir.z == 9);
                return;
            }
            worstDir = std::fmax(worstDir, ixTest::maxDiff(toDir(dir), want));
            const bool sphere = c.map->type == EnvironmentMap::kSphere;
            const bool latLong = c.map->type == EnvironmentMap::kLatLong;
            if (sphere && std::hypot(2.0 * u - 1, 2.0 * v - 1) > 0.98) return;
            if (latLong && std::fabs(dir.x) < 0.01f && std::fabs(dir.y) < 0.01f) return;
            float u2, v2;
            c.map->dirToCoord(dir, u2, v2);
            const double vTol =
                latLong ? 2e-6 / std::fmax(std::sqrt(1 - dir.z * dir.z), 0.05) : 2e-6;
            worstRoundTrip = std::fmax(worstRoundTrip, std::fabs(u2 - u) / 2e-6);
            worstRoundTrip = std::fmax(worstRoundTrip, std::fabs(v2 - v) / vTol);
        });
        EXPECT_LT(worstDir, 1e-6);
        EXPECT_LE(worstRoundTrip, 1.0) << "round-trip error in units of its tolerance";
        EXPECT_TRUE(c.omegaTolerance == 0 || std::fabs(omegaSum / (4 * kPi) - 1) < c.omegaTolerance)
            << "solid angles sum to " << omegaSum;
    }
}

// Directions next to every seam: the 26 cube edge, corner and face-centre directions, the
// lat-long poles and its u = 0 / u = 1 seam (x = 0, y > 0), and points between them, each moved
// by about 1e-3 so that no two components tie. dirToCoord then coordToDir must give each back
// (to 1e-4: float z next to a pole or -Y fixes the angle from it only to about 3e-5). The
// lat-long pins the longitude within 0.01 of a pole, so there only the latitude comes back; the
// sphere's +Y, its whole rim, is left out.
TEST(Projections, DirectionsOnSeamsEdgesAndPolesRoundTrip) {
    const ix::Reference<EnvironmentMap> maps[] = {new SphereMap(64), new LatLongMap(200, 100),
                                                  new CrossMap(64, false), new CrossMap(64, true)};
    const double steps[] = {-1, -0.5, 0, 0.5, 1};
    for (const auto& map : maps)
        for (double x : steps)
            for (double y : steps)
                for (double z : steps) {
                    if (map->type == EnvironmentMap::kSphere && x == 0 && z == 0 && y > 0) continue;
                    const double dx = x + 1e-3, dy = y + 2e-3, dz = z - 3e-3;
                    const double len = std::sqrt(dx * dx + dy * dy + dz * dz);
                    const VectorFlt dir(float(dx / len), float(dy / len), float(dz / len));
                    VectorFlt back;
                    float u, v;
                    map->dirToCoord(dir, u, v);
                    ASSERT_TRUE(map->coordToDir(u, v, back)) << "type " << map->type << " " << dir;
                    const bool cap = map->type == EnvironmentMap::kLatLong &&
                                     std::fabs(dir.x) < 0.01f && std::fabs(dir.y) < 0.01f;
                    EXPECT_LT(ixTest::maxDiff(toDir(back), toDir(dir)), cap ? 0.015 : 1e-4)
                        << "type " << map->type << " " << dir << " came back as " << back;
                }
}

// copyFace takes each face's cell (face 5 turned by 180 degrees); pasting the six faces into a
// blank cross rebuilds the original on valid pixels and leaves the empty cells alone.
TEST(CrossMap, CopyFaceTakesTheCellAndPasteFaceUndoesIt) {
    const int N = 5;
    for (bool horizontal : {false, true}) {
        const int w = (horizontal ? 4 : 3) * N, h = (horizontal ? 3 : 4) * N;
        CrossMap map(N, horizontal);
        ixImage::FloatImage cross;
        ix::Reference<ixImage::FloatImage> rebuilt(new ixImage::FloatImage());
        cross.setSize(w, h);
        rebuilt->setSize(w, h);
        for (int i = 0; i < w * h; ++i) cross.data()[i] = float(i), rebuilt->data()[i] = -1;
        map.setImage(rebuilt.get());
        for (int f = 0; f < 6; ++f) {
            ixImage::FloatImage face;
            map.copyFace(cross, face, f);
            ASSERT_TRUE(face.getWidth() == N && face.getHeight() == N);
            const int corner = f == 5 ? N - 1 : 0;  // where the cell's first pixel lands
            EXPECT_EQ(face.at(corner, corner),
                      cross.at(kCells[horizontal][f][0] * N, kCells[horizontal][f][1] * N))
                << "horizontal " << horizontal << " face " << f;
            const float first = face.at(0, 0);
            map.pasteFace(face, f);
            EXPECT_EQ(face.at(0, 0), first) << "pasteFace must not turn the caller's face";
        }
        ixTest::forEachPixelCentre(w, h, [&](int x, int y, float u, float v) {
            EXPECT_EQ(rebuilt->at(x, y), map.isValidCoord(u, v) ? cross.at(x, y) : -1.0f)
                << "horizontal " << horizontal << " pixel " << x << ", " << y;
        });
    }
}

// Coordinates off the projection: false, omega 0 whatever computeOmega says, dir untouched. For
// the cross: u = 1 or v = 1 exactly, columns left of -1/3 and NaN (a hair left of u = 0 still
// truncates to column 0, and crossToCube says face -1 for an empty cell).
TEST(Projections, InvalidCoordinatesLeaveDirAndZeroOmega) {
    const SphereMap sphere(256);
    const CrossMap cross(64, false);
    const struct {
        const EnvironmentMap* map;
        float u, v;
    } cases[] = {
        {&sphere, 2.0f, 0.5f}, {&cross, 1.0f, 0.6f},          {&cross, 0.5f, 1.0f},
        {&cross, -0.5f, 0.6f}, {&cross, std::nanf(""), 0.6f},
    };
    for (const auto& c : cases)
        for (bool computeOmega : {false, true}) {
            VectorFlt dir(7, 8, 9);
            float omega = 5;
            EXPECT_FALSE(c.map->coordToDir(c.u, c.v, dir, omega, computeOmega) ||
                         c.map->isValidCoord(c.u, c.v))
                << "type " << c.map->type << " at " << c.u << ", " << c.v;
            EXPECT_TRUE(omega == 0 && dir.x == 7 && dir.y == 8 && dir.z == 9);
        }
    int face = 7;
    float fu, fv;
    EXPECT_FALSE(cross.crossToCube(0.1f, 0.1f, face, fu, fv));
    EXPECT_TRUE(face == -1 && cross.isValidCoord(-0.01f, 0.6f));
}

}  // namespace
