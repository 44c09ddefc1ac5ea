// The CPU material balls against plain geometry: under a uniform probe the matte ball is a disc
// of exactly albedo x 1 on a background of 1, centred in its tile with the radius a pinhole
// camera gives a unit sphere, from any orbit; under the built-in sky the matte ball is brightest
// where it faces the sun, and a mirror shows the sun where the law of reflection puts it.
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

// A scene of two balls lit by the probe, which is also the background.
struct Scene {
    explicit Scene(Float3Image* probe)
        : map(new ixImage::LatLongMap(probe->getWidth(), probe->getHeight())) {
        map->image = probe;
        ixImage::IrradianceAlg alg;
        alg.accumulate(*map);
        alg.getIrradiance(scene.irradiance);
        scene.background = map.get();
        scene.tileSize = kTile;
    }
    ix::Reference<ixImage::EnvironmentMap> map;
    iblBake::BallScene scene;
};

TEST(MaterialBalls, UniformProbeGivesAnEvenDiscWhereTheCameraPutsIt) {
    ix::Reference<Float3Image> white(new Float3Image);
    white->setSize(64, 32);
    for (int i = 0; i < 64 * 32; ++i) white->data()[i] = ixImage::FloatPixel3<float>(1, 1, 1);
    Scene s(white.get());
    s.scene.materials = {{"MATTE", nullptr}, {"MATTE", nullptr}};
    // A white probe's irradiance is 1 up to the discretisation of its 64 x 32 pixels.
    const float lit = 0.8f * float(ixImage::evaluateIrradiance(s.scene.irradiance, 0, 0, 1).green);
    ASSERT_NEAR(lit, 0.8f, 1e-3f);
    for (const iblBake::BallCamera& camera : {iblBake::BallCamera{0, 0, 4, 0.4f},
                                              {90, 30, 3, 0.4f},
                                              {-135, -60, 6, 0.4f},
                                              {20, 89, 2.5f, 0.4f}}) {
        s.scene.camera = camera;
        ix::Reference<Float3Image> row(iblBake::renderBallRow(s.scene));
        ASSERT_TRUE(row->getWidth() == 2 * kTile && row->getHeight() == kTile);
        // A unit sphere at distance d subtends asin(1 / d): on the image plane at distance 1
        // its outline is a circle of radius tan(asin(1 / d)) = 1 / sqrt(d^2 - 1).
        const double d = camera.distance, radius = kTile / 2.0 / std::sqrt(d * d - 1) / 0.4;
        int inside = 0, outside = 0;
        for (int y = 0; y < kTile; ++y)
            for (int x = 0; x < 2 * kTile; ++x) {
                const double r = std::hypot(x % kTile + 0.5 - kTile / 2.0, y + 0.5 - kTile / 2.0);
                const float value = row->at(x, y).green;
                EXPECT_EQ(row->at(x, y).red, row->at(x, y).blue);
                // Off the outline the values are exact to well within an 8-bit level (the
                // irradiance of the discrete white probe varies by about 2e-4 with the normal).
                if (std::fabs(r - radius) <= 1.0) {
                    EXPECT_TRUE(value >= lit - 1e-3f && value <= 1.0f + 1e-5f) << x << "," << y;
                } else {
                    EXPECT_NEAR(value, r < radius ? lit : 1.0f, 1e-3)
                        << x << "," << y << ", camera " << camera.azimuthDeg << "/"
                        << camera.elevationDeg << "/" << d;
                    (r < radius ? inside : outside) += 1;
                }
            }
        EXPECT_TRUE(inside > 100 && outside > 100);
    }
}

TEST(MaterialBalls, SkyLightsTheSideFacingTheSun) {
    const iblBake::SkyParameters sky;
    const VectorFlt sun = iblBake::sunDirection(sky);
    ix::Reference<Float3Image> probe(iblBake::makeSkyProbe(128, sky));
    Scene s(probe.get());
    s.scene.materials = {{"MATTE", nullptr}, {"MIRROR", s.map.get()}};  // the probe as a mirror
    ix::Reference<Float3Image> row(iblBake::renderBallRow(s.scene));
    const float t = s.scene.camera.tanHalfFov, d = s.scene.camera.distance;
    for (int ball = 0; ball < 2; ++ball) {
        float brightest = -1, darkest = 1e30f;
        VectorFlt brightN, brightR, darkN;
        for (int y = 0; y < kTile; ++y)
            for (int x = 0; x < kTile; ++x) {
                // The default camera on +Y looks along -Y, screen right -X, up +Z: the ray
                // through the pixel's centre, where it meets the unit sphere, and its reflection.
                VectorFlt dir(-((x + 0.5f) / kTile * 2 - 1) * t, -1.0f,
                              ((y + 0.5f) / kTile * 2 - 1) * t);
                dir.normalize();
                const float p = d * dir.y, disc = p * p - (d * d - 1);
                if (disc < 0) continue;
                const float hit = -p - std::sqrt(disc);
                const VectorFlt n(hit * dir.x, d + hit * dir.y, hit * dir.z);
                const float k = 2 * dir.dot(n);
                VectorFlt r(dir.x - k * n.x, dir.y - k * n.y, dir.z - k * n.z);
                r.normalize();
                const float value = row->at(ball * kTile + x, y).green;
                if (value > brightest) brightest = value, brightN = n, brightR = r;
                if (value < darkest) darkest = value, darkN = n;
            }
        const double degrees = 180 / M_PI;
        if (ball == 0) {
            EXPECT_GT(brightN.dot(sun), std::cos(35 / degrees)) << "brightest matte normal";
            EXPECT_LT(darkN.dot(sun), 0.0f) << "darkest matte normal";
        } else {  // within the sun's disc plus about a pixel's turn of the reflected ray
            EXPECT_GT(brightR.dot(sun), std::cos((sky.sunRadiusDeg + 5) / degrees));
        }
    }
}

}  // namespace
