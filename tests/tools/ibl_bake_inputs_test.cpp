// ibl-bake on the files real pipelines produce, driven from outside as a process: probes with
// pixels that are not light, damaged rotation-matrix files, square angular and mirror-ball
// probes (which must bake to what the latitude-longitude original bakes to), and many probes in
// one run. Maps are read back with the tests' own OpenEXR reader.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "exr_probe.h"
#include "hdr_io.h"
#include "sky_probe.h"
#include "test_support.h"
#include "tool_run.h"

using ixImage::Float3Image;
using ixImage::FloatPixel3;
using ixTest::freshDir;
using ixTest::readTextFile;
using ixTest::runTool;

namespace {

ix::Reference<Float3Image> uniformProbe(int width, int height, float value) {
    ix::Reference<Float3Image> image(new Float3Image);
    image->setSize(width, height);
    for (int i = 0; i < width * height; ++i)
        image->data()[i] = FloatPixel3<float>(value, value, value);
    return image;
}

// Smallest and largest channel value of a baked map (NaN if any value is not finite).
std::pair<float, float> mapRange(const std::string& path) {
    const ix::Reference<Float3Image> map = ixTest::loadProbeExr(path);
    if (!map) return {NAN, NAN};
    float lo = INFINITY, hi = -INFINITY;
    for (int i = 0; i < map->getWidth() * map->getHeight(); ++i)
        for (float v : {map->data()[i].red, map->data()[i].green, map->data()[i].blue}) {
            if (!std::isfinite(v)) return {NAN, NAN};
            lo = std::fmin(lo, v);
            hi = std::fmax(hi, v);
        }
    return {lo, hi};
}

// Picture position (x, y from the top row) to the image's bottom-up row.
FloatPixel3<float>& pictureAt(Float3Image& image, int x, int y) {
    return image.at(x, image.getHeight() - 1 - y);
}

}  // namespace

