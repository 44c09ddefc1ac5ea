// End-to-end runs of the ibl-bake executable, whose outputs are read back independently of the
// tool's own loaders (OpenEXR through the tests' probe reader, PNG through libpng).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "exr_probe.h"
#include "hdr_io.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/irradiance_alg.h"
#include "iximage/lighting/phong_reflectance.h"
#include "sh/prefilter_reference.h"
#include "sky_probe.h"
#include "test_support.h"
#include "tool_run.h"

using ixImage::Float3Image;
using ixImage::FloatPixel3;
using ixTest::constantImage;
using ixTest::freshDir;
using ixTest::readTextFile;
using ixTest::runTool;
using ixTest::ToolRun;

namespace {

// Smallest and largest channel value of a baked map (NaN if missing or not all finite).
std::pair<float, float> mapRange(const std::string& path) {
    const ix::Reference<Float3Image> map = ixTest::loadProbeExr(path);
    if (!map) return {NAN, NAN};
    float lo = INFINITY, hi = -INFINITY;
    for (int i = 0; i < map->getWidth() * map->getHeight(); ++i)
        for (float v : {map->data()[i].red, map->data()[i].green, map->data()[i].blue}) {
            if (!std::isfinite(v)) return {NAN, NAN};
            lo = std::fmin(lo, v), hi = std::fmax(hi, v);
        }
    return {lo, hi};
}

}  // namespace

// The defaults on the built-in sky: every output decodes at its size, none is left half-written;
// the JSON's matrices and the Phong 8 map are the library's, and so is irradiance.exr.
TEST(IblBakeTool, BuiltInProbeBakesEveryOutputWithTheLibrarysNumbers) {
    const std::string out = freshDir("default") + "/out";
    const ToolRun run = runTool({"--out", out}, freshDir("default_scratch"));
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    auto size = [&](const std::string& file) {
        const ixTest::Rgb8 png = ixTest::readPng(out + "/" + file);
        return std::pair{png.width, png.height};
    };
    const char* maps[] = {"irradiance", "specular_phong_8", "specular_phong_32",
                          "specular_lambert"};
    for (const std::string name : maps) {
        const auto [lo, hi] = mapRange(out + "/" + name + ".exr");
        EXPECT_TRUE(lo >= 0 && hi < 1e4) << name << ".exr: " << lo << " " << hi;
        EXPECT_EQ(size(name + ".png"), std::pair(200, 100)) << name;
    }
    EXPECT_EQ(size("probe.png"), std::pair(512, 256));
    EXPECT_EQ(size("contact_sheet.png").first, 8 + 5 * 208) << "the maps and the probe";
    EXPECT_EQ(size("balls.png"), std::pair(4 * 160, 160)) << "matte and one per specular map";
    for (const auto& entry : std::filesystem::directory_iterator(out))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);

    ixImage::ImageBasedLighting::setRotationMatrixFilename(
        ixOS::Filename(ixTest::shareDir() + "/sh_rotation_matrices.txt"));
    ixImage::ImageBasedLighting lighting;
    lighting.setWorkingProbeFilter(ixImage::WorkingProbeFilter::kEnergyPreserving);
    ixUtil::Error error;
    ix::Reference<Float3Image> probe(iblBake::makeSkyProbe(256));
    lighting.setLightProbe(probe.get(), error);
    ixImage::Irradiance irradiance;
    lighting.getIrradiance(irradiance, nullptr);
    const std::string json = readTextFile(out + "/irradiance.json");
    const std::pair<const char*, const ixLinear::ProjMatrix*> channels[] = {
        {"red", &irradiance.red}, {"green", &irradiance.green}, {"blue", &irradiance.blue}};
    for (const auto& [name, matrix] : channels) {
        const std::vector<double> M =
            ixTest::jsonNumbers(json, "\"matrices\"", std::string("\"") + name + "\":", 16);
        ASSERT_EQ(M.size(), 16u) << name;
        for (int i = 0; i < 16; ++i) EXPECT_EQ(M[size_t(i)], matrix->m[i / 4][i % 4]) << name << i;
    }
    const ix::Reference<Float3Image> map = ixTest::loadProbeExr(out + "/irradiance.exr");
    ASSERT_TRUE(map && map->getWidth() == 200 && map->getHeight() == 100);
    for (int y = 0; y < 100; y += 7)
        for (int x = 0; x < 200; x += 9) {
            const ixTest::Dir d = ixTest::latLongDirection((x + 0.5) / 200, (y + 0.5) / 100);
            const FloatPixel3<double> e = ixImage::evaluateIrradiance(irradiance, d.x, d.y, d.z);
            EXPECT_NEAR(map->at(x, y).red, e.red, 1e-4 * (1 + e.red)) << x << "," << y;
            EXPECT_NEAR(map->at(x, y).blue, e.blue, 1e-4 * (1 + e.blue)) << x << "," << y;
        }
    ixImage::EnvironmentMap* specular =
        lighting.getSpecularMap(ixImage::PhongReflectance(8), nullptr);
    ASSERT_TRUE(specular && specular->image);
    const auto& expected = static_cast<const Float3Image&>(*specular->image);
    const ix::Reference<Float3Image> baked = ixTest::loadProbeExr(out + "/specular_phong_8.exr");
    ASSERT_TRUE(baked && baked->getWidth() == 200 && expected.getWidth() == 200 &&
                baked->getHeight() == 100 && expected.getHeight() == 100);
    EXPECT_EQ(0, std::memcmp(baked->data(), expected.data(), sizeof(*baked->data()) * 20000));
}

