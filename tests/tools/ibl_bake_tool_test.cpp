// End-to-end runs of the ibl-bake executable: every output exists, decodes and has its size;
// the baked numbers are the library's; a uniform probe gives 1 everywhere; bad input ends with
// the documented exit status and a one-line message naming the file.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "exr_probe.h"
#include "hdr_io.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/phong_reflectance.h"
#include "sky_probe.h"
#include "test_support.h"
#include "tool_test_support.h"

using ixImage::Float3Image;
using ixImage::FloatPixel3;

namespace {

const char* const kChannels[3] = {"red", "green", "blue"};

std::string rotationFile() { return ixTest::shareDir() + "/sh_rotation_matrices.txt"; }

const ixLinear::ProjMatrix& channelMatrix(const ixImage::Irradiance& irradiance, int c) {
    return c == 0 ? irradiance.red : (c == 1 ? irradiance.green : irradiance.blue);
}

ixImage::Irradiance libraryIrradiance(Float3Image* probe) {
    ixImage::ImageBasedLighting::setRotationMatrixFilename(ixOS::Filename(rotationFile()));
    ixImage::ImageBasedLighting lighting;
    ixUtil::Error error;
    lighting.setLightProbe(probe, error);
    ixImage::Irradiance irradiance;
    lighting.getIrradiance(irradiance, nullptr);
    return irradiance;
}

// Every file the run promised is there and decodes at its stated size.
void expectOutputs(const std::string& out, const std::vector<int>& phong, bool lambert,
                   int probeWidth, int probeHeight) {
    std::vector<std::string> maps = {"irradiance"};
    for (int n : phong) maps.push_back("specular_phong_" + std::to_string(n));
    if (lambert) maps.push_back("specular_lambert");
    for (const std::string& name : maps) {
        const bakeTest::FloatPlanes exr = bakeTest::readExrFile(out + "/" + name + ".exr");
        EXPECT_EQ(exr.width, 200) << name << ".exr";
        EXPECT_EQ(exr.height, 100) << name << ".exr";
        for (float v : exr.rgb) ASSERT_TRUE(std::isfinite(v)) << name << ".exr holds " << v;
        const bakeTest::PngInfo png = bakeTest::readPngFile(out + "/" + name + ".png");
        EXPECT_EQ(png.width, 200) << name << ".png";
        EXPECT_EQ(png.height, 100) << name << ".png";
    }
    const bakeTest::PngInfo probe = bakeTest::readPngFile(out + "/probe.png");
    EXPECT_EQ(probe.width, probeWidth);
    EXPECT_EQ(probe.height, probeHeight);
    const bakeTest::PngInfo sheet = bakeTest::readPngFile(out + "/contact_sheet.png");
    EXPECT_EQ(sheet.width, 8 + int(maps.size() + 1) * 208) << "one tile per map plus the probe";
    for (const auto& entry : std::filesystem::directory_iterator(out))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos)
            << "left behind: " << entry.path();
}

// The JSON's matrices are the lighting object's, and its coefficients are the ones behind them
// (the matrix entries are single-precision products of fixed constants and coefficients).
void expectJsonMatchesLibrary(const std::string& json, const ixImage::Irradiance& irradiance) {
    for (int c = 0; c < 3; ++c) {
        const std::string key = std::string("\"") + kChannels[c] + "\":";
        const std::vector<double> L = bakeTest::jsonNumbers(json, "\"coefficients\"", key, 9);
        const std::vector<double> M = bakeTest::jsonNumbers(json, "\"matrices\"", key, 16);
        ASSERT_EQ(L.size(), 9u) << kChannels[c];
        ASSERT_EQ(M.size(), 16u) << kChannels[c];
        const ixLinear::ProjMatrix& expected = channelMatrix(irradiance, c);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(M[size_t(i)], expected.m[i / 4][i % 4]) << kChannels[c] << " entry " << i;
        const float c1 = 0.429043f, c2 = 0.511664f, c3 = 0.743125f, c4 = 0.886227f, c5 = 0.247708f;
        auto l = [&L](int k) { return float(L[size_t(k)]); };
        const float reference[16] = {c1 * l(8), c1 * l(4),  c1 * l(7), c2 * l(3),
                                     c1 * l(4), -c1 * l(8), c1 * l(5), c2 * l(1),
                                     c1 * l(7), c1 * l(5),  c3 * l(6), c2 * l(2),
                                     c2 * l(3), c2 * l(1),  c2 * l(2), c4 * l(0) - c5 * l(6)};
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(float(M[size_t(i)]), reference[i])
                << kChannels[c] << " entry " << i << " from coefficients";
    }
}

