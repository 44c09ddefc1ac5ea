// Diagnostic dumps: every file is read back and checked against values computed here (byte
// clamps, scan orders, mirror directions, the 16-bit coefficient encoding).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "iximage/diagnostics/dumps.h"
#include "iximage/interfaces/reference.h"
#include "support/test_math.h"

namespace {

using ixImage::Float3Image;
using ixImage::ShrmImage;
using ixTest::kPi;

// Runs the test inside a fresh folder and removes what the dumps wrote.
class InTempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
    }
    const std::filesystem::path previous = std::filesystem::current_path(),
                                folder = std::filesystem::path(::testing::TempDir()) /
                                         ("dumps_" + std::to_string(getpid()));
};

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A PPM's pixel bytes, after checking its header.
std::string readPpm(const std::string& name, int width, int height) {
    const std::string bytes = readFile(name), header = "P6\n" + std::to_string(width) + " " +
                                                       std::to_string(height) + "\n255\n";
    EXPECT_EQ(bytes.substr(0, header.size()), header) << name;
    EXPECT_EQ(bytes.size(), header.size() + std::size_t(width * height * 3)) << name;
    return bytes.substr(header.size());
}

int byteAt(const std::string& pixels, int width, int x, int row, int channel) {
    return static_cast<unsigned char>(pixels[std::size_t((row * width + x) * 3 + channel)]);
}

// A value whose truncation rounding cannot change (not within 1e-4 of an integer).
bool clearOfInteger(double v) { return std::fabs(v - std::round(v)) > 1e-4; }

}  // namespace

