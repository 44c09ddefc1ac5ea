// ImageBasedLighting: the probe check, its states, laziness, copies and the working image.
#include "iximage/lighting/image_based_lighting.h"

#include <gtest/gtest.h>

#include <string>

#include "iximage/envmap/recognize_remap.h"
#include "iximage/image/blur.h"
#include "iximage/image/resize.h"
#include "iximage/lighting/irradiance_alg.h"
#include "iximage/sh/light_coeffs.h"
#include "iximage/sh/rotation_matrices.h"
#include "lighting_test_util.h"

namespace {

using ixImage::EnvironmentMap;
using ixImage::ImageBasedLighting;
using ixImage::Irradiance;
using LightCoeffs = ixImage::SphericalHarmonics<ixImage::FloatPixel3<double>>;

const char* const kNotRecognized =
    "The image you have specified is not a recognized environment map shape.Please consult the "
    "documentation for descriptions of the supported types.";
const char* const kSphereRefused =
    "Image based lighting only supports vertical cross and latitude-longitude environment maps.";

class LightingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ImageBasedLighting::setRotationMatrixFilename(ixTest::rotationMatrixPath().c_str());
    }
    void TearDown() override {
        ImageBasedLighting::setRotationMatrixFilename(ixTest::rotationMatrixPath().c_str());
    }
};

// A derived reflectance that exposes the flag and counts its samplings; it reflects nothing
// (a zero norm), so a specular-map request for it is cheap and leaves an entry without a map.
class KeyOnlyReflectance : public ixImage::ReflectanceFunction {
public:
    void sampleBrdf(ixUtil::ArrayN<3, ixImage::FloatPixel3<double>>& samples,
                    ixImage::FloatPixel3<double>& norm) const override {
        ++samplings;
        samples.clear();
        norm = {0.0, 0.0, 0.0};
    }
    void setFlag(bool value) { flag = value; }
    bool getFlag() const { return flag; }

    mutable int samplings = 0;
};

TEST(ReflectanceFunction, ComparesKeysOnlyAsSignedIntegers) {
    struct Case {
        int a, b;
        bool less, equal;
    };
    const Case cases[] = {{0, 0, false, true},
                          {-1, 0, true, false},
                          {0, -1, false, false},
                          {7, 7, false, true},
                          {-2147483647 - 1, 2147483647, true, false},
                          {3, 2, false, false}};
    for (const Case& c : cases) {
        KeyOnlyReflectance a, b;
        a.setKey(c.a);
        b.setKey(c.b);
        a.setFlag(true);  // the flag takes no part in comparisons
        EXPECT_EQ(a < b, c.less) << c.a << " < " << c.b;
        EXPECT_EQ(a == b, c.equal) << c.a << " == " << c.b;
    }
}

TEST(ReflectanceFunction, CopiesKeyAndFlag) {
    KeyOnlyReflectance source;
    EXPECT_EQ(source.getKey(), 0);
    source.setKey(-42);
    source.setFlag(true);
    KeyOnlyReflectance copy(source);
    EXPECT_EQ(copy.getKey(), -42);
    EXPECT_TRUE(copy.getFlag());
    KeyOnlyReflectance assigned;
    assigned = source;
    EXPECT_EQ(assigned.getKey(), -42);
    EXPECT_TRUE(assigned.getFlag());
}

TEST_F(LightingTest, NewObjectHasNoProbe) {
    ImageBasedLighting lighting;
    EXPECT_FALSE(lighting.haveUsableLightProbe());
    EXPECT_EQ(lighting.getReflectionMap(), nullptr);
    EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
    Irradiance irr;
    irr.red.m[1][2] = 3.0;
    lighting.getIrradiance(irr, nullptr);
    EXPECT_TRUE(ixTest::isCleared(irr));
}

// Each case starts from a lit object and installs a new probe, with a sentinel error that an
// accepted probe must leave alone.
struct ProbeCase {
    const char* name;
    int width, height;
    bool accepted;
    EnvironmentMap::Type type;
    const char* message;
};

