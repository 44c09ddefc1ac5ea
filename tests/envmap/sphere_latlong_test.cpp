// Sphere and latitude-longitude maps: worked cases, dense grids against a plain double model,
// round trips, and solid angles summing to 4 pi.
#include <gtest/gtest.h>

#include <cmath>

#include "envmap_test_util.h"
#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/sphere_map.h"

namespace {

using ixImage::EnvironmentMap;
using ixImage::LatLongMap;
using ixImage::SphereMap;
using ixLinear::VectorFlt;
using ixTest::Dir;
using ixTest::kPi;
using ixTest::toDir;

const SphereMap kSphere(256);
const LatLongMap kLatLong(200, 100);

// Outside the projection: false, omega 0 whatever computeOmega says, dir untouched. For the
// cross: empty cells, u = 1 or v = 1 exactly, columns left of -1/3 and NaN.
TEST(Projections, InvalidCoordinatesLeaveDirAndZeroOmega) {
    const ixImage::CrossMap cross(64, false);
    struct InvalidCase {
        const EnvironmentMap* map;
        float u, v;
    };
    const InvalidCase cases[] = {
        {&kSphere, 0.0f, 0.0f}, {&kSphere, 1.0f, 1.0f}, {&kSphere, 0.9f, 0.9f},
        {&kSphere, 2.0f, 0.5f}, {&cross, 0.1f, 0.1f},   {&cross, 0.9f, 0.1f},
        {&cross, 0.1f, 0.9f},   {&cross, 0.9f, 0.3f},   {&cross, 1.0f, 0.6f},
        {&cross, 0.5f, 1.0f},   {&cross, -0.5f, 0.6f},  {&cross, std::nanf(""), 0.6f},
    };
    for (const InvalidCase& c : cases) {
        for (bool computeOmega : {false, true}) {
            VectorFlt dir(7, 8, 9);
            float omega = 5;
            EXPECT_FALSE(c.map->coordToDir(c.u, c.v, dir, omega, computeOmega))
                << "type " << c.map->type << " at " << c.u << ", " << c.v;
            EXPECT_EQ(omega, 0.0f) << "computeOmega " << computeOmega;
            EXPECT_TRUE(dir.x == 7 && dir.y == 8 && dir.z == 9) << "dir must stay untouched";
        }
        EXPECT_FALSE(c.map->isValidCoord(c.u, c.v))
            << "type " << c.map->type << " at " << c.u << ", " << c.v;
    }
    int face = 7;
    float fu, fv;
    EXPECT_FALSE(cross.crossToCube(0.1f, 0.1f, face, fu, fv));
    EXPECT_EQ(face, -1);
    // Truncation toward zero: a hair left of u = 0 still counts as column 0 (face 1).
    EXPECT_TRUE(cross.isValidCoord(-0.01f, 0.6f));
}

TEST(LatLongMap, SeamCoordinatesComeBackToTheirOwnEdge) {
    for (float v : {0.1f, 0.3f, 0.5f, 0.77f, 0.9f})
        for (float u : {0.0f, 1.0f}) {
            VectorFlt dir;
            float u2, v2;
            kLatLong.coordToDir(u, v, dir);
            kLatLong.dirToCoord(dir, u2, v2);
            EXPECT_TRUE(std::fabs(u2 - u) <= 1e-6 && std::fabs(v2 - v) <= 1e-6)
                << "(u, v) = (" << u << ", " << v << ") came back as (" << u2 << ", " << v2 << ")";
        }
}

// Plain double models of the two projections.
Dir sphereModel(double u, double v) {
    const double xp = 2 * u - 1, yp = 2 * v - 1;
    const double theta = std::hypot(xp, yp) * kPi, phi = std::atan2(yp, xp);
    return {std::cos(phi) * std::sin(theta), -std::cos(theta), std::sin(phi) * std::sin(theta)};
}
Dir latLongModel(double u, double v) {
    const double lambda = (2 * v - 1) * kPi / 2, mu = (2 * u - 1) * kPi;
    return {-std::sin(mu) * std::cos(lambda), -std::cos(mu) * std::cos(lambda), std::sin(lambda)};
}

// Every valid pixel centre: unit direction matching the model to 1e-6; the direction converts
// back to the centre within 2e-6 (u) and 2e-6 / cos(latitude) (v: asin loses precision towards
// the poles). Left out of the round trip: the disc's outer rim (r > 0.98, where all directions
// crowd towards +Y) and the lat-long pole caps where the longitude is pinned.
TEST(Projections, DenseGridsMatchModelAndRoundTrip) {
    struct GridCase {
        const char* name;
        ix::Reference<EnvironmentMap> map;
        int w, h;
        Dir (*model)(double, double);
    };
    const GridCase cases[] = {
        {"sphere 7", new SphereMap(7), 7, 7, sphereModel},
        {"sphere 64", new SphereMap(64), 64, 64, sphereModel},
        {"sphere 256", new SphereMap(256), 256, 256, sphereModel},
        {"lat-long 8x4", new LatLongMap(8, 4), 8, 4, latLongModel},
        {"lat-long 200x100", new LatLongMap(200, 100), 200, 100, latLongModel},
        {"lat-long 1024x512", new LatLongMap(1024, 512), 1024, 512, latLongModel},
    };
    for (const GridCase& c : cases) {
        double worstDir = 0, worstLength = 0, worstRoundTrip = 0;
        int valid = 0;
        ixTest::forEachPixelCentre(c.w, c.h, [&](int, int, float u, float v) {
            VectorFlt dir;
            const bool ok = c.map->coordToDir(u, v, dir);
            EXPECT_EQ(ok, c.map->isValidCoord(u, v)) << c.name << " at " << u << ", " << v;
            if (!ok) return;
            ++valid;
            worstLength = std::fmax(worstLength, std::fabs(ixTest::length(toDir(dir)) - 1));
            worstDir = std::fmax(worstDir, ixTest::maxDiff(toDir(dir), c.model(u, v)));
            const bool sphere = c.map->type == EnvironmentMap::kSphere;
            if (sphere && std::hypot(2.0 * u - 1, 2.0 * v - 1) > 0.98) return;
            if (!sphere && std::fabs(dir.x) < 0.01f && std::fabs(dir.y) < 0.01f) return;
            float u2, v2;
            c.map->dirToCoord(dir, u2, v2);
            const double vTol =
                sphere ? 2e-6 : 2e-6 / std::fmax(std::sqrt(1 - dir.z * dir.z), 0.05);
            worstRoundTrip = std::fmax(worstRoundTrip, std::fabs(u2 - u) / 2e-6);
            worstRoundTrip = std::fmax(worstRoundTrip, std::fabs(v2 - v) / vTol);
        });
        EXPECT_GT(valid, c.w * c.h / 2) << c.name;
        EXPECT_LT(worstLength, 1e-6) << c.name;
        EXPECT_LT(worstDir, 1e-6) << c.name;
        EXPECT_LE(worstRoundTrip, 1.0) << c.name << " (round-trip error in units of its tolerance)";
    }
}

// Integral of 1 / (1 + s^2 + t^2) over [-1, 1]^2: the inner integral over t is
// 2 atan(1 / a) / a with a = sqrt(1 + s^2); the outer one by the midpoint rule.
double crossWeightIntegral() {
    const int n = 20000;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const double s = -1 + (i + 0.5) * 2.0 / n, a = std::sqrt(1 + s * s);
        sum += 2 * std::atan(1 / a) / a * (2.0 / n);
    }
    return sum;
}

