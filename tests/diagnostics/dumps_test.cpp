// Diagnostic dumps: every file is read back and checked against values computed here from the
// formulas (byte clamps, scan orders, mirror directions, the 16-bit coefficient encoding).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "iximage/diagnostics/dumps.h"
#include "iximage/interfaces/reference.h"
#include "support/test_math.h"

namespace {

using ixImage::Float3Image;
using ixImage::FloatPixel3;
using ixImage::ShrmImage;

using ixTest::kPi;
// Y(0,0) = 1 / (2 sqrt(pi)): the only band a map of constant-per-pixel light carries.
const double kY00 = 0.5 / std::sqrt(kPi);

// Runs the test inside a fresh folder and removes what the dumps wrote.
class InTempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        folder = std::filesystem::path(::testing::TempDir()) /
                 ("dumps_" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                  "_" + std::to_string(getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
    }
    std::filesystem::path previous, folder;
};

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Ppm {
    int width = 0, height = 0;
    std::string pixels;
    unsigned char at(int x, int y, int c) const {
        return static_cast<unsigned char>(pixels[(y * width + x) * 3 + c]);
    }
};

Ppm readPpm(const std::string& name) {
    const std::string bytes = readFile(name);
    Ppm ppm;
    EXPECT_EQ(std::sscanf(bytes.c_str(), "P6\n%d %d\n", &ppm.width, &ppm.height), 2) << name;
    const std::string header =
        "P6\n" + std::to_string(ppm.width) + " " + std::to_string(ppm.height) + "\n255\n";
    EXPECT_EQ(bytes.compare(0, header.size(), header), 0) << name;
    ppm.pixels = bytes.substr(header.size());
    EXPECT_EQ(ppm.pixels.size(), static_cast<size_t>(ppm.width) * ppm.height * 3) << name;
    return ppm;
}

// trunc(min(max(v, 0), 255)).
int byteOf(double v) { return v <= 0.0 ? 0 : (v >= 255.0 ? 255 : static_cast<int>(v)); }

// A value whose truncation rounding cannot change (not within 1e-4 of an integer).
bool clearOfInteger(double v) { return std::fabs(v - std::round(v)) > 1e-4; }

// A 200 x 100 map with only band 0: red = column + 0.25, green = row + 0.25, blue = -1, each
// divided by Y(0,0) so that a view scale of 1 shows the grid position itself.
ix::Reference<ShrmImage> positionMap() {
    ix::Reference<ShrmImage> map(new ShrmImage());
    map->setSize(200, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            map->at(x, y).at(0, 0) =
                FloatPixel3<double>((x + 0.25) / kY00, (y + 0.25) / kY00, -1.0);
    return map;
}

// The grid position (a = row, b = column, in map pixels) that the mirror of view direction d
// about normal n reads; false when it falls too close to a truncation step to compare.
bool mirrorGrid(const double* n, const double* d, double& a, double& b) {
    const double e = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
    const double r[3] = {2 * e * n[0] - d[0], 2 * e * n[1] - d[1], 2 * e * n[2] - d[2]};
    // Rounding may push |r_z| past 1; the dumps then pull it in by 0.999.
    const double rz = std::fabs(r[2]) > 1.0 ? r[2] * 0.999 : r[2];
    a = std::acos(std::fmin(std::fmax(rz, -1.0), 1.0)) / kPi * 100;
    double phiR = std::atan2(r[1], r[0]);
    if (phiR < 0) phiR += 2 * kPi;
    b = phiR / (2 * kPi) * 200;
    return clearOfInteger(a) && clearOfInteger(b);
}

TEST_F(InTempFolder, DumpImageBytesAndRowOrder) {
    struct Case {
        float value;
        bool scale;
        int expected;
    };
    const Case cases[] = {{0.999f, false, 0}, {1.0f, false, 1},  {0.5f, true, 127},
                          {-0.2f, true, 0},   {3.0f, true, 255}, {300.0f, false, 255}};
    for (const Case& c : cases) {
        ix::Reference<Float3Image> image(new Float3Image());
        image->setSize(1, 1);
        image->at(0, 0) = FloatPixel3<float>(c.value, c.value, c.value);
        dumpImage("one", *image, c.scale);
        const Ppm ppm = readPpm("one.ppm");
        ASSERT_EQ(ppm.width, 1);
        EXPECT_EQ(ppm.at(0, 0, 1), c.expected) << "value " << c.value << " scale " << c.scale;
    }

    ix::Reference<Float3Image> image(new Float3Image());
    image->setSize(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image->at(x, y) = FloatPixel3<float>(float(x), float(y), float(10 * y + x));
    dumpImage("rows", *image, false);
    const Ppm ppm = readPpm("rows.ppm");
    ASSERT_EQ(ppm.width, 3);
    ASSERT_EQ(ppm.height, 2);
    for (int fileRow = 0; fileRow < 2; ++fileRow)
        for (int x = 0; x < 3; ++x) {
            const int y = 1 - fileRow;  // the file starts with the image's last row
            EXPECT_EQ(ppm.at(x, fileRow, 0), x);
            EXPECT_EQ(ppm.at(x, fileRow, 1), y);
            EXPECT_EQ(ppm.at(x, fileRow, 2), 10 * y + x) << "file row " << fileRow;
        }
}

// Expected byte pair (red, green) of a sphere-view pixel over positionMap(), or false when the
// pixel is black or too close to a truncation step to compare.
bool sphereExpected(const double* d, double radius, int i, int j, int& red, int& green) {
    const double thetaD = std::acos(d[2]);
    double phiD = std::atan2(d[1], d[0]);
    if (phiD < 0) phiD += 2 * kPi;
    const double tHat[3] = {std::cos(thetaD) * std::cos(phiD), std::cos(thetaD) * std::sin(phiD),
                            -std::sin(thetaD)};
    const double pHat[3] = {-std::sin(phiD), std::cos(phiD), 0.0};
    const double u = (j - 127.5) / radius, v = (127.5 - i) / radius;
    if (u * u + v * v >= 1.0) return false;
    const double w = std::sqrt(1 - u * u - v * v);
    double n[3], a, b;
    for (int k = 0; k < 3; ++k) n[k] = u * tHat[k] + v * pHat[k] + w * d[k];
    mirrorGrid(n, d, a, b);
    b = std::fmin(b, 199.0);
    // Bilinear reads of a map linear in row and column give the position itself (+ 0.25).
    if (!clearOfInteger(a + 0.25) || !clearOfInteger(b + 0.25)) return false;
    red = byteOf(b + 0.25);
    green = byteOf(std::fmin(a, 99.0) + 0.25);
    return true;
}

TEST_F(InTempFolder, SphereViewsShowBilinearMirrorReads) {
    const double d[3] = {0.0, -0.6, 0.8};
    dumpktsphere(*positionMap(), d, 0, 1.0);
    dumpimagesphere(nullptr, nullptr, nullptr, *positionMap(), d, 0, 0, 1.0);
    struct View {
        const char* file;
        double radius;
        bool border;
    };
    const View views[] = {{"tmpktsphere.ppm", 127.5, false}, {"tmpfreq.ppm", 96.5, true}};
    for (const View& view : views) {
        const Ppm ppm = readPpm(view.file);
        ASSERT_EQ(ppm.width, 256);
        ASSERT_EQ(ppm.height, 256);
        int compared = 0;
        for (int i = 0; i < 256; ++i)
            for (int j = 0; j < 256; ++j) {
                const double u = (j - 127.5) / view.radius, v = (127.5 - i) / view.radius;
                const bool black = u * u + v * v >= 1.0 ||
                                   (view.border && (i < 31 || i > 224 || j < 31 || j > 224));
                int red = 0, green = 0;
                if (black) {
                    EXPECT_EQ(ppm.at(j, i, 0) + ppm.at(j, i, 1), 0)
                        << view.file << " " << i << "," << j;
                } else if (sphereExpected(d, view.radius, i, j, red, green)) {
                    ++compared;
                    EXPECT_EQ(ppm.at(j, i, 0), red) << view.file << " " << i << "," << j;
                    EXPECT_EQ(ppm.at(j, i, 1), green) << view.file << " " << i << "," << j;
                }
            }
        EXPECT_GT(compared, 20000) << view.file;
    }
}

// A coefficient file: three header lines of scaled maxima, then 16-bit words.
struct ShrmFile {
    std::vector<std::vector<double>> maxima;  // [channel][coefficient]
    std::vector<int> words;
};

ShrmFile readShrm(const std::string& name, int coefficients) {
    const std::string bytes = readFile(name);
    ShrmFile file;
    size_t position = 0;
    for (int c = 0; c < 3; ++c) {
        const size_t end = bytes.find('\n', position);
        EXPECT_NE(end, std::string::npos) << name;
        std::istringstream line(bytes.substr(position, end - position));
        std::vector<double> values;
        double v;
        while (line >> v) values.push_back(v);
        EXPECT_EQ(values.size(), static_cast<size_t>(coefficients)) << name << " channel " << c;
        file.maxima.push_back(values);
        position = end + 1;
    }
    for (; position + 1 < bytes.size(); position += 2)
        file.words.push_back(static_cast<unsigned char>(bytes[position]) * 256 +
                             static_cast<unsigned char>(bytes[position + 1]));
    EXPECT_EQ(position, bytes.size()) << name << ": odd body length";
    return file;
}

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
    const ShrmFile file = readShrm("probe.shrm", 121);
    ASSERT_EQ(file.words.size(), 200u * 100 * 3 * 121);
    EXPECT_DOUBLE_EQ(file.maxima[0][1], 2.0 * 150.0);  // (1,-1) is entry 1 + 1 - 1
    EXPECT_DOUBLE_EQ(file.maxima[1][6], 2.0 * 49.5);   // (2,0) is entry 4 + 2 + 0
    EXPECT_EQ(file.maxima[2][0], 0.0);
    auto word = [&](int x, int y, int c, int k) {
        return file.words[((y * 200 + x) * 3 + c) * 121 + k];
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

}  // namespace
