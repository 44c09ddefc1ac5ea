// Diffuse lighting against physics: white furnaces, the exact nine-term irradiance of a plainly
// integrated image, single pixels, energy preservation, and pixel types.
#include <gtest/gtest.h>

#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/sphere_map.h"
#include "lighting_test_util.h"

namespace {

using ixImage::Irradiance;
using ixImage::IrradianceAlg;
using ixTest::Dir;

// The projection alone of image as map; the sentinel shows that every entry is written.
Irradiance irradianceOf(ixImage::EnvironmentMap* map, ixImage::Image* image) {
    ix::Reference<ixImage::EnvironmentMap> held = map;
    held->image = image;
    IrradianceAlg alg;
    alg.accumulate(*held);
    Irradiance irr;
    irr.red.m[0][0] = 5.0;
    alg.getIrradiance(irr);
    return irr;
}

// White furnace: radiance 1 gives irradiance 1 at every normal, through the projection alone
// (the sphere map's rim and the cross's cos^2 weights are coarse) and the whole pipeline (a
// cross loses a little light where bilinear reads reach into the empty cells).
TEST(Irradiance, WhiteFurnaceOnEveryProjection) {
    const struct {
        const char* name;
        ixImage::EnvironmentMap* map;  // null: through ImageBasedLighting
        int w, h;                      // for a lighting case: lat-long width or cross face
        double tolerance;
    } cases[] = {
        {"alg lat-long 400", new ixImage::LatLongMap(400, 200), 400, 200, 4e-4},
        {"alg sphere 256", new ixImage::SphereMap(256), 256, 256, 4e-2},
        {"alg cross 64", new ixImage::CrossMap(64, false), 192, 256, 2e-2},
        {"lighting lat-long 800", nullptr, 800, 0, 1e-3},
        {"lighting cross 128", nullptr, 128, 1, 1e-2},
    };
    for (const auto& c : cases) {
        Irradiance irr;
        ixImage::ImageBasedLighting lighting;
        auto probe = ixTest::makeProbe(c.w, ixTest::whiteRadiance, c.h == 1);
        if (c.map) {
            probe->setSize(c.w, c.h);
            for (int i = 0; i < c.w * c.h; ++i) probe->data()[i] = {1, 1, 1};
            irr = irradianceOf(c.map, probe.get());
        } else {
            ASSERT_TRUE(ixTest::useProbe(lighting, probe.get())) << c.name;
            lighting.getIrradiance(irr, nullptr);
        }
        for (const Dir& n : ixTest::normalGrid(64, 32))
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_NEAR(ixTest::evaluateIrradiance(irr, ch, n), 1.0, c.tolerance)
                    << c.name << " channel " << ch << " normal " << n.x << " " << n.y << " " << n.z;
    }
}

// The whole pipeline on a smooth sky against the exact nine-term series of its working image.
TEST(Irradiance, SkyMatchesTheExactNineTermIrradiance) {
    for (int width : {400, 1024}) {
        auto probe = ixTest::makeProbe(width, ixTest::skyRadiance);
        ixImage::ImageBasedLighting lighting;
        ASSERT_TRUE(ixTest::useProbe(lighting, probe.get()));
        Irradiance irr;
        lighting.getIrradiance(irr, nullptr);
        EXPECT_LE(ixTest::nineTermRms(*probe, irr), 0.005) << width;
    }
}

// The energy-preserving working probe keeps the power of a source far smaller than a working
// pixel (point sampling misses or multiplies it): the irradiance equals the original's projected
// alone. From a cross, a lone pixel is still 12 % off at 128-pixel faces, 1 % at 512.
TEST(Irradiance, EnergyPreservingWorkingProbeKeepsASmallSource) {
    for (const auto& [size, cross] : {std::pair(1024, false), {2048, false}, {512, true}}) {
        auto probe = ixTest::makeProbe(
            size, [](const Dir&) { return ixTest::Rgb(0.1, 0.1, 0.1); }, cross);
        probe->at(cross ? size * 3 / 2 + 7 : size / 3 + 7,
                  cross ? size * 7 / 5 + 3 : size / 5 + 3) = {5000.0f, 4000.0f, 3000.0f};
        ixImage::ImageBasedLighting lighting;
        ASSERT_TRUE(ixTest::useProbe(lighting, probe.get()));
        lighting.setWorkingProbeFilter(ixImage::WorkingProbeFilter::kEnergyPreserving);
        Irradiance got;
        lighting.getIrradiance(got, nullptr);
        ix::Reference<ixImage::EnvironmentMap> map = ixImage::newEnvironmentMap(*probe);
        const Irradiance want = irradianceOf(map.get(), probe.get());
        ixTest::RelativeRms rms;
        for (const Dir& n : ixTest::normalGrid(32, 16))
            ixTest::addRgb(rms, ixImage::evaluateIrradiance(got, n.x, n.y, n.z),
                           ixImage::evaluateIrradiance(want, n.x, n.y, n.z));
        EXPECT_LT(rms.value(), 0.02) << size << (cross ? " cross" : " lat-long");
    }
}

// One lit pixel at a time pins the sample positions, weights and frame of the projection (exact
// pixel areas against the centre's cosine differ by about (pi / h)^2 / 24).
TEST(Irradiance, SinglePixelMatchesTheNineTermSeries) {
    const int pixels[][2] = {{0, 16}, {5, 3}, {40, 27}, {63, 31}, {17, 12}};
    for (const auto& p : pixels) {
        auto image = ixTest::makeProbe(64, [](const Dir&) { return ixTest::Rgb(); });
        image->at(p[0], p[1]) = {2.0f, 0.0f, 0.0f};
        const Irradiance irr = irradianceOf(new ixImage::LatLongMap(64, 32), image.get());
        const ixTest::NineTermIrradiance exact(*image);
        const double peak = exact.evaluate(ixTest::pixelDirection(p[0], p[1], 64, 32), 0);
        for (const Dir& n : ixTest::normalGrid(16, 8))
            EXPECT_NEAR(ixTest::evaluateIrradiance(irr, 0, n), exact.evaluate(n, 0), 2e-3 * peak)
                << "pixel " << p[0] << "," << p[1] << " normal " << n.x << " " << n.y;
    }
}

// Half pixels agree with float within the half's precision (2^-11 per rounded product); no image,
// byte pixels or one channel carry no light the projection understands: every entry is zero.
TEST(Irradiance, PixelTypes) {
    auto probe = ixTest::makeProbe(128, ixTest::skyRadiance);
    ix::Reference<ixImage::Half4Image> halves = new ixImage::Half4Image;
    ix::Reference<ixImage::Byte4Image> bytes = new ixImage::Byte4Image;
    ix::Reference<ixImage::FloatImage> singleChannel = new ixImage::FloatImage;
    halves->setSize(128, 64), bytes->setSize(128, 64), singleChannel->setSize(128, 64);
    for (int i = 0; i < 128 * 64; ++i) {
        const ixImage::FloatPixel3<float>& p = probe->data()[i];
        halves->data()[i] = {p.red, p.green, p.blue, ixImage::half(0.0f)};
        bytes->data()[i] = ixImage::Byte4{255, 255, 255, 255};
        singleChannel->data()[i] = 1.0f;
    }
    const Irradiance want = irradianceOf(new ixImage::LatLongMap(128, 64), probe.get());
    const Irradiance half = irradianceOf(new ixImage::LatLongMap(128, 64), halves.get());
    for (const Dir& n : ixTest::normalGrid(16, 8))
        for (int ch = 0; ch < 3; ++ch) {
            const double expected = ixTest::evaluateIrradiance(want, ch, n);
            EXPECT_NEAR(ixTest::evaluateIrradiance(half, ch, n), expected, 3e-3 * expected) << ch;
        }
    ixImage::Image* unusable[] = {nullptr, bytes.get(), singleChannel.get()};
    for (ixImage::Image* image : unusable)
        EXPECT_TRUE(ixTest::isCleared(irradianceOf(new ixImage::LatLongMap(128, 64), image)));
}

}  // namespace
