// End-to-end runs of the ibl-bake executable: every output exists, decodes and has its size;
// the baked numbers are the library's; a uniform probe gives 1 everywhere; bad input ends with
// the documented exit status and a one-line message naming the file. Outputs are read back
// independently of the tool's own loaders (OpenEXR through the tests' probe reader, libpng).
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "exr_probe.h"
#include "hdr_io.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/phong_reflectance.h"
#include "probe_repair.h"
#include "sky_probe.h"
#include "test_support.h"
#include "tool_run.h"

using ixImage::Float3Image;
using ixImage::FloatPixel3;

namespace {

const char* const kChannels[3] = {"red", "green", "blue"};

using ixTest::freshDir;
using ixTest::jsonNumbers;
using ixTest::readTextFile;
using ixTest::runTool;
using ixTest::ToolRun;

// Width and height of a PNG file, (0, 0) when it does not decode.
std::pair<int, int> pngSize(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {0, 0};
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {0, 0};
    return {int(image.width), int(image.height)};
}

std::string rotationFile() { return ixTest::shareDir() + "/sh_rotation_matrices.txt"; }

const ixLinear::ProjMatrix& channelMatrix(const ixImage::Irradiance& irradiance, int c) {
    return c == 0 ? irradiance.red : (c == 1 ? irradiance.green : irradiance.blue);
}

ix::Reference<Float3Image> constantImage(int width, int height, float value) {
    ix::Reference<Float3Image> image(new Float3Image);
    image->setSize(width, height);
    for (int i = 0; i < width * height; ++i)
        image->data()[i] = FloatPixel3<float>(value, value, value);
    return image;
}

// The tool's default working probe is the energy-preserving one.
ixImage::Irradiance libraryIrradiance(
    Float3Image* probe,
    ixImage::WorkingProbeFilter filter = ixImage::WorkingProbeFilter::kEnergyPreserving) {
    ixImage::ImageBasedLighting::setRotationMatrixFilename(ixOS::Filename(rotationFile()));
    ixImage::ImageBasedLighting lighting;
    lighting.setWorkingProbeFilter(filter);
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
        const ix::Reference<Float3Image> exr = ixTest::loadProbeExr(out + "/" + name + ".exr");
        ASSERT_TRUE(exr) << name << ".exr";
        EXPECT_TRUE(exr->getWidth() == 200 && exr->getHeight() == 100) << name << ".exr";
        for (int i = 0; i < 200 * 100; ++i) {
            const FloatPixel3<float>& p = exr->data()[i];
            ASSERT_TRUE(std::isfinite(p.red) && std::isfinite(p.green) && std::isfinite(p.blue))
                << name << ".exr pixel " << i;
        }
        EXPECT_EQ(pngSize(out + "/" + name + ".png"), std::make_pair(200, 100)) << name << ".png";
    }
    EXPECT_EQ(pngSize(out + "/probe.png"), std::make_pair(probeWidth, probeHeight));
    EXPECT_EQ(pngSize(out + "/contact_sheet.png").first, 8 + int(maps.size() + 1) * 208)
        << "one tile per map plus the probe";
    EXPECT_EQ(pngSize(out + "/balls.png"), std::make_pair(int(maps.size()) * 160, 160))
        << "a matte ball and one per specular map";
    for (const auto& entry : std::filesystem::directory_iterator(out))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos)
            << "left behind: " << entry.path();
}

// The JSON's matrices are the lighting object's, and its coefficients are the ones behind them
// (the matrix entries are single-precision products of fixed constants and coefficients).
void expectJsonMatchesLibrary(const std::string& json, const ixImage::Irradiance& irradiance) {
    for (int c = 0; c < 3; ++c) {
        const std::string key = std::string("\"") + kChannels[c] + "\":";
        const std::vector<double> L = jsonNumbers(json, "\"coefficients\"", key, 9);
        const std::vector<double> M = jsonNumbers(json, "\"matrices\"", key, 16);
        ASSERT_EQ(L.size(), 9u) << kChannels[c];
        ASSERT_EQ(M.size(), 16u) << kChannels[c];
        const ixLinear::ProjMatrix& expected = channelMatrix(irradiance, c);
        const float c1 = 0.429043f, c2 = 0.511664f, c3 = 0.743125f, c4 = 0.886227f, c5 = 0.247708f;
        auto l = [&L](int k) { return float(L[size_t(k)]); };
        const float reference[16] = {c1 * l(8), c1 * l(4),  c1 * l(7), c2 * l(3),
                                     c1 * l(4), -c1 * l(8), c1 * l(5), c2 * l(1),
                                     c1 * l(7), c1 * l(5),  c3 * l(6), c2 * l(2),
                                     c2 * l(3), c2 * l(1),  c2 * l(2), c4 * l(0) - c5 * l(6)};
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(M[size_t(i)], expected.m[i / 4][i % 4]) << kChannels[c] << " entry " << i;
            EXPECT_EQ(float(M[size_t(i)]), reference[i])
                << kChannels[c] << " entry " << i << " from coefficients";
        }
    }
}