// A plain evaluation of the irradiance map: pixel (x, y) of a w x h latitude-longitude image
// looks along (-sin mu cos lambda, -cos mu cos lambda, sin lambda) with mu = (2u - 1) pi and
// lambda = (v - 1/2) pi; the matrices take (-X, -Y, Z).
void expectIrradianceMap(const std::string& path, const ixImage::Irradiance& irradiance) {
    const bakeTest::FloatPlanes map = bakeTest::readExrFile(path);
    ASSERT_EQ(map.width, 200);
    for (int fileRow = 0; fileRow < map.height; fileRow += 7)
        for (int x = 0; x < map.width; x += 9) {
            const int y = map.height - 1 - fileRow;
            const double mu = (2.0 * (x + 0.5) / map.width - 1.0) * M_PI;
            const double lambda = ((y + 0.5) / map.height - 0.5) * M_PI;
            const double n[4] = {std::sin(mu) * std::cos(lambda), std::cos(mu) * std::cos(lambda),
                                 std::sin(lambda), 1.0};
            for (int c = 0; c < 3; ++c) {
                double e = 0.0;
                for (int r = 0; r < 4; ++r)
                    for (int k = 0; k < 4; ++k)
                        e += n[r] * channelMatrix(irradiance, c).m[r][k] * n[k];
                const float got =
                    map.rgb[(size_t(fileRow) * size_t(map.width) + size_t(x)) * 3 + size_t(c)];
                EXPECT_NEAR(got, e, 1e-4 + 1e-4 * std::fabs(e))
                    << "pixel " << x << "," << y << " channel " << c;
            }
        }
}

}  // namespace

TEST(IblBakeTool, BuiltInProbeBakesEveryOutputWithTheLibrarysNumbers) {
    const std::string out = bakeTest::freshDir("default") + "/out";
    const bakeTest::ToolRun run =
        bakeTest::runTool({"--out", out}, bakeTest::freshDir("default_scratch"));
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    expectOutputs(out, {8, 64}, true, 512, 256);

    ix::Reference<Float3Image> probe(iblBake::makeSkyProbe(256));
    const ixImage::Irradiance irradiance = libraryIrradiance(probe.get());
    const std::string json = bakeTest::readTextFile(out + "/irradiance.json");
    EXPECT_NE(json.find("\"frame\""), std::string::npos);
    expectJsonMatchesLibrary(json, irradiance);
    expectIrradianceMap(out + "/irradiance.exr", irradiance);

    // The Phong 8 map is the library's, pixel for pixel, top row first.
    ixImage::ImageBasedLighting lighting;
    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
    ixImage::EnvironmentMap* specular =
        lighting.getSpecularMap(ixImage::PhongReflectance(8), nullptr);
    ASSERT_TRUE(specular && specular->image);
    const auto& expected = static_cast<const Float3Image&>(*specular->image);
    const bakeTest::FloatPlanes baked = bakeTest::readExrFile(out + "/specular_phong_8.exr");
    ASSERT_EQ(baked.width, expected.getWidth());
    for (int fileRow = 0; fileRow < baked.height; ++fileRow)
        for (int x = 0; x < baked.width; ++x) {
            const FloatPixel3<float>& p = expected.at(x, baked.height - 1 - fileRow);
            const float* q = &baked.rgb[(size_t(fileRow) * size_t(baked.width) + size_t(x)) * 3];
            ASSERT_EQ(q[0], p.red) << x << "," << fileRow;
            ASSERT_EQ(q[2], p.blue) << x << "," << fileRow;
        }
}

// White furnace: under a uniform probe of 1 the irradiance (over pi) and every normalised
// reflectance give 1 in every direction.
TEST(IblBakeTool, UniformProbeGivesOneEverywhere) {
    const std::string dir = bakeTest::freshDir("furnace");
    ix::Reference<Float3Image> uniform(new Float3Image);
    uniform->setSize(400, 200);
    for (int i = 0; i < 400 * 200; ++i) uniform->data()[i] = FloatPixel3<float>(1, 1, 1);
    ASSERT_EQ(iblBake::writePfm(*uniform, dir + "/uniform.pfm"), "");
    const bakeTest::ToolRun run = bakeTest::runTool(
        {"--quiet", "--phong", "8", "--lambert", "-o", dir + "/out", dir + "/uniform.pfm"}, dir);
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(run.stderrText, "") << "--quiet";
    expectOutputs(dir + "/out", {8}, true, 400, 200);
    struct Case {
        const char* file;
        double tolerance;
    };
    for (const Case& c : {Case{"irradiance.exr", 2e-3}, Case{"specular_phong_8.exr", 2e-2},
                          Case{"specular_lambert.exr", 2e-2}}) {
        const bakeTest::FloatPlanes map = bakeTest::readExrFile(dir + "/out/" + c.file);
        ASSERT_EQ(map.rgb.size(), 200u * 100u * 3u) << c.file;
        double worst = 0.0;
        for (float v : map.rgb) worst = std::max(worst, std::fabs(double(v) - 1.0));
        EXPECT_LT(worst, c.tolerance) << c.file << ": worst |value - 1|";
    }
}

