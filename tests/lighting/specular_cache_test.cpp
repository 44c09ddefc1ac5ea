#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "iximage/envmap/environment_map.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "iximage/sh/rotation_matrices.h"
#include "lighting_test_util.h"

namespace {

using ixImage::FloatPixel3;
using ixImage::ImageBasedLighting;
using Rgb = FloatPixel3<double>;

// A Phong lobe that counts how often the cache asks it for samples.
class CountingPhong : public ixImage::PhongReflectance {
public:
    CountingPhong(int exponent, int* counter) : PhongReflectance(exponent), calls(counter) {}
    void sampleBrdf(ixUtil::ArrayN<3, Rgb>& samples, Rgb& norm) const override {
        ++*calls;
        PhongReflectance::sampleBrdf(samples, norm);
    }
    int* calls;
};

class SpecularCache : public ::testing::Test {
protected:
    void SetUp() override {
        ImageBasedLighting::setRotationMatrixFilename(ixOS::Filename(ixTest::rotationMatrixFile()));
        probe = ixTest::makeLatLongProbe(200, 100, ixTest::whiteRadiance);
        ixUtil::Error error;
        lighting.setLightProbe(probe.get(), error);
        ASSERT_TRUE(lighting.haveUsableLightProbe());
    }
    ix::Reference<ixImage::Float3Image> probe;
    ImageBasedLighting lighting;
};

TEST_F(SpecularCache, WithoutProbeNothingIsBuiltOrCached) {
    ImageBasedLighting empty;
    int calls = 0;
    CountingPhong rf(8, &calls);
    EXPECT_EQ(empty.getSpecularMap(rf, nullptr), nullptr);
    EXPECT_EQ(calls, 0);
    // Setting a probe afterwards builds: nothing was remembered for the key.
    ixUtil::Error error;
    empty.setLightProbe(probe.get(), error);
    EXPECT_NE(empty.getSpecularMap(rf, nullptr), nullptr);
    EXPECT_EQ(calls, 1);
}

TEST_F(SpecularCache, SharedKeyBuildsOnceAndGivesA200x100LatLongMap) {
    int calls = 0;
    CountingPhong first(8, &calls), second(8, &calls), other(9, &calls);
    ixImage::EnvironmentMap* a = lighting.getSpecularMap(first, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(lighting.getSpecularMap(second, nullptr), a);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(a->getType(), ixImage::EnvironmentMap::kLatLong);
    ASSERT_NE(a->getImage(), nullptr);
    EXPECT_EQ(a->getImage()->getPixelType(), ixImage::kPixelFloat3);
    EXPECT_EQ(a->getImage()->getWidth(), 200);
    EXPECT_EQ(a->getImage()->getHeight(), 100);
    EXPECT_NE(lighting.getSpecularMap(other, nullptr), a);  // a different key builds its own
    EXPECT_EQ(calls, 2);
}

// A zero norm is remembered as a null map (no second sampling) until its entry is swept.
TEST_F(SpecularCache, MarkAndSweepKeepsExactlyTheMarkedEntries) {
    int callsA = 0, callsB = 0;
    CountingPhong a(4, &callsA), b(16, &callsB);
    ixTest::NoGreenReflectance dark(-7);
    ixImage::EnvironmentMap* mapA = lighting.getSpecularMap(a, nullptr);
    ASSERT_NE(mapA, nullptr);
    ASSERT_NE(lighting.getSpecularMap(b, nullptr), nullptr);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);

    // New entries start used: a sweep right after the builds deletes nothing.
    lighting.deleteUnusedSpecularMaps();
    lighting.getSpecularMap(a, nullptr);
    lighting.getSpecularMap(b, nullptr);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(callsA + callsB + dark.samplings, 3);

    lighting.markAllSpecularMapsUnused();
    lighting.markSpecularMapUsed(a.getKey());
    lighting.markSpecularMapUsed(12345);  // absent: changes nothing
    lighting.deleteUnusedSpecularMaps();
    EXPECT_EQ(lighting.getSpecularMap(a, nullptr), mapA);
    EXPECT_EQ(callsA, 1);
    EXPECT_NE(lighting.getSpecularMap(b, nullptr), nullptr);
    EXPECT_EQ(callsB, 2);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(dark.samplings, 2);
}

// White furnace: under a probe of constant radiance 1 every normalised lobe reflects 1. The
// fixed polar grid leaks a little energy near the poles, hence 1% on the mean and 2% per pixel.
TEST_F(SpecularCache, ConstantProbeGivesOneEverywhere) {
    ixImage::PhongReflectance phong1(1), phong8(8), phong32(32);
    ixImage::LambertReflectance lambert;
    const ixImage::ReflectanceFunction* models[] = {&phong1, &phong8, &phong32, &lambert};
    const char* names[] = {"Phong 1", "Phong 8", "Phong 32", "Lambert"};
    for (int m = 0; m < 4; ++m) {
        ixImage::EnvironmentMap* map = lighting.getSpecularMap(*models[m], nullptr);
        ASSERT_NE(map, nullptr) << names[m];
        const auto* image = static_cast<const ixImage::Float3Image*>(map->getImage());
        double sum = 0.0, worst = 0.0;
        for (int i = 0; i < 20000; ++i)
            for (float v : {image->data()[i].red, image->data()[i].green, image->data()[i].blue}) {
                sum += v;
                worst = std::max(worst, std::abs(v - 1.0));
            }
        EXPECT_NEAR(sum / 60000.0, 1.0, 0.01) << names[m];
        EXPECT_LT(worst, 0.02) << names[m];
    }
}

}  // namespace