// Every bad input ends with its status (2: usage, 3: input) and one line on standard error
// holding each '|'-separated phrase, without outputs; pixels that are no light are refused or
// repaired, and after a repair irradiance.exr lies in [lowest, 1.001], lowest in [low, high].
TEST(IblBakeTool, BadInputsAndRepairs) {
    const std::string d = freshDir("bad");
    // A uniform probe of 1, 64 x 32, with a few pixels spoilt (picture coordinates).
    auto spoilt = [&](const std::string& name, std::vector<std::pair<int, int>> where, float v) {
        ix::Reference<Float3Image> probe = constantImage(64, 32, 1.0f);
        for (const auto& [x, y] : where) probe->at(x, 31 - y).green = v;
        EXPECT_EQ(iblBake::writePfm(*probe, d + "/" + name), "");
        return d + "/" + name;
    };
    const std::string nan = spoilt("nan.pfm", {{5, 16}}, NAN);
    const std::string inf = spoilt("inf.pfm", {{9, 3}, {2, 7}}, -INFINITY);
    const std::string negative = spoilt("negative.pfm", {{1, 1}, {2, 2}, {3, 3}}, -5.0f);
    std::ofstream(d + "/empty.exr");
    ASSERT_EQ(iblBake::writeExr(*constantImage(64, 32, 1.0f), d + "/whole.exr"), "");
    const std::string whole = readTextFile(d + "/whole.exr");
    std::ofstream(d + "/truncated.exr", std::ios::binary) << whole.substr(0, whole.size() / 2);
    ASSERT_EQ(iblBake::writePng(std::vector<unsigned char>(24, 9), 4, 2, d + "/picture.png"), "");
    ASSERT_EQ(iblBake::writePfm(*constantImage(96, 32, 1.0f), d + "/wide.pfm"), "");
    ASSERT_EQ(iblBake::writePfm(*constantImage(32, 32, 1.0f), d + "/square.pfm"), "");
    // Rotation-matrix files: cut short, a record header wrong, not matrices at all, and well
    // formed but with the first element of the last matrix moved by 0.01 (no longer a rotation).
    const std::string good = readTextFile(ixTest::shareDir() + "/sh_rotation_matrices.txt");
    std::ofstream(d + "/cut.txt") << good.substr(0, good.size() * 2 / 3);
    std::string swapped = good, bent = good;
    std::ofstream(d + "/header.txt") << swapped.replace(swapped.find("\n1 7\n"), 5, "\n1 8\n");
    const size_t first = bent.find("\n20 99\n") + 7, end = bent.find(' ', first);
    bent.replace(first, end - first, std::to_string(std::stod(bent.substr(first)) + 0.01));
    std::ofstream(d + "/bent.txt") << bent;
    std::ofstream(d + "/text.txt") << "root:x:0:0:root:/root:/bin/bash\nkey value\n";
    const std::string m = "--rotation-matrices";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
        float low = 0.0f, high = 0.0f;
    } cases[] = {
        {{d + "/missing.exr"}, 3, "missing.exr|cannot open"},
        {{d + "/empty.exr"}, 3, "empty.exr|is empty"},
        {{d + "/truncated.exr"}, 3, "truncated.exr|OpenEXR"},
        {{d + "/picture.png"}, 3, "picture.png|PNG"},
        {{d + "/wide.pfm"}, 3, "wide.pfm|not a recognized environment map shape"},
        {{"--projection", "latlong", d + "/square.pfm"}, 3, "square.pfm|needs a 2:1 image"},
        {{"-q", "--projection", "angular", negative}, 3, "needs a square image, not 64 x 32"},
        {{"--measured", d + "/missing.binary"}, 3, "Cannot open the measured BRDF"},
        {{nan}, 3, "nan.pfm: 1 non-finite pixel, at (5, 16)|--fix-nonfinite"},
        {{inf}, 3, "inf.pfm: 2 non-finite pixels, the first at (9, 3)"},
        {{m, d + "/none.txt"}, 3, "none.txt|rotation-matrix file"},
        {{m, d + "/cut.txt"}, 3, "cut.txt: not a usable|the file ends"},
        {{m, d + "/header.txt"}, 3, "header.txt|(band 1, sample 7): its header reads '1 8'"},
        {{m, d + "/text.txt"}, 3, "text.txt|header is not two integers"},
        {{m, d + "/bent.txt"}, 3, "(band 20, sample 99): the matrix is not a rotation"},
        {{"--frobnicate"}, 2, "unknown option '--frobnicate'"},
        {{"--phong", "abc"}, 2, "--phong needs an integer"},
        {{"--ggx", "0.5,1.5"}, 2, "--ggx needs ALPHA"},
        {{"--window", "box"}, 2, "--window needs none, hann or lanczos"},
        {{"--projection", "fisheye"}, 2, "needs latlong, cross, angular or mirror-ball"},
        {{"--fix-nonfinite", "grey", nan}, 2, "needs black or neighbours"},
        {{nan, d + "/other/nan.exr"}, 2, "would both be written into nan/"},
        {{"--out"}, 2, "--out needs a folder"},
        // Neighbours restore the uniform probe; black leaves a dip where the pixel was; a
        // clamped -5 dips as deep as a 0 (unclamped it would dip six times deeper).
        {{"--fix-nonfinite", "neighbours", nan}, 0, "repaired 1 non-finite pixel", 0.999f, 1.001f},
        {{"--fix-nonfinite=black", nan}, 0, "(set to 0)", 0.99f, 0.9995f},
        {{negative}, 0, "clamped 3 pixels with negative values", 0.995f, 0.9995f},
        {{"--quiet", negative}, 0, "", 0.995f, 0.9995f},
    };
    for (const auto& c : cases) {
        const std::string out = freshDir("bad_out");
        std::vector<std::string> args = {"--phong", "4", "--no-contact-sheet", "-o", out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun run = runTool(args, d);
        const std::string what = c.args.front() + " " + c.args.back() + ": " + run.stderrText;
        EXPECT_EQ(run.exitCode, c.status) << what;
        for (size_t at = 0, bar; at < c.says.size(); at = bar + 1) {
            bar = std::min(c.says.find('|', at), c.says.size());
            EXPECT_NE(run.stderrText.find(c.says.substr(at, bar - at)), std::string::npos) << what;
        }
        if (c.status != 0) {
            EXPECT_EQ(std::count(run.stderrText.begin(), run.stderrText.end(), '\n'), 1) << what;
            EXPECT_FALSE(std::filesystem::exists(out + "/irradiance.json")) << what;
            continue;
        }
        EXPECT_TRUE(!c.says.empty() || run.stderrText.empty()) << what << "(--quiet)";
        const auto [lo, hi] = mapRange(out + "/irradiance.exr");
        EXPECT_TRUE(lo >= c.low && lo <= c.high && hi <= 1.001f) << what << lo << " " << hi;
    }
}