// Per-pixel solid angles summed over every pixel centre (invalid pixels report 0). The cross
// weights its pixels by cos^2 rather than the exact cos^3 law; with its factor pi^2 / (3 w h)
// the six faces integrate to pi^2 / 2 * crossWeightIntegral() = 12.6234, 0.45% above 4 pi.
TEST(Projections, SolidAnglesSumToFourPi) {
    struct OmegaCase {
        const char* name;
        ix::Reference<EnvironmentMap> map;
        int w, h;
        double expected;
    };
    const OmegaCase cases[] = {
        {"lat-long 200x100", new LatLongMap(200, 100), 200, 100, 4 * kPi},
        {"lat-long 1024x512", new LatLongMap(1024, 512), 1024, 512, 4 * kPi},
        {"sphere 256", new SphereMap(256), 256, 256, 4 * kPi},
        {"cross 64", new ixImage::CrossMap(64, false), 192, 256,
         kPi* kPi / 2 * crossWeightIntegral()},
    };
    for (const OmegaCase& c : cases) {
        double sum = 0;
        ixTest::forEachPixelCentre(c.w, c.h, [&](int, int, float u, float v) {
            VectorFlt dir;
            float omega = -1;
            c.map->coordToDir(u, v, dir, omega, true);
            sum += omega;
        });
        EXPECT_NEAR(sum, c.expected, 1e-3 * c.expected) << c.name;
    }
}

}  // namespace