TEST_F(InTempFolder, DumpImageBytesAndRowOrder) {
    struct Case {
        float value;
        bool scale;
        int expected;
    };
    const Case cases[] = {{0.999f, false, 0}, {1.0f, false, 1},  {0.5f, true, 127},
                          {-0.2f, true, 0},   {3.0f, true, 255}, {300.0f, false, 255}};
    for (const Case& c : cases) {
        Float3Image image;
        image.setSize(1, 1);
        image.at(0, 0) = ixImage::FloatPixel3<float>(c.value, c.value, c.value);
        dumpImage("one", image, c.scale);
        EXPECT_EQ(byteAt(readPpm("one.ppm", 1, 1), 1, 0, 0, 1), c.expected) << c.value;
    }
    Float3Image image;
    image.setSize(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.at(x, y) = ixImage::FloatPixel3<float>(float(x), float(y), float(10 * y + x));
    dumpImage("rows", image, false);
    const std::string pixels = readPpm("rows.ppm", 3, 2);
    for (int row = 0; row < 2; ++row)  // the file starts with the image's last row
        for (int x = 0; x < 3; ++x)
            EXPECT_TRUE(byteAt(pixels, 3, x, row, 0) == x &&
                        byteAt(pixels, 3, x, row, 1) == 1 - row &&
                        byteAt(pixels, 3, x, row, 2) == 10 * (1 - row) + x)
                << "file row " << row << " column " << x;
}

// A map of band 0 only holding its grid position, red = column + 0.25 and green = row + 0.25
// (divided by Y(0,0) = 1 / (2 sqrt(pi)), so that scale 1 shows them): each sphere pixel shows
// where its mirror direction falls, read bilinearly, which is that position itself.
TEST_F(InTempFolder, SphereViewsShowBilinearMirrorReads) {
    const double kY00 = 0.5 / std::sqrt(kPi), d[3] = {0.0, -0.6, 0.8};
    ix::Reference<ShrmImage> map(new ShrmImage());
    map->setSize(200, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            map->at(x, y).at(0, 0) = {(x + 0.25) / kY00, (y + 0.25) / kY00, -1.0};
    dumpktsphere(*map, d, 0, 1.0);
    dumpimagesphere(nullptr, nullptr, nullptr, *map, d, 0, 0, 1.0);
    // The frame seen along d: theta and phi unit vectors of d's direction.
    const double thetaD = std::acos(d[2]), phiD = std::atan2(d[1], d[0]);
    const double tHat[3] = {std::cos(thetaD) * std::cos(phiD), std::cos(thetaD) * std::sin(phiD),
                            -std::sin(thetaD)};
    const double pHat[3] = {-std::sin(phiD), std::cos(phiD), 0.0};
    struct View {
        const char* file;
        double radius;
        bool border;
    };
    for (const auto& [file, radius, border] :
         {View{"tmpktsphere.ppm", 127.5, false}, View{"tmpfreq.ppm", 96.5, true}}) {
        const std::string pixels = readPpm(file, 256, 256);
        int compared = 0;
        for (int i = 0; i < 256; ++i)
            for (int j = 0; j < 256; ++j) {
                const double u = (j - 127.5) / radius, v = (127.5 - i) / radius;
                const int red = byteAt(pixels, 256, j, i, 0), green = byteAt(pixels, 256, j, i, 1);
                if (u * u + v * v >= 1.0 || (border && (i < 31 || i > 224 || j < 31 || j > 224))) {
                    EXPECT_EQ(red + green, 0) << file << " " << i << "," << j;
                    continue;
                }
                // The sphere's normal there, and the mirror of d about it.
                double n[3], r[3];
                for (int k = 0; k < 3; ++k)
                    n[k] = u * tHat[k] + v * pHat[k] + std::sqrt(1 - u * u - v * v) * d[k];
                const double e = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
                for (int k = 0; k < 3; ++k) r[k] = 2 * e * n[k] - d[k];
                // Rounding may push |r_z| past 1; the dumps then pull it in by 0.999.
                const double rz = std::fabs(r[2]) > 1.0 ? r[2] * 0.999 : r[2];
                const double row = std::acos(std::fmin(std::fmax(rz, -1.0), 1.0)) / kPi * 100;
                const double column = std::fmin(
                    std::fmod(std::atan2(r[1], r[0]) + 2 * kPi, 2 * kPi) / kPi * 100, 199);
                if (!clearOfInteger(row + 0.25) || !clearOfInteger(column + 0.25)) continue;
                ++compared;
                EXPECT_EQ(red, int(column + 0.25)) << file << " " << i << "," << j;
                EXPECT_EQ(green, int(std::fmin(row, 99.0) + 0.25)) << file << " " << i << "," << j;
            }
        EXPECT_GT(compared, 20000) << file;
    }
}

// A coefficient file: three lines of scaled maxima per coefficient, then 16-bit words.
TEST_F(InTempFolder, PrintShrmsEncodesPerCoefficientRange) {
    // (1,-1) red reaches its largest magnitude at a negative value, (2,0) green at a positive
    // one; every other coefficient is zero everywhere.
    ix::Reference<ShrmImage> map(new ShrmImage());
    map->setSize(200, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            map->at(x, y).at(1, -1).red = x - 150.0;  // -150 .. 49
            map->at(x, y).at(2, 0).green = 0.5 * y;   // 0 .. 49.5
        }
    printshrms("probe", "unused", 2, *map, 2.0);
    std::istringstream file(readFile("probe.shrm"));
    std::vector<double> maxima[3];  // per channel
    for (std::vector<double>& channel : maxima) {
        std::string line;
        std::getline(file, line);
        std::istringstream values(line);
        for (double v; values >> v;) channel.push_back(v);
        ASSERT_EQ(channel.size(), 121u);
    }
    EXPECT_TRUE(maxima[0][1] == 2 * 150.0 && maxima[1][6] == 2 * 49.5 && maxima[2][0] == 0)
        << "(1,-1) is entry 1 + 1 - 1, (2,0) entry 4 + 2 + 0";
    const std::string body(std::istreambuf_iterator<char>(file), {});
    ASSERT_EQ(body.size(), 2u * 200 * 100 * 3 * 121);
    auto word = [&](int x, int y, int c, int k) {
        const std::size_t at = 2 * std::size_t(((y * 200 + x) * 3 + c) * 121 + k);
        return static_cast<unsigned char>(body[at]) * 256 +
               static_cast<unsigned char>(body[at + 1]);
    };
    struct Case {
        int x, y, c, k, expected;
    };
    const Case cases[] = {
        {0, 0, 0, 1, 0},                                            // -M
        {17, 99, 1, 6, 65535},                                      // +M
        {5, 5, 2, 40, 0x7FFF},                                      // zero everywhere
        {150, 3, 0, 1, 32767},                                      // v = 0 of a used coefficient
        {180, 0, 0, 1, int((30.0 / 150.0 + 1) * 0.5 * 65535.999)},  // 30 / 150
        {0, 40, 1, 6, int((20.0 / 49.5 + 1) * 0.5 * 65535.999)},    // 20 / 49.5
    };
    for (const Case& c : cases)
        EXPECT_EQ(word(c.x, c.y, c.c, c.k), c.expected)
            << "pixel " << c.x << "," << c.y << " channel " << c.c << " coefficient " << c.k;
}
