// The CPU material balls against plain geometry: under a uniform probe the matte ball is a
// disc of exactly albedo x 1 on a background of 1, centred in its tile with the radius a
// pinhole camera gives a unit sphere, from any orbit; under the built-in sky the matte ball is
// brightest where it faces the sun, and a mirror-like map shows the sun where the law of
// reflection puts it.
#include <gtest/gtest.h>

#include <cmath>

#include "balls.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/lighting/irradiance_alg.h"
#include "sky_probe.h"

using ixImage::Float3Image;
using ixLinear::VectorFlt;

namespace {

constexpr int kTile = 64;

ix::Reference<ixImage::EnvironmentMap> latLongOf(Float3Image* image) {
    ix::Reference<ixImage::EnvironmentMap> map(
        new ixImage::LatLongMap(image->getWidth(), image->getHeight()));
    map->image = image;
    return map;
}

ixImage::Irradiance irradianceOf(const ixImage::EnvironmentMap& map) {
    ixImage::IrradianceAlg alg;
    alg.accumulate(map);
    ixImage::Irradiance irradiance;
    alg.getIrradiance(irradiance);
    return irradiance;
}

struct CameraCase {
    float azimuthDeg, elevationDeg, distance;
};

TEST(MaterialBalls, UniformProbeGivesAnEvenDiscWhereTheCameraPutsIt) {
    ix::Reference<Float3Image> white(new Float3Image);
    white->setSize(64, 32);
    for (int i = 0; i < 64 * 32; ++i) white->data()[i] = ixImage::FloatPixel3<float>(1, 1, 1);
    const auto map = latLongOf(white.get());
    const CameraCase cases[] = {{0, 0, 4}, {90, 30, 3}, {-135, -60, 6}, {20, 89, 2.5f}};
    for (const CameraCase& c : cases) {
        iblBake::BallScene scene;
        scene.background = map.get();
        scene.irradiance = irradianceOf(*map);
        scene.materials = {{"MATTE", nullptr}, {"MATTE", nullptr}};
        scene.camera = {c.azimuthDeg, c.elevationDeg, c.distance, 0.4f};
        scene.tileSize = kTile;
        // A white probe's irradiance is 1 up to the discretisation of its 64 x 32 pixels.
        const float lit =
            0.8f * float(ixImage::evaluateIrradiance(scene.irradiance, 0, 0, 1).green);
        ASSERT_NEAR(lit, 0.8f, 1e-3f);
        ix::Reference<Float3Image> row(iblBake::renderBallRow(scene));
        ASSERT_EQ(row->getWidth(), 2 * kTile);
        ASSERT_EQ(row->getHeight(), kTile);
        // A unit sphere at distance d subtends asin(1 / d): on the image plane at distance 1
        // its outline is a circle of radius tan(asin(1 / d)) = 1 / sqrt(d^2 - 1).
        const double radius = kTile / 2.0 / std::sqrt(double(c.distance) * c.distance - 1.0) /
                              scene.camera.tanHalfFov;
        int inside = 0, outside = 0, edge = 0;
        for (int y = 0; y < kTile; ++y)
            for (int x = 0; x < 2 * kTile; ++x) {
                const double r = std::hypot(x % kTile + 0.5 - kTile / 2.0, y + 0.5 - kTile / 2.0);
                const float value = row->at(x, y).green;
                const float expected = r < radius - 1.0 ? lit : (r > radius + 1.0 ? 1.0f : -1);
                if (expected < 0) {
                    ++edge;
                    EXPECT_TRUE(value >= lit - 1e-3f && value <= 1.0f + 1e-5f) << x << "," << y;
                    continue;
                }
                (expected < 1.0f ? inside : outside) += 1;
                // Equal to well within an 8-bit level (the irradiance of the discrete white
                // probe varies by about 2e-4 with the normal).
                EXPECT_NEAR(value, expected, 1e-3)
                    << "pixel " << x << "," << y << " at " << r << " px from the centre, radius "
                    << radius << ", camera " << c.azimuthDeg << "/" << c.elevationDeg << "/"
                    << c.distance;
                EXPECT_EQ(row->at(x, y).red, row->at(x, y).blue);
            }
        EXPECT_GT(inside, 100);
        EXPECT_GT(outside, 100);
        EXPECT_GT(edge, 20);
    }
}

// The view ray through the centre of pixel (x, y) of the default camera (on +Y at distance d,
// looking along -Y, screen right -X, screen up +Z), written out plainly; false on a miss.
bool defaultCameraHit(int x, int y, float tanHalfFov, float d, VectorFlt& normal,
                      VectorFlt& reflected) {
    const float a = ((x + 0.5f) / kTile * 2 - 1) * tanHalfFov;
    const float b = ((y + 0.5f) / kTile * 2 - 1) * tanHalfFov;
    VectorFlt dir(-a, -1.0f, b);
    dir.normalize();
    const VectorFlt eye(0, d, 0);
    const float p = eye.dot(dir), disc = p * p - (d * d - 1);
    if (disc < 0) return false;
    const float t = -p - std::sqrt(disc);
    normal = VectorFlt(eye.x + t * dir.x, eye.y + t * dir.y, eye.z + t * dir.z);
    const float k = 2 * dir.dot(normal);
    reflected = VectorFlt(dir.x - k * normal.x, dir.y - k * normal.y, dir.z - k * normal.z);
    return true;
}

TEST(MaterialBalls, SkyLightsTheSideFacingTheSun) {
    const iblBake::SkyParameters sky;
    const VectorFlt sun = iblBake::sunDirection(sky);
    ix::Reference<Float3Image> probe(iblBake::makeSkyProbe(128, sky));
    const auto map = latLongOf(probe.get());
    iblBake::BallScene scene;
    scene.background = map.get();
    scene.irradiance = irradianceOf(*map);
    // The probe itself as the "specular map": a mirror, so the sun shows where it reflects.
    scene.materials = {{"MATTE", nullptr}, {"MIRROR", map.get()}};
    scene.tileSize = kTile;
    ix::Reference<Float3Image> row(iblBake::renderBallRow(scene));
    struct Extreme {
        float value;
        VectorFlt normal, reflected;
    };
    for (int ball = 0; ball < 2; ++ball) {
        Extreme brightest{-1, {}, {}}, darkest{1e30f, {}, {}};
        for (int y = 0; y < kTile; ++y)
            for (int x = 0; x < kTile; ++x) {
                VectorFlt n, r;
                if (!defaultCameraHit(x, y, scene.camera.tanHalfFov, scene.camera.distance, n, r))
                    continue;
                const float value = row->at(ball * kTile + x, y).green;
                if (value > brightest.value) brightest = {value, n, r};
                if (value < darkest.value) darkest = {value, n, r};
            }
        const double degrees = 180 / 3.14159265358979;
        if (ball == 0) {
            EXPECT_GT(brightest.normal.dot(sun), std::cos(35 / degrees))
                << "brightest matte normal " << brightest.normal.x << ", " << brightest.normal.y
                << ", " << brightest.normal.z;
            EXPECT_LT(darkest.normal.dot(sun), 0.0f);
        } else {
            brightest.reflected.normalize();
            // Within the sun's disc plus about a pixel's turn of the reflected ray.
            EXPECT_GT(brightest.reflected.dot(sun), std::cos((sky.sunRadiusDeg + 5) / degrees))
                << "brightest mirror reflection " << brightest.reflected.x << ", "
                << brightest.reflected.y << ", " << brightest.reflected.z;
        }
    }
}

}  // namespace