// A plain evaluation of the irradiance map: pixel (x, y) of a w x h latitude-longitude image
// looks along (-sin mu cos lambda, -cos mu cos lambda, sin lambda) with mu = (2u - 1) pi and
// lambda = (v - 1/2) pi; the matrices take (-X, -Y, Z).
void expectIrradianceMap(const std::string& path, const ixImage::Irradiance& irradiance) {
    const ix::Reference<Float3Image> map = ixTest::loadProbeExr(path);
    ASSERT_TRUE(map && map->getWidth() == 200) << path;
    const int w = map->getWidth(), h = map->getHeight();
    for (int y = 0; y < h; y += 7)
        for (int x = 0; x < w; x += 9) {
            const double mu = (2.0 * (x + 0.5) / w - 1.0) * M_PI;
            const double lambda = ((y + 0.5) / h - 0.5) * M_PI;
            const double n[4] = {std::sin(mu) * std::cos(lambda), std::cos(mu) * std::cos(lambda),
                                 std::sin(lambda), 1.0};
            const FloatPixel3<float>& p = map->at(x, y);
            const float got[3] = {p.red, p.green, p.blue};
            for (int c = 0; c < 3; ++c) {
                double e = 0.0;
                for (int r = 0; r < 4; ++r)
                    for (int k = 0; k < 4; ++k)
                        e += n[r] * channelMatrix(irradiance, c).m[r][k] * n[k];
                EXPECT_NEAR(got[c], e, 1e-4 + 1e-4 * std::fabs(e))
                    << "pixel " << x << "," << y << " channel " << c;
            }
        }
}

}  // namespace

TEST(IblBakeTool, BuiltInProbeBakesEveryOutputWithTheLibrarysNumbers) {
    const std::string out = freshDir("default") + "/out";
    const ToolRun run = runTool({"--out", out}, freshDir("default_scratch"));
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    expectOutputs(out, {8, 32}, true, 512, 256);  // the defaults: Phong 8 and 32, Lambert
    EXPECT_TRUE(std::filesystem::exists(out + "/viewer.html"));

    ix::Reference<Float3Image> probe(iblBake::makeSkyProbe(256));
    const ixImage::Irradiance irradiance = libraryIrradiance(probe.get());
    const std::string json = readTextFile(out + "/irradiance.json");
    EXPECT_NE(json.find("\"frame\""), std::string::npos);
    expectJsonMatchesLibrary(json, irradiance);
    expectIrradianceMap(out + "/irradiance.exr", irradiance);

    // The Phong 8 map is the library's, pixel for pixel.
    ixImage::ImageBasedLighting lighting;
    lighting.setWorkingProbeFilter(ixImage::WorkingProbeFilter::kEnergyPreserving);
    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
    ixImage::EnvironmentMap* specular =
        lighting.getSpecularMap(ixImage::PhongReflectance(8), nullptr);
    ASSERT_TRUE(specular && specular->image);
    const auto& expected = static_cast<const Float3Image&>(*specular->image);
    const ix::Reference<Float3Image> baked = ixTest::loadProbeExr(out + "/specular_phong_8.exr");
    ASSERT_TRUE(baked && baked->getWidth() == expected.getWidth() &&
                baked->getHeight() == expected.getHeight());
    for (int y = 0; y < baked->getHeight(); ++y)
        for (int x = 0; x < baked->getWidth(); ++x) {
            ASSERT_EQ(baked->at(x, y).red, expected.at(x, y).red) << x << "," << y;
            ASSERT_EQ(baked->at(x, y).blue, expected.at(x, y).blue) << x << "," << y;
        }
}

// White furnace: under a uniform probe of 1 the irradiance (over pi) and every normalised
// reflectance give 1 in every direction.
TEST(IblBakeTool, UniformProbeGivesOneEverywhere) {
    const std::string dir = freshDir("furnace");
    ASSERT_EQ(iblBake::writePfm(*constantImage(400, 200, 1.0f), dir + "/uniform.pfm"), "");
    const ToolRun run = runTool({"--quiet", "--phong", "8", "--lambert", "--no-viewer", "-o",
                                 dir + "/out", dir + "/uniform.pfm"},
                                dir);
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(run.stderrText, "") << "--quiet";
    expectOutputs(dir + "/out", {8}, true, 400, 200);
    EXPECT_FALSE(std::filesystem::exists(dir + "/out/viewer.html")) << "--no-viewer";
    const std::pair<const char*, double> cases[] = {
        {"irradiance.exr", 2e-3}, {"specular_phong_8.exr", 2e-2}, {"specular_lambert.exr", 2e-2}};
    for (const auto& c : cases) {
        const ix::Reference<Float3Image> map = ixTest::loadProbeExr(dir + "/out/" + c.first);
        ASSERT_TRUE(map && map->getWidth() == 200 && map->getHeight() == 100) << c.first;
        double worst = 0.0;
        for (int i = 0; i < 200 * 100; ++i)
            for (float v : {map->data()[i].red, map->data()[i].green, map->data()[i].blue})
                worst = std::max(worst, std::fabs(double(v) - 1.0));
        EXPECT_LT(worst, c.second) << c.first << ": worst |value - 1|";
    }
}

