// Environment-map projections, their recognition from an image's shape, and point-sampled remaps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "envmap_test_util.h"
#include "image/random_image.h"
#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/recognize_remap.h"
#include "iximage/envmap/sphere_map.h"

using namespace ixImage;
using ixLinear::VectorFlt;
using ixTest::Dir;
using ixTest::kPi;
using ixTest::toDir;

// Plain double models of the projections: false where (u, v) is off the projection.
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

// The cube: direction n + s es + t et (s = 2 fu - 1, t = 2 fv - 1) on each face, the face's cell
// in the vertical and horizontal layouts, face 5 turned by 180 degrees.
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
        const double len = std::sqrt(ixTest::dot(d, d));
        d = {d.x / len, d.y / len, d.z / len};
        return true;
    }
    return false;
}

// Every pixel centre: valid as the model says (else omega 0, dir untouched), directions within
// 1e-6 of it, back to the centre within 2e-6 (lat-long v: over cos(latitude), asin's loss near the
// poles; the disc's rim and the pinned pole caps left out), solid angles summing to 4 pi (the
// cross weighs by cos^2, not cos^3: 0.45 % over).
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
            const bool sphere = c.map->type == EnvironmentMap::kSphere,
                       latLong = c.map->type == EnvironmentMap::kLatLong;
            if (sphere && std::hypot(2.0 * u - 1, 2.0 * v - 1) > 0.98) return;
            if (latLong && std::fabs(dir.x) < 0.01f && std::fabs(dir.y) < 0.01f) return;
            float u2, v2;
            c.map->dirToCoord(dir, u2, v2);
            const double vTol =
                latLong ? 2e-6 / std::fmax(std::sqrt(1 - dir.z * dir.z), 0.05) : 2e-6;
            worstRoundTrip = std::fmax(
                worstRoundTrip, std::fmax(std::fabs(u2 - u) / 2e-6, std::fabs(v2 - v) / vTol));
        });
        EXPECT_LT(worstDir, 1e-6);
        EXPECT_LE(worstRoundTrip, 1.0) << "round-trip error in units of its tolerance";
        EXPECT_TRUE(c.omegaTolerance == 0 || std::fabs(omegaSum / (4 * kPi) - 1) < c.omegaTolerance)
            << "solid angles sum to " << omegaSum;
    }
}

// Lat-long u = 0 and u = 1 come back to their own edge, v = 0 and 1 are the poles; the sphere
// map's rim looks along +Y.
TEST(Projections, SeamsAndPoles) {
    const LatLongMap latLong(200, 100);
    for (float u : {0.0f, 1.0f})
        for (float v : {0.1f, 0.5f, 0.77f}) {
            VectorFlt dir;
            float u2, v2;
            latLong.coordToDir(u, v, dir);
            latLong.dirToCoord(dir, u2, v2);
            EXPECT_TRUE(std::fabs(u2 - u) <= 1e-6 && std::fabs(v2 - v) <= 1e-6) << u << ", " << v;
        }
    for (float t : {0.0f, 0.3f, 1.0f}) {
        VectorFlt south, north, rim;
        ASSERT_TRUE(latLong.coordToDir(t, 0, south) && latLong.coordToDir(t, 1, north) &&
                    SphereMap(64).coordToDir(0.5f + 0.5f * std::cos(7 * t),
                                             0.5f + 0.5f * std::sin(7 * t), rim));
        EXPECT_TRUE(south.z < -0.999999f && north.z > 0.999999f && rim.y > 0.99999f);
    }
}

// copyFace takes each face's cell (face 5 turned by 180 degrees: its first pixel lands in the
// far corner); pasting the six faces into a blank cross rebuilds the original on valid pixels.
TEST(CrossMap, CopyFaceTakesTheCellAndPasteFaceUndoesIt) {
    const int N = 5;
    for (bool horizontal : {false, true}) {
        SCOPED_TRACE(horizontal ? "horizontal" : "vertical");
        const int w = (horizontal ? 4 : 3) * N, h = (horizontal ? 3 : 4) * N;
        CrossMap map(N, horizontal);
        FloatImage cross, face;
        ixTest::fillComponents<float, float>(cross, w, h, [i = 0]() mutable { return i++; });
        const FloatImage& rebuilt = ixTest::attachImage(map, w, h, -1.0f);
        for (int f = 0; f < 6; ++f) {
            map.copyFace(cross, face, f);
            ASSERT_TRUE(face.getWidth() == N && face.getHeight() == N);
            EXPECT_EQ(face.at(f == 5 ? N - 1 : 0, f == 5 ? N - 1 : 0),
                      cross.at(kCells[horizontal][f][0] * N, kCells[horizontal][f][1] * N))
                << f;
            map.pasteFace(face, f);
        }
        ixTest::forEachPixelCentre(w, h, [&](int x, int y, float u, float v) {
            EXPECT_EQ(rebuilt.at(x, y), map.isValidCoord(u, v) ? cross.at(x, y) : -1.0f)
                << x << ", " << y;
        });
    }
}