// Square angular and mirror-ball probes drawn straight from an analytic sky, each pixel from the
// geometry of its projection, bake to what the latitude-longitude sampling of the same sky
// bakes to: the irradiance within 2 % at every pixel, the specular map within 3 % relative RMS.
TEST(IblBakeInputs, SquareProbesBakeLikeTheLatLongOriginal) {
    const std::string dir = freshDir("square");
    iblBake::SkyParameters sky;
    sky.sunRadiusDeg = 8.0f;  // a disc of a few pixels at this size, sampled alike by all
    sky.sunRadiance = 40.0f;
    const int side = 512;
    const ix::Reference<Float3Image> latLong(iblBake::makeSkyProbe(side / 2, sky));
    ASSERT_EQ(iblBake::writePfm(*latLong, dir + "/latlong.pfm"), "");
    ASSERT_EQ(runTool({"-o", dir + "/out", dir + "/latlong.pfm"}, dir).exitCode, 0);
    for (const std::string projection : {"angular", "mirror-ball"}) {
        ix::Reference<Float3Image> square = constantImage(side, side, 0.0f);
        for (int y = 0; y < side; ++y)  // bottom-up rows: +y is up the picture, towards +Z
            for (int x = 0; x < side; ++x) {
                const double px = 2.0 * (x + 0.5) / side - 1.0, py = 2.0 * (y + 0.5) / side - 1.0;
                const double r = std::hypot(px, py);
                if (r > 1.0) continue;
                // Angular: the angle from -Y is r pi. Mirror ball: the camera's ray v = +Y
                // reflected off the normal n = (px, -ny, py), v - 2 (v.n) n.
                const double ny = std::sqrt(1.0 - r * r), s = r > 0 ? std::sin(r * M_PI) / r : 0;
                square->at(x, y) = iblBake::skyRadiance(
                    sky, projection == "angular"
                             ? ixLinear::VectorFlt(px * s, -std::cos(r * M_PI), py * s)
                             : ixLinear::VectorFlt(2 * ny * px, 1 - 2 * ny * ny, 2 * ny * py));
            }
        ASSERT_EQ(iblBake::writePfm(*square, dir + "/square.pfm"), "");
        const std::string out = dir + "/" + projection;
        ASSERT_EQ(
            runTool({"-o", out, "--projection", projection, dir + "/square.pfm"}, dir).exitCode, 0);
        for (const char* map : {"irradiance.exr", "specular_phong_8.exr"}) {
            const ix::Reference<Float3Image> a = ixTest::loadProbeExr(dir + "/out/" + map);
            const ix::Reference<Float3Image> b = ixTest::loadProbeExr(out + "/" + map);
            ASSERT_TRUE(a && b && a->getWidth() == b->getWidth()) << map;
            double worst = 0.0;
            ixTest::RelativeRms rms;
            for (int i = 0; i < a->getWidth() * a->getHeight(); ++i) {
                const FloatPixel3<float>&p = a->data()[i], &q = b->data()[i];
                for (const auto& [u, w] :
                     {std::pair{p.red, q.red}, {p.green, q.green}, {p.blue, q.blue}})
                    worst = std::fmax(worst, std::fabs(w - u) / u), rms.add(w, u);
            }
            EXPECT_LT(map[0] == 'i' ? worst : rms.value(), map[0] == 'i' ? 0.02 : 0.03)
                << projection << " " << map;
        }
    }
}