TEST(IblBakeTool, CrossProbeIsAccepted) {
    const std::string dir = freshDir("cross");
    ix::Reference<Float3Image> cross = constantImage(48, 64, 0.5f);
    ASSERT_EQ(iblBake::writeExr(*cross, dir + "/cross.exr"), "");
    const ToolRun run = runTool({"--phong", "4", "--out", dir + "/out", dir + "/cross.exr"}, dir);
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    const std::string json = readTextFile(dir + "/out/irradiance.json");
    EXPECT_NE(json.find("\"projection\": \"vertical cross\""), std::string::npos) << json;
    expectJsonMatchesLibrary(json, libraryIrradiance(cross.get()));

    // The switch back to the blur-and-resize (for a cross: point-sampled) working probe.
    const ToolRun classic = runTool({"--phong", "4", "--blur-resize-working-probe", "--out",
                                     dir + "/classic", dir + "/cross.exr"},
                                    dir);
    ASSERT_EQ(classic.exitCode, 0) << classic.stderrText;
    expectJsonMatchesLibrary(
        readTextFile(dir + "/classic/irradiance.json"),
        libraryIrradiance(cross.get(), ixImage::WorkingProbeFilter::kBlurResize));
}

TEST(IblBakeTool, RealProbesMatchTheLibrary) {
    const std::string probes = ixTest::probeDir();
    if (probes.empty()) GTEST_SKIP() << "no probe folder";
    int baked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(probes)) {
        if (entry.path().extension() != ".exr") continue;
        const std::string name = entry.path().stem().string();
        const std::string dir = freshDir("probe_" + name);
        const ToolRun run =
            runTool({"--phong", "16", "--out", dir + "/out", entry.path().string()}, dir);
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.stderrText;
        ix::Reference<Float3Image> probe = ixTest::loadProbeExr(entry.path().string());
        ASSERT_TRUE(probe) << name;
        iblBake::clampNegative(*probe);  // as the tool does: negative values are not light
        expectOutputs(dir + "/out", {16}, false, probe->getWidth(), probe->getHeight());
        const ixImage::Irradiance irradiance = libraryIrradiance(probe.get());
        expectJsonMatchesLibrary(readTextFile(dir + "/out/irradiance.json"), irradiance);
        expectIrradianceMap(dir + "/out/irradiance.exr", irradiance);
        ++baked;
    }
    if (baked == 0) GTEST_SKIP() << "no .exr probes in " << probes;
}

TEST(IblBakeTool, BadInputEndsWithItsStatusAndAOneLineMessage) {
    const std::string dir = freshDir("bad");
    // Inputs: an empty file, a truncated EXR, a PNG, a 3:1 image, a square (sphere) image.
    std::ofstream(dir + "/empty.exr");
    ix::Reference<Float3Image> image = constantImage(64, 32, 1.0f);
    ASSERT_EQ(iblBake::writeExr(*image, dir + "/whole.exr"), "");
    const std::string whole = readTextFile(dir + "/whole.exr");
    std::ofstream(dir + "/truncated.exr", std::ios::binary) << whole.substr(0, whole.size() / 2);
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
        {{"--projection", "latlong", dir + "/square.pfm"}, 3, "needs a 2:1 image", true},
        {{"--rotation-matrices", dir + "/none.txt"}, 3, "rotation-matrix file", true},
        {{"--frobnicate"}, 2, "unknown option '--frobnicate'", false},
        {{"--phong", "abc"}, 2, "--phong needs an integer", false},
        {{"--phong", "0"}, 2, "--phong needs an integer", false},
        {{"--gamma", "-1"}, 2, "--gamma must be positive", false},
        {{"--ggx", "0"}, 2, "--ggx needs ALPHA", false},
        {{"--ggx", "0.5,1.5"}, 2, "--ggx needs ALPHA", false},
        {{"--blinn", "-1"}, 2, "--blinn needs an exponent", false},
        {{"--window", "box"}, 2, "--window needs none, hann or lanczos", false},
        {{"--measured", dir + "/missing.binary"}, 3, "Cannot open the measured BRDF", true},
        {{"--out"}, 2, "--out needs a folder", false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--out", out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun run = runTool(args, dir);
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