TEST(IblBakeTool, CrossProbeIsAccepted) {
    const std::string dir = bakeTest::freshDir("cross");
    ix::Reference<Float3Image> cross(new Float3Image);
    cross->setSize(48, 64);
    for (int i = 0; i < 48 * 64; ++i) cross->data()[i] = FloatPixel3<float>(0.5f, 0.5f, 0.5f);
    ASSERT_EQ(iblBake::writeExr(*cross, dir + "/cross.exr"), "");
    const bakeTest::ToolRun run =
        bakeTest::runTool({"--phong", "4", "--out", dir + "/out", dir + "/cross.exr"}, dir);
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    const std::string json = bakeTest::readTextFile(dir + "/out/irradiance.json");
    EXPECT_NE(json.find("\"projection\": \"vertical cross\""), std::string::npos) << json;
    expectJsonMatchesLibrary(json, libraryIrradiance(cross.get()));
}

TEST(IblBakeTool, RealProbesMatchTheLibrary) {
    const std::string probes = ixTest::probeDir();
    if (probes.empty()) GTEST_SKIP() << "no probe folder";
    int baked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(probes)) {
        if (entry.path().extension() != ".exr") continue;
        const std::string name = entry.path().stem().string();
        const std::string dir = bakeTest::freshDir("probe_" + name);
        const bakeTest::ToolRun run =
            bakeTest::runTool({"--phong", "16", "--out", dir + "/out", entry.path().string()}, dir);
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.stderrText;
        ix::Reference<Float3Image> probe = ixTest::loadProbeExr(entry.path().string());
        ASSERT_TRUE(probe) << name;
        expectOutputs(dir + "/out", {16}, false, probe->getWidth(), probe->getHeight());
        const ixImage::Irradiance irradiance = libraryIrradiance(probe.get());
        expectJsonMatchesLibrary(bakeTest::readTextFile(dir + "/out/irradiance.json"), irradiance);
        expectIrradianceMap(dir + "/out/irradiance.exr", irradiance);
        ++baked;
    }
    if (baked == 0) GTEST_SKIP() << "no .exr probes in " << probes;
}

TEST(IblBakeTool, BadInputEndsWithItsStatusAndAOneLineMessage) {
    const std::string dir = bakeTest::freshDir("bad");
    // Inputs: an empty file, a truncated EXR, a PNG, a 3:1 image, a square (sphere) image.
    bakeTest::writeBinaryFile(dir + "/empty.exr", "");
    ix::Reference<Float3Image> image(new Float3Image);
    image->setSize(64, 32);
    for (int i = 0; i < 64 * 32; ++i) image->data()[i] = FloatPixel3<float>(float(i % 7), 1, 2);
    ASSERT_EQ(iblBake::writeExr(*image, dir + "/whole.exr"), "");
    const std::string whole = bakeTest::readTextFile(dir + "/whole.exr");
    bakeTest::writeBinaryFile(dir + "/truncated.exr", whole.substr(0, whole.size() / 2));
    ASSERT_EQ(
        iblBake::writePng(std::vector<unsigned char>(4 * 2 * 3, 9), 4, 2, dir + "/picture.png"),
        "");
    image->setSize(96, 32);
    ASSERT_EQ(iblBake::writePfm(*image, dir + "/wide.pfm"), "");
    image->setSize(32, 32);
    ASSERT_EQ(iblBake::writePfm(*image, dir + "/square.pfm"), "");

    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
        bool namesFile;
    };
    const std::string out = dir + "/out";
    const Case cases[] = {
        {{dir + "/missing.exr"}, 3, "cannot open", true},
        {{dir + "/empty.exr"}, 3, "is empty", true},
        {{dir + "/truncated.exr"}, 3, "OpenEXR", true},
        {{dir + "/picture.png"}, 3, "PNG", true},
        {{dir + "/wide.pfm"}, 3, "not a recognized environment map shape", true},
        {{dir + "/square.pfm"}, 3, "only supports vertical cross and latitude-longitude", true},
        {{"--rotation-matrices", dir + "/none.txt"}, 3, "rotation-matrix file", true},
        {{"--frobnicate"}, 2, "unknown option '--frobnicate'", false},
        {{"--phong", "abc"}, 2, "--phong needs an integer", false},
        {{"--phong", "0"}, 2, "--phong needs an integer", false},
        {{"--gamma", "-1"}, 2, "--gamma must be positive", false},
        {{"--out"}, 2, "--out needs a folder", false},
        {{dir + "/a.exr", dir + "/b.exr"}, 2, "only one probe", false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--out", out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const bakeTest::ToolRun run = bakeTest::runTool(args, dir);
        const std::string what = c.args.back();
        EXPECT_EQ(run.exitCode, c.status) << what << ": " << run.stderrText;
        EXPECT_NE(run.stderrText.find(c.says), std::string::npos) << what << ": " << run.stderrText;
        EXPECT_EQ(std::count(run.stderrText.begin(), run.stderrText.end(), '\n'), 1)
            << what << ": " << run.stderrText;
        if (c.namesFile) {
            EXPECT_NE(run.stderrText.find(what), std::string::npos) << run.stderrText;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(out + "/irradiance.json")) << "no bad run may complete";
}