TEST(IblBakeInputs, BadFilesAndRepairs) {
    const std::string dir = freshDir("inputs");
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = INFINITY;
    // A uniform probe of 1, 64 x 32, with a few pixels spoilt (picture coordinates).
    auto probeWith = [&](const std::string& name, std::vector<std::pair<int, int>> where, float v) {
        ix::Reference<Float3Image> probe = uniformProbe(64, 32, 1.0f);
        for (const auto& [x, y] : where) pictureAt(*probe, x, y).green = v;
        EXPECT_EQ(iblBake::writePfm(*probe, dir + "/" + name), "");
        return dir + "/" + name;
    };
    const std::string nanProbe = probeWith("nan.pfm", {{5, 16}}, nan);
    const std::string plusInf = probeWith("plusinf.pfm", {{9, 3}, {2, 7}}, inf);
    const std::string minusInf = probeWith("minusinf.pfm", {{0, 31}}, -inf);
    const std::string negative = probeWith("negative.pfm", {{1, 1}, {2, 2}, {3, 3}}, -5.0f);

    // Rotation-matrix files: cut short, one record header wrong, not matrices at all.
    const std::string good = readTextFile(ixTest::shareDir() + "/sh_rotation_matrices.txt");
    std::ofstream(dir + "/cut.txt") << good.substr(0, good.size() * 2 / 3);
    std::string swapped = good;
    swapped.replace(swapped.find("\n1 7\n"), 5, "\n1 8\n");
    std::ofstream(dir + "/header.txt") << swapped;
    // Well formed, but the first element of the last matrix moved by 0.01: no longer a rotation.
    std::string bent = good;
    const size_t first = bent.find("\n20 99\n") + 7, end = bent.find(' ', first);
    bent.replace(first, end - first, std::to_string(std::stod(bent.substr(first)) + 0.01));
    std::ofstream(dir + "/bent.txt") << bent;
    std::ofstream(dir + "/text.txt") << "root:x:0:0:root:/root:/bin/bash\nkey value\n";

    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<const char*> says;  // every phrase must appear on standard error
        // After a bake, the smallest value of irradiance.exr lies in [lowest, highest] and the
        // largest is within 1e-3 of the uniform probe's 1.
        float lowest = 0.0f, highest = 0.0f;
    };
    const Case cases[] = {
        {{nanProbe}, 3, {"nan.pfm: 1 non-finite pixel, at (5, 16)", "--fix-nonfinite"}},
        {{plusInf}, 3, {"plusinf.pfm: 2 non-finite pixels, the first at (9, 3)"}},
        {{minusInf}, 3, {"minusinf.pfm: 1 non-finite pixel, at (0, 31)"}},
        // Neighbours restore the uniform probe; black leaves a dip where the pixel was; a
        // clamped -5 dips as deep as a 0 (unclamped it would dip six times deeper).
        {{"--fix-nonfinite", "neighbours", nanProbe},
         0,
         {"repaired 1 non-finite pixel"},
         0.999f,
         1.001f},
        {{"--fix-nonfinite=black", nanProbe},
         0,
         {"repaired 1 non-finite pixel (set to 0)"},
         0.99f,
         0.9995f},
        {{negative},
         0,
         {"negative.pfm: clamped 3 pixels with negative values to 0"},
         0.995f,
         0.9995f},
        {{"--quiet", negative}, 0, {}, 0.995f, 0.9995f},
        {{"--fix-nonfinite", "grey", nanProbe}, 2, {"--fix-nonfinite needs black or neighbours"}},
        {{"--rotation-matrices", dir + "/cut.txt", nanProbe},
         3,
         {"cut.txt: not a usable", "the file ends"}},
        {{"--rotation-matrices", dir + "/header.txt"},
         3,
         {"header.txt", "(band 1, sample 7): its header reads '1 8'"}},
        {{"--rotation-matrices", dir + "/text.txt"}, 3, {"text.txt", "header is not two integers"}},
        {{"--rotation-matrices", dir + "/bent.txt"},
         3,
         {"(band 20, sample 99): the matrix is not a rotation"}},
        {{"--quiet", "--projection", "angular", negative},
         3,
         {"negative.pfm: --projection angular needs a square image, not 64 x 32"}},
        {{"--projection", "fisheye"},
         2,
         {"--projection needs latlong, cross, angular or mirror-ball"}},
        {{nanProbe, dir + "/other/nan.exr"}, 2, {"would both be written into nan/"}},
    };
    for (const Case& c : cases) {
        const std::string out = freshDir("inputs_out");
        std::vector<std::string> args = {"--phong", "4", "--no-contact-sheet", "-o", out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ixTest::ToolRun run = runTool(args, dir);
        std::string what;
        for (const std::string& arg : c.args) what += arg + " ";
        EXPECT_EQ(run.exitCode, c.status) << what << "\n" << run.stderrText;
        for (const char* phrase : c.says)
            EXPECT_NE(run.stderrText.find(phrase), std::string::npos) << what << "\n"
                                                                      << run.stderrText;
        if (c.status != 0) {
            EXPECT_EQ(std::count(run.stderrText.begin(), run.stderrText.end(), '\n'), 1)
                << what << run.stderrText;
            EXPECT_FALSE(std::filesystem::exists(out + "/irradiance.json")) << what;
            continue;
        }
        if (c.says.empty()) {
            EXPECT_EQ(run.stderrText, "") << what;
        }
        const auto [lo, hi] = mapRange(out + "/irradiance.exr");
        EXPECT_TRUE(lo >= c.lowest && lo <= c.highest && hi <= 1.001f)
            << what << ": irradiance in [" << lo << ", " << hi << "]";
    }
}