TEST_F(LightingTest, ProbeCheckAndStateAfterEachProbe) {
    const ProbeCase cases[] = {
        {"lat-long 400 x 200", 400, 200, true, EnvironmentMap::kLatLong, ""},
        {"vertical cross 192 x 256", 192, 256, true, EnvironmentMap::kCross, ""},
        {"sphere 64 x 64", 64, 64, false, EnvironmentMap::kSphere, kSphereRefused},
        {"tall 100 x 130", 100, 130, false, EnvironmentMap::kSphere, kNotRecognized},
        {"horizontal cross 256 x 192", 256, 192, false, EnvironmentMap::kSphere, kNotRecognized},
        {"almost lat-long 401 x 200", 401, 200, false, EnvironmentMap::kSphere, kNotRecognized},
        {"empty 0 x 0", 0, 0, false, EnvironmentMap::kSphere, kNotRecognized},
    };
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImageBasedLighting lighting;
        ixUtil::Error error;
        auto first = ixTest::makeLatLongProbe(64, 32, ixTest::skyRadiance);
        lighting.setLightProbe(first.get(), error);
        Irradiance lit;
        lighting.getIrradiance(lit, nullptr);
        ASSERT_NE(lighting.getLightCoeffs(), nullptr);
        ASSERT_FALSE(ixTest::isCleared(lit));

        ix::Reference<ixImage::Float3Image> probe = new ixImage::Float3Image;
        probe->setSize(c.width, c.height);
        for (int i = 0; i < c.width * c.height; ++i) probe->data()[i] = {1, 1, 1};
        error = ixUtil::Error(7, "untouched");
        lighting.setLightProbe(probe.get(), error);

        // Whatever the outcome, nothing of the first probe is left.
        EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
        EXPECT_EQ(lighting.haveUsableLightProbe(), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(error.getCode(), 7);
            EXPECT_EQ(error.getMessage(), "untouched");
            ASSERT_NE(lighting.getReflectionMap(), nullptr);
            EXPECT_EQ(lighting.getReflectionMap()->type, c.type);
            EXPECT_EQ(lighting.getReflectionMap()->image.get(), probe.get());
        } else {
            EXPECT_EQ(error.getCode(), 1);
            EXPECT_EQ(error.getMessage(), c.message);
            EXPECT_EQ(lighting.getReflectionMap(), nullptr);
            Irradiance irr;
            lighting.getIrradiance(irr, nullptr);
            EXPECT_TRUE(ixTest::isCleared(irr));
            EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
        }
    }
}

TEST_F(LightingTest, NullProbeRemovesTheProbeWithoutError) {
    ImageBasedLighting lighting;
    ixUtil::Error error;
    auto probe = ixTest::makeLatLongProbe(64, 32, ixTest::skyRadiance);
    lighting.setLightProbe(probe.get(), error);
    Irradiance irr;
    lighting.getIrradiance(irr, nullptr);
    ASSERT_FALSE(ixTest::isCleared(irr));

    error = ixUtil::Error(1, "previous failure");
    lighting.setLightProbe(nullptr, error);
    EXPECT_FALSE(error.isError());
    EXPECT_EQ(error.getMessage(), "");
    EXPECT_FALSE(lighting.haveUsableLightProbe());
    EXPECT_EQ(lighting.getReflectionMap(), nullptr);
    EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
    lighting.getIrradiance(irr, nullptr);
    EXPECT_TRUE(ixTest::isCleared(irr));
    // The object kept the probe alive only while it held it.
    EXPECT_EQ(probe->getRefCount(), 1);
}

TEST_F(LightingTest, ProbeOutlivesTheCallersReference) {
    ImageBasedLighting lighting;
    ixUtil::Error error;
    {
        auto probe = ixTest::makeLatLongProbe(64, 32, ixTest::whiteRadiance);
        lighting.setLightProbe(probe.get(), error);
    }
    Irradiance irr;
    lighting.getIrradiance(irr, nullptr);
    EXPECT_NEAR(ixTest::evaluateIrradiance(irr, 0, {0, 0, 1}), 1.0, 1e-2);
}