// Three probes in one run: uniform light of 1 or 2 (the second square, so converted) gives 1 or
// 2 in every map of its own folder (white furnace); the spoilt one is reported and skipped, and
// the summary and the status say so.
TEST(IblBakeTool, ManyProbesInOneRun) {
    const std::string dir = freshDir("batch");
    ASSERT_EQ(iblBake::writePfm(*constantImage(128, 64, 1.0f), dir + "/one.pfm"), "");
    ASSERT_EQ(iblBake::writeExr(*constantImage(64, 64, 2.0f), dir + "/two.exr"), "");
    ix::Reference<Float3Image> spoilt = constantImage(64, 32, 1.0f);
    spoilt->at(3, 4).red = NAN;
    ASSERT_EQ(iblBake::writePfm(*spoilt, dir + "/spoilt.pfm"), "");
    const std::string out = dir + "/out";
    const ToolRun run = runTool({"--phong", "8", "--lambert", "--no-viewer", "-o", out,
                                 dir + "/one.pfm", dir + "/spoilt.pfm", dir + "/two.exr"},
                                dir);
    EXPECT_EQ(run.exitCode, 3) << run.stderrText;
    const auto files = std::count_if(std::filesystem::recursive_directory_iterator(out), {},
                                     [](const auto& entry) { return entry.is_regular_file(); });
    EXPECT_EQ(files, 2 * 10) << "each: probe, irradiance, Phong 8 and Lambert (EXR, PNG), "
                                "sheet, JSON, balls; no viewer";
    for (const std::string& phrase :
         {"probe 1 of 3: " + dir + "/one.pfm", "probe 3 of 3: " + dir + "/two.exr",
          std::string("spoilt.pfm: 1 non-finite pixel"),
          "2 baked, 1 refused, " + std::to_string(files) + " files written into " + out})
        EXPECT_NE(run.stderrText.find(phrase), std::string::npos) << run.stderrText;
    for (const auto& [stem, value] : {std::pair{"one", 1.0f}, {"two", 2.0f}})
        for (const char* map : {"irradiance.exr", "specular_phong_8.exr", "specular_lambert.exr"}) {
            const auto [lo, hi] = mapRange(out + "/" + stem + "/" + map);
            EXPECT_TRUE(lo > 0.98f * value && hi < 1.02f * value) << stem << "/" << map;
        }
}