// Square probes drawn straight from an analytic sky, each pixel from the geometry of its
// projection, bake to what the latitude-longitude sampling of the same sky bakes to: the
// irradiance within 2 % at every pixel, the specular map within 3 % relative RMS.
TEST(IblBakeInputs, SquareProbesBakeLikeTheLatLongOriginal) {
    const std::string dir = freshDir("square");
    iblBake::SkyParameters sky;
    sky.sunRadiusDeg = 8.0f;  // a disc of a few pixels at this size, sampled alike by all
    sky.sunRadiance = 40.0f;
    const int side = 512;
    const ix::Reference<Float3Image> latLong(iblBake::makeSkyProbe(side / 2, sky));
    ASSERT_EQ(iblBake::writePfm(*latLong, dir + "/latlong.pfm"), "");
    for (const bool ball : {false, true}) {
        ix::Reference<Float3Image> square = uniformProbe(side, side, 0.0f);
        for (int y = 0; y < side; ++y)  // bottom-up rows: +y is up the picture, towards +Z
            for (int x = 0; x < side; ++x) {
                const double px = 2.0 * (x + 0.5) / side - 1.0, py = 2.0 * (y + 0.5) / side - 1.0;
                const double r = std::hypot(px, py);
                if (r > 1.0) continue;
                double d[3];
                if (ball) {  // the camera's ray +Y reflected off the ball: R = v - 2 (v.n) n
                    const double n[3] = {px, -std::sqrt(1.0 - r * r), py}, v[3] = {0, 1, 0};
                    for (int k = 0; k < 3; ++k) d[k] = v[k] - 2.0 * n[1] * n[k];
                } else {  // angular: the angle from -Y is r pi
                    const double theta = r * M_PI, s = r > 0 ? std::sin(theta) / r : 0.0;
                    d[0] = px * s, d[1] = -std::cos(theta), d[2] = py * s;
                }
                square->at(x, y) = iblBake::skyRadiance(
                    sky, ixLinear::VectorFlt(float(d[0]), float(d[1]), float(d[2])));
            }
        ASSERT_EQ(iblBake::writePfm(*square, dir + "/square.pfm"), "");
        const std::vector<std::string> runs[2] = {
            {dir + "/latlong.pfm"},
            {"--projection", ball ? "mirror-ball" : "angular", dir + "/square.pfm"}};
        for (int i = 0; i < 2; ++i) {
            std::vector<std::string> args = {
                "-q", "--phong", "8", "--no-contact-sheet", "-o", dir + "/out" + std::to_string(i)};
            args.insert(args.end(), runs[i].begin(), runs[i].end());
            ASSERT_EQ(runTool(args, dir).exitCode, 0) << runs[i].back();
        }
        for (const char* map : {"irradiance.exr", "specular_phong_8.exr"}) {
            const ix::Reference<Float3Image> a = ixTest::loadProbeExr(dir + "/out0/" + map);
            const ix::Reference<Float3Image> b = ixTest::loadProbeExr(dir + "/out1/" + map);
            ASSERT_TRUE(a && b && a->getWidth() == b->getWidth()) << map;
            double worst = 0.0, squares = 0.0, norm = 0.0;
            for (int i = 0; i < a->getWidth() * a->getHeight(); ++i) {
                const FloatPixel3<float>&p = a->data()[i], &q = b->data()[i];
                for (const auto& [u, w] :
                     {std::pair{p.red, q.red}, {p.green, q.green}, {p.blue, q.blue}}) {
                    worst = std::fmax(worst, std::fabs(w - u) / u);
                    squares += double(w - u) * (w - u);
                    norm += double(u) * u;
                }
            }
            const double rms = std::sqrt(squares / norm);
            EXPECT_LT(map[0] == 'i' ? worst : rms, map[0] == 'i' ? 0.02 : 0.03)
                << (ball ? "mirror ball " : "angular ") << map << ": worst " << worst << ", rms "
                << rms;
        }
    }
}

// Three probes in one run: each good one lands in its own folder with its own light (uniform
// probes of 1 and of 2, the second square, so converted on the way), the spoilt one is reported
// and skipped, the summary counts what happened and the status says a probe was refused.
TEST(IblBakeInputs, ManyProbesInOneRun) {
    const std::string dir = freshDir("batch");
    ASSERT_EQ(iblBake::writePfm(*uniformProbe(64, 32, 1.0f), dir + "/one.pfm"), "");
    ASSERT_EQ(iblBake::writeExr(*uniformProbe(64, 64, 2.0f), dir + "/two.exr"), "");
    ix::Reference<Float3Image> spoilt = uniformProbe(64, 32, 1.0f);
    spoilt->at(3, 4).red = NAN;
    ASSERT_EQ(iblBake::writePfm(*spoilt, dir + "/spoilt.pfm"), "");

    const std::string out = dir + "/out";
    const ixTest::ToolRun run = runTool(
        {"--phong", "4", "-o", out, dir + "/one.pfm", dir + "/spoilt.pfm", dir + "/two.exr"}, dir);
    EXPECT_EQ(run.exitCode, 3) << run.stderrText;
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out))
        files += entry.is_regular_file();
    const std::string says[] = {
        "probe 1 of 3: " + dir + "/one.pfm", "probe 3 of 3: " + dir + "/two.exr",
        "spoilt.pfm: 1 non-finite pixel",
        "2 baked, 1 refused, " + std::to_string(files) + " files written into " + out};
    for (const std::string& phrase : says)
        EXPECT_NE(run.stderrText.find(phrase), std::string::npos) << phrase << "\n"
                                                                  << run.stderrText;
    EXPECT_EQ(files, 2u * 9u)
        << "each: probe.png, irradiance and Phong 4 (EXR, PNG), sheet, JSON, balls, viewer";
    EXPECT_FALSE(std::filesystem::exists(out + "/spoilt/irradiance.json"));
    const std::pair<const char*, float> light[] = {{"one", 1.0f}, {"two", 2.0f}};
    for (const auto& [stem, value] : light)
        for (const char* map : {"irradiance.exr", "specular_phong_4.exr"}) {
            const auto [lo, hi] = mapRange(out + "/" + stem + "/" + map);
            EXPECT_TRUE(lo > 0.98f * value && hi < 1.02f * value)
                << stem << "/" << map << " in [" << lo << ", " << hi << "], expected " << value;
        }
}
