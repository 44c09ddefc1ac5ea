// The CPU material balls against plain geometry: under a uniform probe the matte ball is a disc
// of exactly albedo x 1 on a background of 1, centred in its tile with the radius a pinhole
// camera gives a unit sphere, from any orbit. (How they are lit under a real sky is compared
// with the viewer page's independent rendering in the browser test.)
#include <gtest/gtest.h>

#include <cmath>

#include "balls.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/lighting/irradiance_alg.h"

using ixImage::Float3Image;

namespace {

constexpr int kTile = 64;

TEST(MaterialBalls, UniformProbeGivesAnEvenDiscWhereTheCameraPutsIt) {
    ix::Reference<Float3Image> white(new Float3Image);
    white->setSize(64, 32);
    for (int i = 0; i < 64 * 32; ++i) white->data()[i] = ixImage::FloatPixel3<float>(1, 1, 1);
    ixImage::LatLongMap map(64, 32);
    map.image = white.get();
    ixImage::IrradianceAlg alg;
    alg.accumulate(map);
    iblBake::BallScene scene;
    alg.getIrradiance(scene.irradiance);
    scene.background = &map;
    scene.tileSize = kTile;
    scene.materials = {{"MATTE", nullptr}, {"MATTE", nullptr}};
    // A white probe's irradiance is 1 up to the discretisation of its 64 x 32 pixels.
    const float lit = 0.8f * float(ixImage::evaluateIrradiance(scene.irradiance, 0, 0, 1).green);
    ASSERT_NEAR(lit, 0.8f, 1e-3f);
    for (const iblBake::BallCamera& camera : {iblBake::BallCamera{0, 0, 4, 0.4f},
                                              {90, 30, 3, 0.4f},
                                              {-135, -60, 6, 0.4f},
                                              {20, 89, 2.5f, 0.4f}}) {
        scene.camera = camera;
        ix::Reference<Float3Image> row(iblBake::renderBallRow(scene));
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

}  // namespace
