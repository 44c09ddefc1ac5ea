// ImageBasedLighting: the probe check, its states, laziness, copies and two objects at once.
#include "iximage/lighting/image_based_lighting.h"

#include <gtest/gtest.h>

#include <thread>

#include "iximage/sh/rotation_matrices.h"
#include "lighting_test_util.h"

namespace {

using ixImage::EnvironmentMap;
using ixImage::ImageBasedLighting;
using ixImage::Irradiance;

const char* const kNotRecognized =
    "The image you have specified is not a recognized environment map shape.Please consult the "
    "documentation for descriptions of the supported types.";
const char* const kSphereRefused =
    "Image based lighting only supports vertical cross and latitude-longitude environment maps.";

// A lighting object holding a sky probe of the given width, lit (irradiance computed) if asked.
ix::Reference<ixImage::Float3Image> setSky(ImageBasedLighting& lighting, int width,
                                           Irradiance* lit = nullptr) {
    auto probe = ixTest::makeProbe(width, ixTest::skyRadiance);
    ixTest::useProbe(lighting, probe.get());
    if (lit) lighting.getIrradiance(*lit, nullptr);
    return probe;
}

// From a lit object, each new probe leaves nothing derived from the first and an accepted one
// leaves the sentinel error alone; without a usable probe the irradiance is cleared.
TEST(ImageBasedLighting, ProbeCheckAndStateAfterEachProbe) {
    const struct {
        int width, height;
        EnvironmentMap::Type type;
        const char* message;  // null when accepted
    } cases[] = {
        {400, 200, EnvironmentMap::kLatLong, nullptr},
        {192, 256, EnvironmentMap::kCross, nullptr},
        {64, 64, EnvironmentMap::kSphere, kSphereRefused},
        {100, 130, EnvironmentMap::kSphere, kNotRecognized},
        {256, 192, EnvironmentMap::kSphere, kNotRecognized},  // horizontal cross
        {401, 200, EnvironmentMap::kSphere, kNotRecognized},
        {0, 0, EnvironmentMap::kSphere, kNotRecognized},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        ImageBasedLighting lighting;
        Irradiance lit;
        setSky(lighting, 64, &lit);
        ASSERT_FALSE(ixTest::isCleared(lit));
        ix::Reference<ixImage::Float3Image> probe = new ixImage::Float3Image;
        probe->setSize(c.width, c.height);
        for (int i = 0; i < c.width * c.height; ++i) probe->data()[i] = {1, 1, 1};
        ixUtil::Error error(7, "untouched");
        lighting.setLightProbe(probe.get(), error);
        EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
        EXPECT_EQ(lighting.haveUsableLightProbe(), c.message == nullptr);
        EXPECT_EQ(error.getCode(), c.message ? 1 : 7);
        EXPECT_EQ(error.getMessage(), c.message ? c.message : "untouched");
        const EnvironmentMap* map = lighting.getReflectionMap();
        EXPECT_EQ(map ? int(map->type) : -1, c.message ? -1 : int(c.type));
        EXPECT_TRUE(!map || map->image.get() == probe.get());
        Irradiance irr;
        irr.red.m[1][2] = 3.0;
        lighting.getIrradiance(irr, nullptr);
        EXPECT_EQ(ixTest::isCleared(irr), c.message != nullptr);
        EXPECT_EQ(lighting.getLightCoeffs() == nullptr, c.message != nullptr);
    }
}

// Derived data are computed once: the same filter or pixels changed behind the object's back
// change no second answer; setting the probe again does, and so does another filter.
TEST(ImageBasedLighting, DerivedDataLastUntilANewProbeOrFilter) {
    ImageBasedLighting lighting;
    Irradiance first, second, third, filtered;
    auto probe = setSky(lighting, 1024, &first);
    const auto* coeffs = lighting.getLightCoeffs();
    ASSERT_NE(coeffs, nullptr);
    lighting.setWorkingProbeFilter(ixImage::WorkingProbeFilter::kBlurResize);
    for (int i = 0; i < 1024 * 512; ++i) {
        ixImage::FloatPixel3<float>& p = probe->data()[i];
        p = {2 * p.red, 2 * p.green, 2 * p.blue};
    }
    lighting.getIrradiance(second, nullptr);
    EXPECT_EQ(lighting.getLightCoeffs(), coeffs);
    EXPECT_TRUE(ixTest::sameIrradiance(second, first));
    ixTest::useProbe(lighting, probe.get());
    lighting.getIrradiance(third, nullptr);
    EXPECT_NEAR(third.red.m[3][3], 2 * first.red.m[3][3], 1e-5 * first.red.m[3][3]);
    lighting.setWorkingProbeFilter(ixImage::WorkingProbeFilter::kEnergyPreserving);
    EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
    EXPECT_TRUE(lighting.haveUsableLightProbe());
    lighting.getIrradiance(filtered, nullptr);
    EXPECT_NE(lighting.getLightCoeffs(), nullptr);
    EXPECT_FALSE(ixTest::sameIrradiance(third, filtered));
}

// Copies share the probe but own their coefficients; the source can go first; an unlit
// object's copy stays unlit until asked.
TEST(ImageBasedLighting, CopiesShareTheProbeButNotTheCoefficients) {
    Irradiance sourceIrr, copyIrr, otherIrr;
    auto* source = new ImageBasedLighting;
    auto probe = setSky(*source, 128, &sourceIrr);
    ImageBasedLighting copy(*source);
    EXPECT_EQ(copy.getReflectionMap(), source->getReflectionMap());
    ASSERT_NE(copy.getLightCoeffs(), nullptr);
    EXPECT_NE(copy.getLightCoeffs(), source->getLightCoeffs());
    delete source;
    copy.getIrradiance(copyIrr, nullptr);
    EXPECT_TRUE(ixTest::sameIrradiance(copyIrr, sourceIrr));
    EXPECT_EQ(probe->getRefCount(), 2);  // the caller's reference and the shared map's

    // Assignment over a lit object with another probe, and self-assignment.
    ImageBasedLighting other;
    auto otherProbe = setSky(other, 64, &otherIrr);
    other = copy;
    EXPECT_EQ(otherProbe->getRefCount(), 1);
    EXPECT_EQ(other.getReflectionMap(), copy.getReflectionMap());
    EXPECT_NE(other.getLightCoeffs(), copy.getLightCoeffs());
    ImageBasedLighting& alias = other;
    other = alias;
    ASSERT_NE(other.getLightCoeffs(), nullptr);
    other.getIrradiance(otherIrr, nullptr);
    EXPECT_TRUE(ixTest::sameIrradiance(otherIrr, sourceIrr));
    ImageBasedLighting unlit;
    ixTest::useProbe(unlit, probe.get());
    ImageBasedLighting unlitCopy(unlit);
    EXPECT_EQ(unlitCopy.getLightCoeffs(), nullptr);
    unlitCopy.getIrradiance(copyIrr, nullptr);
    EXPECT_TRUE(ixTest::sameIrradiance(copyIrr, sourceIrr));
}

// Two objects lit and asked for a specular map on two threads at once (ThreadSanitizer in CI)
// give what they give alone; the process-wide tables are loaded first, as the contract asks.
TEST(ImageBasedLighting, TwoObjectsOnTwoThreadsMatchTheirSequentialResults) {
    ASSERT_TRUE(ixImage::initializeReflectance(ixTest::rotationMatrixFile().c_str(), nullptr));
    const ixImage::PhongReflectance phong(8);
    struct Run {
        ix::Reference<ixImage::Float3Image> probe;
        ImageBasedLighting lighting;
        Irradiance irr;
        const ixImage::Float3Image* specular = nullptr;
    };
    auto light = [&phong](Run& run) {  // the probe set here: useProbe sets a global file name
        ixUtil::Error error;
        run.lighting.setLightProbe(run.probe.get(), error);
        run.lighting.getIrradiance(run.irr, nullptr);
        run.specular = ixTest::specularImage(run.lighting, phong);
    };
    Run together[2], alone[2];
    for (Run* runs : {together, alone}) {
        runs[0].probe = ixTest::makeProbe(128, ixTest::skyRadiance);
        runs[1].probe = ixTest::makeProbe(32, ixTest::skyRadiance, true);
    }
    std::thread other([&] { light(together[1]); });
    light(together[0]);
    other.join();
    for (int k = 0; k < 2; ++k) {
        light(alone[k]);
        EXPECT_TRUE(ixTest::sameIrradiance(together[k].irr, alone[k].irr)) << k;
        ASSERT_TRUE(together[k].specular && alone[k].specular) << k;
        for (int i = 0; i < 200 * 100; ++i)
            ASSERT_EQ(together[k].specular->data()[i].green, alone[k].specular->data()[i].green)
                << k << " pixel " << i;
    }
    EXPECT_FALSE(ixTest::sameIrradiance(together[0].irr, together[1].irr));
}

}  // namespace