// Off the projection (exact far edges, left of -1/3, NaN): false, omega 0, dir untouched; a hair
// left of u = 0 still truncates to column 0.
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

// A recognised map gives the directions and solid angles of the one built by hand, sets the wrap
// flags and holds the image; an unrecognised shape leaves the image as it was.
TEST(NewEnvironmentMap, ShapesTable) {
    const struct {
        int w, h;
        ix::Reference<EnvironmentMap> expected;  // null: not recognised
        bool wrapU, wrapV;
    } cases[] = {
        {512, 512, new SphereMap(512), true, true},
        {400, 200, new LatLongMap(400, 200), true, false},
        {192, 256, new CrossMap(64, false), true, true},
        {300, 400, new CrossMap(100, false), true, true},
        {300, 404, nullptr, false, true},
        {256, 192, nullptr, false, true},  // a horizontal cross
        {401, 200, nullptr, false, true},
        {0, 0, nullptr, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h);
        ix::Reference<Image> image(new Float3Image());
        image->setSize(c.w, c.h);
        image->setWrap(false, true);  // a pattern no recognised shape sets
        ix::Reference<EnvironmentMap> map(newEnvironmentMap(*image));
        EXPECT_TRUE(image->getWrapHorizontal() == c.wrapU && image->getWrapVertical() == c.wrapV);
        EXPECT_EQ(image->getRefCount(), c.expected ? 2 : 1);
        ASSERT_EQ(bool(map), bool(c.expected));
        if (!map) continue;
        ASSERT_TRUE(map->getType() == c.expected->getType() && map->getImage() == image.get());
        VectorFlt got, want;
        float gotOmega = -1, wantOmega = -2;
        ASSERT_TRUE(map->coordToDir(0.45f, 0.6f, got, gotOmega, true) &&
                    c.expected->coordToDir(0.45f, 0.6f, want, wantOmega, true));
        EXPECT_TRUE(got.x == want.x && got.y == want.y && got.z == want.z && gotOmega == wantOmega)
            << got << " vs " << want;
    }
}

// A smooth environment, bounded away from 0 so relative errors mean something.
float radiance(const VectorFlt& d) { return 3 + d.x - d.y + 2 * d.z * d.z + d.x * d.z; }
// Worst and mean relative error of the valid pixels not skipped; invalid pixels must be zero.
template <class Skip>
void compareWithEnvironment(const EnvironmentMap& map, Skip skip, double worstMax, double meanMax) {
    const FloatImage& pixels = static_cast<const FloatImage&>(*map.image);
    double worst = 0, sum = 0;
    int count = 0;
    ixTest::forEachPixelCentre(
        pixels.getWidth(), pixels.getHeight(), [&](int x, int y, float u, float v) {
            VectorFlt dir;
            if (!map.coordToDir(u, v, dir)) {
                EXPECT_EQ(pixels.at(x, y), 0.0f) << x << ", " << y;
            } else if (!skip(dir)) {
                const double e = std::fabs(pixels.at(x, y) / radiance(dir) - 1);
                worst = std::fmax(worst, e), sum += e, ++count;
            }
        });
    EXPECT_GT(count, pixels.getWidth() * pixels.getHeight() / 3);
    EXPECT_TRUE(worst < worstMax && sum / count < meanMax)
        << "type " << map.type << ": worst " << worst << ", mean " << sum / count;
}