// The cache remembers a failed build per key; a copy carries the entry along, and a new probe
// (even a refused one) empties the cache, so the reflectance is sampled again.
TEST_F(LightingTest, NewProbeEmptiesTheSpecularCache) {
    ImageBasedLighting lighting;
    ixUtil::Error error;
    auto probe = ixTest::makeLatLongProbe(64, 32, ixTest::skyRadiance);
    lighting.setLightProbe(probe.get(), error);
    KeyOnlyReflectance dark;
    dark.setKey(5);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(dark.samplings, 1);

    ImageBasedLighting copy(lighting);
    EXPECT_EQ(copy.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(dark.samplings, 1);

    ix::Reference<ixImage::Float3Image> sphere = new ixImage::Float3Image;
    sphere->setSize(16, 16);
    lighting.setLightProbe(sphere.get(), error);
    lighting.setLightProbe(probe.get(), error);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(dark.samplings, 2);
}

// The derived data are computed once: changing the probe's pixels behind the object's back
// does not change a second answer, while setting the probe again does.
TEST_F(LightingTest, TwoRequestsComputeOnce) {
    ImageBasedLighting lighting;
    ixUtil::Error error;
    auto probe = ixTest::makeLatLongProbe(400, 200, ixTest::skyRadiance);
    lighting.setLightProbe(probe.get(), error);
    Irradiance first, second, third;
    lighting.getIrradiance(first, nullptr);
    const LightCoeffs* coeffs = lighting.getLightCoeffs();
    ASSERT_NE(coeffs, nullptr);

    for (int i = 0; i < 400 * 200; ++i) {
        ixImage::FloatPixel3<float>& p = probe->data()[i];
        p = {2 * p.red, 2 * p.green, 2 * p.blue};
    }
    lighting.getIrradiance(second, nullptr);
    EXPECT_EQ(lighting.getLightCoeffs(), coeffs);
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 4; ++r)
            for (int s = 0; s < 4; ++s)
                EXPECT_EQ(ixTest::channelMatrix(second, c).m[r][s],
                          ixTest::channelMatrix(first, c).m[r][s]);

    lighting.setLightProbe(probe.get(), error);
    lighting.getIrradiance(third, nullptr);
    const double before = ixTest::channelMatrix(first, 0).m[3][3];
    EXPECT_NEAR(ixTest::channelMatrix(third, 0).m[3][3], 2 * before, 1e-5 * before);
}

// Without a loadable matrix file nothing is derived and the cleared irradiance is returned;
// the next request tries again.
TEST_F(LightingTest, MissingMatrixFileGivesClearedIrradianceAndRetries) {
    ixImage::finalizeReflectance();
    ImageBasedLighting::setRotationMatrixFilename(
        (ixTest::shareDir() + "/no_such_rotation_matrices.txt").c_str());
    ImageBasedLighting lighting;
    ixUtil::Error error;
    auto probe = ixTest::makeLatLongProbe(64, 32, ixTest::skyRadiance);
    lighting.setLightProbe(probe.get(), error);

    Irradiance irr;
    irr.green.m[0][0] = 9.0;
    lighting.getIrradiance(irr, nullptr);
    EXPECT_TRUE(ixTest::isCleared(irr));
    EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
    EXPECT_TRUE(lighting.haveUsableLightProbe());

    ImageBasedLighting::setRotationMatrixFilename(ixTest::rotationMatrixPath().c_str());
    lighting.getIrradiance(irr, nullptr);
    EXPECT_FALSE(ixTest::isCleared(irr));
    EXPECT_NE(lighting.getLightCoeffs(), nullptr);
}

TEST_F(LightingTest, CopiesShareTheProbeButNotTheCoefficients) {
    auto probe = ixTest::makeLatLongProbe(128, 64, ixTest::skyRadiance);
    ixUtil::Error error;
    Irradiance sourceIrr, copyIrr;
    auto* source = new ImageBasedLighting;
    source->setLightProbe(probe.get(), error);
    source->getIrradiance(sourceIrr, nullptr);

    ImageBasedLighting copy(*source);
    EXPECT_TRUE(copy.haveUsableLightProbe());
    EXPECT_EQ(copy.getReflectionMap(), source->getReflectionMap());
    ASSERT_NE(copy.getLightCoeffs(), nullptr);
    EXPECT_NE(copy.getLightCoeffs(), source->getLightCoeffs());
    for (int i = 0; i < copy.getLightCoeffs()->getCount(); ++i)
        ASSERT_EQ((*copy.getLightCoeffs())[i].red, (*source->getLightCoeffs())[i].red) << i;

    // The source can go first.
    delete source;
    copy.getIrradiance(copyIrr, nullptr);
    EXPECT_EQ(copyIrr.blue.m[3][3], sourceIrr.blue.m[3][3]);
    EXPECT_EQ(probe->getRefCount(), 2);  // the caller's reference and the shared map's

    // Assignment over a lit object with another probe, and self-assignment.
    ImageBasedLighting other;
    auto otherProbe = ixTest::makeLatLongProbe(64, 32, ixTest::whiteRadiance);
    other.setLightProbe(otherProbe.get(), error);
    Irradiance otherIrr;
    other.getIrradiance(otherIrr, nullptr);
    other = copy;
    EXPECT_EQ(otherProbe->getRefCount(), 1);
    EXPECT_EQ(other.getReflectionMap(), copy.getReflectionMap());
    ASSERT_NE(other.getLightCoeffs(), nullptr);
    EXPECT_NE(other.getLightCoeffs(), copy.getLightCoeffs());
    ImageBasedLighting& alias = other;
    other = alias;
    ASSERT_NE(other.getLightCoeffs(), nullptr);
    other.getIrradiance(otherIrr, nullptr);
    EXPECT_EQ(otherIrr.red.m[0][3], sourceIrr.red.m[0][3]);

    // A copy of an object that is not lit yet stays unlit until asked.
    ImageBasedLighting unlit;
    unlit.setLightProbe(probe.get(), error);
    ImageBasedLighting unlitCopy(unlit);
    EXPECT_EQ(unlitCopy.getLightCoeffs(), nullptr);
    unlitCopy.getIrradiance(copyIrr, nullptr);
    EXPECT_EQ(copyIrr.blue.m[3][3], sourceIrr.blue.m[3][3]);
}

