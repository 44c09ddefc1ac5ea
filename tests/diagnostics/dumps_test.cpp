// Diagnostic dumps: every file is read back and checked against values computed here (byte
// clamps, scan orders, mirror directions, the 16-bit coefficient encoding).
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "iximage/diagnostics/dumps.h"
#include "support/test_math.h"

namespace {

using ixImage::ShrmImage;
using ixTest::kPi;

// The dumps write into the current folder: the tests run in a fresh one, removed at exit.
struct InTempFolder {
    const std::filesystem::path previous = std::filesystem::current_path(),
                                folder = ::testing::TempDir() + "dumps_" + std::to_string(getpid());
    InTempFolder() {
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    ~InTempFolder() {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
    }
} const inTempFolder;

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A PPM's pixel bytes, after checking its header and length.
std::string readPpm(const std::string& name, int width, int height) {
    const std::string bytes = readFile(name), header = "P6\n" + std::to_string(width) + " " +
                                                       std::to_string(height) + "\n255\n";
    EXPECT_TRUE(bytes.rfind(header, 0) == 0 && bytes.size() == header.size() + width * height * 3u)
        << name;
    std::string pixels = bytes.substr(std::min(header.size(), bytes.size()));
    pixels.resize(width * height * 3u);
    return pixels;
}

}  // namespace

// Each channel (times 255 when asked) clamped to 0 .. 255 and truncated, NaN giving 0; the
// file starts with the image's last row.
TEST(Dumps, DumpImageClampsTruncatesAndStartsWithTheLastRow) {
    const float values[6] = {0.999f, 1.0f, 300.0f, -0.2f, 0.5f, NAN};
    ixImage::Float3Image image;
    image.setSize(3, 2);
    for (int i = 0; i < 6; ++i) image.data()[i] = {values[i], 2 * values[i], 0.25f * i};
    for (bool scale : {false, true}) {
        dumpImage("rows", image, scale);
        const std::string bytes = readPpm("rows.ppm", 3, 2);
        for (int i = 0; i < 18; ++i) {
            const auto& p = image.at(i / 3 % 3, 1 - i / 9);
            const double v =
                std::array<float, 3>{p.red, p.green, p.blue}[i % 3] * (scale ? 255 : 1);
            EXPECT_EQ(bytes[i] & 0xFF, v > 0 ? int(std::fmin(v, 255)) : 0) << i << " " << scale;
        }
    }
}

// A map of band 0 only holding its grid position, red = column + 0.25 and green = row + 0.25
// (divided by Y(0,0) = 1 / (2 sqrt(pi)), so that scale 1 shows them): each sphere pixel shows
// where its mirror direction falls, read bilinearly, which is that position itself.
TEST(Dumps, SphereViewsShowBilinearMirrorReads) {
    const double kY00 = 0.5 / std::sqrt(kPi), d[3] = {0.0, -0.6, 0.8};
    ShrmImage map;
    map.setSize(200, 100);
    for (int i = 0; i < 200 * 100; ++i)
        map.data()[i].at(0, 0) = {(i % 200 + 0.25) / kY00, (i / 200 + 0.25) / kY00, -1.0};
    dumpktsphere(map, d, 0, 1.0);
    dumpimagesphere(nullptr, nullptr, nullptr, map, d, 0, 0, 1.0);
    // The frame seen along d: the unit vectors of increasing theta and of increasing phi at d.
    const double sinTheta = std::hypot(d[0], d[1]);
    const double tHat[3] = {d[0] * d[2] / sinTheta, d[1] * d[2] / sinTheta, -sinTheta},
                 pHat[3] = {-d[1] / sinTheta, d[0] / sinTheta, 0.0};
    for (const auto& [file, radius] :
         {std::pair("tmpktsphere.ppm", 127.5), {"tmpfreq.ppm", 96.5}}) {
        const std::string bytes = readPpm(file, 256, 256);
        int compared = 0;
        for (int i = 0; i < 256 * 256; ++i) {
            const double u = (i % 256 - 127.5) / radius, v = (127.5 - i / 256) / radius;
            const int red = bytes[3 * i] & 0xFF, green = bytes[3 * i + 1] & 0xFF;
            if (u * u + v * v >= 1.0) {  // off the sphere (which also leaves tmpfreq's border)
                EXPECT_EQ(red + green, 0) << file << " pixel " << i;
                continue;
            }
            // The sphere's normal there, and the mirror of d about it.
            double n[3], r[3];
            for (int k = 0; k < 3; ++k)
                n[k] = u * tHat[k] + v * pHat[k] + std::sqrt(1 - u * u - v * v) * d[k];
            for (int k = 0; k < 3; ++k)
                r[k] = 2 * (n[0] * d[0] + n[1] * d[1] + n[2] * d[2]) * n[k] - d[k];
            // Rounding may push |r_z| past 1; the dumps then pull it in by 0.999.
            const double row =
                std::fmin(std::acos(std::fabs(r[2]) > 1 ? r[2] * 0.999 : r[2]) / kPi * 100, 99) +
                0.25;
            const double column =
                std::fmin(std::fmod(std::atan2(r[1], r[0]) + 2 * kPi, 2 * kPi) / kPi * 100, 199) +
                0.25;
            // Where truncation could go either way, there is nothing to compare.
            if (std::fabs(row - std::round(row)) < 1e-4 ||
                std::fabs(column - std::round(column)) < 1e-4)
                continue;
            ++compared;
            EXPECT_TRUE(red == int(column) && green == int(row)) << file << " pixel " << i;
        }
        EXPECT_GT(compared, 20000) << file;
    }
}

// Per channel a text line of every coefficient's largest magnitude M (scaled), then per pixel,
// channel and coefficient the word trunc((v / M + 1) 0.5 65535.999), high byte first.
TEST(Dumps, PrintShrmsEncodesPerCoefficientRange) {
    // Red (1,-1) peaks in magnitude at a negative value, green (2,0) at a positive one; every
    // other coefficient is 0 everywhere (so its words are 0x7FFF).
    ShrmImage map;
    map.setSize(200, 100);
    for (int i = 0; i < 200 * 100; ++i) {
        map.data()[i].at(1, -1).red = i % 200 - 150.0;   // -150 .. 49
        map.data()[i].at(2, 0).green = 0.5 * (i / 200);  // 0 .. 49.5
    }
    printshrms("probe", "unused", 2, map, 2.0);
    std::istringstream file(readFile("probe.shrm"));
    std::vector<double> maxima[3];  // per channel
    for (std::vector<double>& channel : maxima) {
        std::string line;
        std::getline(file, line);
        std::istringstream values(line);
        channel.assign(std::istream_iterator<double>(values), {});
        ASSERT_EQ(channel.size(), 121u);
    }
    EXPECT_TRUE(maxima[0][1] == 2 * 150.0 && maxima[1][6] == 2 * 49.5 && maxima[2][0] == 0)
        << "(1,-1) is entry 1 + 1 - 1, (2,0) entry 4 + 2 + 0";
    const std::string body(std::istreambuf_iterator<char>(file), {});
    ASSERT_EQ(body.size(), 2u * 200 * 100 * 3 * 121);
    const int cases[][5] = {
        // x, y, channel, coefficient, word
        {0, 0, 0, 1, 0},                                            // -M
        {17, 99, 1, 6, 65535},                                      // +M
        {5, 5, 2, 40, 0x7FFF},                                      // zero everywhere
        {150, 3, 0, 1, 32767},                                      // v = 0 of a used coefficient
        {180, 0, 0, 1, int((30.0 / 150.0 + 1) * 0.5 * 65535.999)},  // 30 / 150
        {0, 40, 1, 6, int((20.0 / 49.5 + 1) * 0.5 * 65535.999)},    // 20 / 49.5
    };
    for (const auto& [x, y, c, k, expected] : cases) {
        const std::size_t at = 2 * std::size_t(((y * 200 + x) * 3 + c) * 121 + k);
        EXPECT_EQ((body[at] & 0xFF) * 256 + (body[at + 1] & 0xFF), expected)
            << "pixel " << x << "," << y << " channel " << c << " coefficient " << k;
    }
}