// Lat-long to a cross or sphere map and back. Left out of the trip back: two pixels along cube
// edges (taps reach the next cell) and +Y (the rim meets the zeroed corners). The sampler does
// not recentre: half a pixel off per step, about 0.7 degrees here.
TEST(Remap, SmoothEnvironmentSurvivesATripThroughAnotherProjection) {
    const CrossMap cross(128, false);
    auto nearFaceEdge = [&cross](const VectorFlt& dir) {
        float u, v, fu, fv;
        int face;
        cross.dirToCoord(dir, u, v);
        cross.crossToCube(u, v, face, fu, fv);
        return std::fmin(std::fmin(fu, 1 - fu), std::fmin(fv, 1 - fv)) < 2.0 / 128;
    };
    for (bool viaCross : {true, false}) {
        const int srcW = viaCross ? 512 : 256, backW = viaCross ? 512 : 128;
        ix::Reference<EnvironmentMap> src(new LatLongMap(srcW, srcW / 2)),
            back(new LatLongMap(backW, backW / 2)),
            middle(viaCross ? static_cast<EnvironmentMap*>(new CrossMap(cross))
                            : new SphereMap(256));
        FloatImage& source = ixTest::attachImage(*src, srcW, srcW / 2, 0.0f);
        ixTest::forEachPixelCentre(srcW, srcW / 2, [&](int x, int y, float u, float v) {
            VectorFlt dir;
            src->coordToDir(u, v, dir);
            source.at(x, y) = radiance(dir);
        });
        ixTest::attachImage(*middle, viaCross ? 384 : 256, viaCross ? 512 : 256, -7.0f);
        ixTest::attachImage(*back, backW, backW / 2, -7.0f);
        remap(*src, *middle);
        remap(*middle, *back);
        compareWithEnvironment(
            *middle, [](const VectorFlt&) { return false; }, viaCross ? 0.02 : 0.03,
            viaCross ? 0.005 : 0.01);
        compareWithEnvironment(
            *back, [&](const VectorFlt& d) { return viaCross ? nearFaceEdge(d) : d.y > 0.9f; },
            viaCross ? 0.03 : 0.05, viaCross ? 0.01 : 0.015);
    }
}

// A constant gives the constant on valid pixels and +0 elsewhere. The target starts as NaN
// bytes, so an unwritten pixel fails either way. Half rounds every step: a few ulps.
template <class T, class C>
void checkConstantRemap(const T& constant, double relTol) {
    ix::Reference<EnvironmentMap> src(new LatLongMap(32, 16)), dst(new CrossMap(4, false));
    ixTest::attachImage(*src, 32, 16, constant);
    TypedImage<T>& out = ixTest::attachImage(*dst, 12, 16, constant);
    std::memset(static_cast<void*>(out.data()), 0xFF, sizeof(T) * 12 * 16);
    remap(*src, *dst);
    const auto want = ixTest::componentsOf<T, C>(constant);
    ixTest::forEachPixelCentre(12, 16, [&](int x, int y, float u, float v) {
        const auto got = ixTest::componentsOf<T, C>(out.at(x, y));
        for (int c = 0; c < ixTest::kCount<T, C>; ++c)
            EXPECT_TRUE(dst->isValidCoord(u, v) ? std::fabs(got[c] - want[c]) <= relTol * want[c]
                                                : got[c] == 0.0f && !std::signbit(got[c]))
                << x << ", " << y << " #" << c << ": " << got[c];
    });
}

TEST(Remap, ConstantSourceForEachSupportedType) {
    checkConstantRemap<float, float>(3.25f, 1e-6);
    checkConstantRemap<FloatPixel3<float>, float>(FloatPixel3<float>(1, 2.5f, 0.125f), 1e-6);
    checkConstantRemap<FloatPixel4<float>, float>(FloatPixel4<float>(1, 2.5f, 0.125f, 0.75f), 1e-6);
    checkConstantRemap<FloatPixel4<half>, half>(FloatPixel4<half>(0.75f, 2.0f, 0.5f, 1.0f), 3e-3);
}

// Byte4 pixels, a destination of another type, and a source or destination without an image.
TEST(Remap, UnsupportedInputsLeaveTheDestinationAlone) {
    ix::Reference<EnvironmentMap> bytes(new LatLongMap(8, 4)), floats(new LatLongMap(8, 4)),
        empty(new LatLongMap(8, 4)), dst(new SphereMap(4));
    ixTest::attachImage(*bytes, 8, 4, Byte4(1, 2, 3, 4));
    ixTest::attachImage(*floats, 8, 4, FloatPixel3<float>(1, 2, 3));
    remap(*floats, *dst);  // no destination image: nothing to crash on
    Byte4Image& byteOut = ixTest::attachImage(*dst, 4, 4, Byte4(9, 9, 9, 9));
    remap(*bytes, *dst);
    remap(*floats, *dst);
    EXPECT_EQ(byteOut.at(2, 2), Byte4(9, 9, 9, 9));
    FloatImage& floatOut = ixTest::attachImage(*dst, 4, 4, 5.0f);
    remap(*floats, *dst);
    remap(*empty, *dst);
    EXPECT_EQ(floatOut.at(2, 2), 5.0f);
}