// The working image: a latitude-longitude probe wider than 400 pixels is blurred (diameter
// given per case) before the bilinear shrink to 200 x 100; a cross is remapped into a 200 x
// 100 grid. The object's results must equal those of the same steps done here by hand.
struct WorkingCase {
    const char* name;
    int width;  // lat-long width, or the face edge of a cross
    bool cross;
    int blurDiameter;  // 0: no blur
};

TEST_F(LightingTest, WorkingImageFollowsTheProbeShape) {
    const WorkingCase cases[] = {
        {"lat-long 200", 200, false, 0},   {"lat-long 400", 400, false, 0},
        {"lat-long 402", 402, false, 3},   {"lat-long 800", 800, false, 5},
        {"lat-long 1024", 1024, false, 6}, {"cross 96", 96, true, 0},
    };
    for (const WorkingCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto probe = c.cross ? ixTest::makeCrossProbe(c.width, ixTest::skyRadiance)
                             : ixTest::makeLatLongProbe(c.width, c.width / 2, ixTest::skyRadiance);

        // The probe check first: recognition sets the probe's wrap flags, which sampling reads.
        ImageBasedLighting lighting;
        ixUtil::Error error;
        lighting.setLightProbe(probe.get(), error);
        ASSERT_TRUE(lighting.haveUsableLightProbe());

        ix::Reference<ixImage::Float3Image> working;
        if (c.cross) {
            ix::Reference<EnvironmentMap> crossMap = ixImage::newEnvironmentMap(*probe);
            working = new ixImage::Float3Image;
            working->setSize(200, 100);
            ix::Reference<EnvironmentMap> workingMap = ixImage::newEnvironmentMap(*working);
            ixImage::remap(*crossMap, *workingMap);
        } else {
            ix::Reference<ixImage::Image> source = probe.get();
            if (c.blurDiameter > 0) {
                ix::Reference<ixImage::Image> blurred = new ixImage::Float3Image;
                ixImage::imageBlur(*probe, *blurred, c.blurDiameter, false, false);
                source = blurred;
            }
            ix::Reference<ixImage::Image> resized = ixImage::resize(*source, 200, 100, true);
            ASSERT_TRUE(resized);
            working = static_cast<ixImage::Float3Image*>(resized.get());
        }
        LightCoeffs expectedCoeffs(20);
        ixImage::computeLightCoeffs(*working, expectedCoeffs);
        ix::Reference<EnvironmentMap> workingMap = ixImage::newEnvironmentMap(*working);
        ixImage::IrradianceAlg alg;
        alg.accumulate(*workingMap);
        Irradiance expected;
        alg.getIrradiance(expected);

        Irradiance irr;
        lighting.getIrradiance(irr, nullptr);
        ASSERT_NE(lighting.getLightCoeffs(), nullptr);
        for (int i = 0; i < 441; ++i) {
            ASSERT_EQ((*lighting.getLightCoeffs())[i].red, expectedCoeffs[i].red) << i;
            ASSERT_EQ((*lighting.getLightCoeffs())[i].blue, expectedCoeffs[i].blue) << i;
        }
        for (int ch = 0; ch < 3; ++ch)
            for (int r = 0; r < 4; ++r)
                for (int s = 0; s < 4; ++s)
                    EXPECT_EQ(ixTest::channelMatrix(irr, ch).m[r][s],
                              ixTest::channelMatrix(expected, ch).m[r][s])
                        << "channel " << ch << " entry " << r << s;
    }
}

}  // namespace
