// The tool's file formats and building blocks: loader round trips, byte orders, the row
// convention (the file's top row is the zenith, +Z), malformed files, atomic writes, previews
// and the procedural probe.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>

#include "bake.h"
#include "hdr_io.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/interfaces/atomic_file.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/irradiance_alg.h"
#include "preview.h"
#include "probe_repair.h"
#include "sky_probe.h"
#include "test_support.h"

using ixImage::Float3Image;
using ixImage::FloatPixel3;

namespace {

std::string freshDir(const std::string& name) {
    const std::string dir = std::string(IBL_BAKE_SCRATCH_DIR) + "/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

void writeBinaryFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

ix::Reference<Float3Image> randomImage(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-2.0f, 1000.0f);
    ix::Reference<Float3Image> image(new Float3Image);
    image->setSize(width, height);
    for (int i = 0; i < width * height; ++i)
        image->data()[i] = FloatPixel3<float>(value(random), value(random), value(random));
    return image;
}

::testing::AssertionResult isRgb(const FloatPixel3<float>& p, float r, float g, float b) {
    if (std::fabs(p.red - r) <= 1e-6f && std::fabs(p.green - g) <= 1e-6f &&
        std::fabs(p.blue - b) <= 1e-6f)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << p.red << ", " << p.green << ", " << p.blue;
}

bool samePixels(const Float3Image& a, const Float3Image& b) {
    return a.getWidth() == b.getWidth() && a.getHeight() == b.getHeight() &&
           std::memcmp(a.data(), b.data(), sizeof(*a.data()) * a.getWidth() * a.getHeight()) == 0;
}

std::string floatBytes(float value, bool bigEndian) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    std::string word(4, '\0');
    for (int i = 0; i < 4; ++i) word[size_t(bigEndian ? 3 - i : i)] = char(bits >> (8 * i));
    return word;
}

iblBake::LoadedImage decode(const std::string& bytes) {
    return iblBake::decodePfm(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

}  // namespace

TEST(BakeIo, ExrAndPfmRoundTripsAreExact) {
    const std::string dir = freshDir("roundtrip");
    const int sizes[][2] = {{1, 1}, {8, 4}, {37, 11}, {96, 128}};
    for (const auto& size : sizes) {
        ix::Reference<Float3Image> original =
            randomImage(size[0], size[1], unsigned(size[0] * 131 + size[1]));
        ASSERT_EQ(iblBake::writeExr(*original, dir + "/a.exr"), "");
        ASSERT_EQ(iblBake::writePfm(*original, dir + "/a.pfm"), "");
        for (const char* file : {"/a.exr", "/a.pfm"}) {
            iblBake::LoadedImage loaded = iblBake::loadProbe(dir + file);
            ASSERT_TRUE(loaded.image) << file << ": " << loaded.error;
            EXPECT_TRUE(samePixels(*original, *loaded.image))
                << file << " " << size[0] << "x" << size[1];
        }
    }
}

// A hand-made flat (not run-length encoded) Radiance file: the first scanline in the file is
// the top of the picture. RGBE (128, 64, 32, 129) is (1, 0.5, 0.25) exactly.
TEST(BakeIo, RadianceTopRowBecomesLastImageRow) {
    const std::string dir = freshDir("radiance");
    std::string bytes = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 2\n";
    const unsigned char top[4] = {128, 64, 32, 129};  // 2^(129-136) * (128, 64, 32) = (1, .5, .25)
    const unsigned char bottom[4] = {128, 128, 128, 130};  // (2, 2, 2)
    for (int i = 0; i < 2; ++i) bytes.append(reinterpret_cast<const char*>(top), 4);
    for (int i = 0; i < 2; ++i) bytes.append(reinterpret_cast<const char*>(bottom), 4);
    writeBinaryFile(dir + "/probe.hdr", bytes);

    iblBake::LoadedImage loaded = iblBake::loadProbe(dir + "/probe.hdr");
    ASSERT_TRUE(loaded.image) << loaded.error;
    ASSERT_EQ(loaded.image->getWidth(), 2);
    EXPECT_TRUE(isRgb(loaded.image->at(1, 1), 1.0f, 0.5f, 0.25f));
    EXPECT_TRUE(isRgb(loaded.image->at(0, 0), 2.0f, 2.0f, 2.0f));
}

// Run-length encoded Radiance scanlines, as writers produce them for widths 8..32767: "2 2"
// and the width, then each of the four channels as runs (code > 128: one value repeated
// code - 128 times; code <= 128: that many literal values).
std::string radianceHeader(int width, int height) {
    return "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(height) + " +X " +
           std::to_string(width) + "\n";
}

// One scanline of width 8: red and green as repeats, blue and the exponent as literals,
// so that every pixel is RGBE (128, 64, 32, 129) = (1, 0.5, 0.25).
std::string radianceRunScanline() {
    std::string line = {2, 2, 0, 8};
    line += {char(128 + 8), char(128)};
    line += {char(128 + 8), char(64)};
    line += {char(8), 32, 32, 32, 32, 32, 32, 32, 32};
    line += {char(8)};
    line += std::string(8, char(129));
    return line;
}

TEST(BakeIo, RadianceRunLengthScanlinesDecode) {
    const std::string dir = freshDir("radiance-rle");
    writeBinaryFile(dir + "/probe.hdr",
                    radianceHeader(8, 2) + radianceRunScanline() + radianceRunScanline());
    iblBake::LoadedImage loaded = iblBake::loadProbe(dir + "/probe.hdr");
    ASSERT_TRUE(loaded.image) << loaded.error;
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(isRgb(loaded.image->data()[i], 1.0f, 0.5f, 0.25f)) << "pixel " << i;
}

// Damaged run-length data must be refused with a reason. Before the stream check, the truncated
// and zero-run files made the decoder spin for ever.
TEST(BakeIo, DamagedRadianceStreamsAreRefused) {
    const std::string good = radianceRunScanline();
    std::string zeroRun = good;
    zeroRun[4] = 0;  // a literal run of length 0 in the red channel
    std::string wrongWidth = good;
    wrongWidth[3] = 9;
    std::string overlongRun = good;
    overlongRun[4] = char(128 + 9);  // 9 repeats in a scanline of 8
    struct Case {
        const char* name;
        std::string bytes;
        const char* messagePart;
    };
    const Case cases[] = {
        {"truncated scanline", radianceHeader(8, 2) + good + good.substr(0, 10), "truncated"},
        {"missing scanline", radianceHeader(8, 3) + good + good, "truncated"},
        {"zero-length run", radianceHeader(8, 1) + zeroRun, "corrupt run-length"},
        {"run past the width", radianceHeader(8, 1) + overlongRun, "corrupt run-length"},
        {"scanline of another width", radianceHeader(8, 1) + wrongWidth, "corrupt run-length"},
        {"truncated flat pixels", radianceHeader(4, 2) + std::string(28, char(100)), "truncated"},
    };
    const std::string dir = freshDir("radiance-damaged");
    for (const Case& c : cases) {
        writeBinaryFile(dir + "/probe.hdr", c.bytes);
        iblBake::LoadedImage loaded = iblBake::loadProbe(dir + "/probe.hdr");
        EXPECT_FALSE(loaded.image) << c.name;
        EXPECT_NE(loaded.error.find(c.messagePart), std::string::npos)
            << c.name << ": " << loaded.error;
    }
}

TEST(BakeIo, PfmByteOrdersAndGrey) {
    struct Case {
        const char* magic;
        const char* scale;
        bool bigEndian;
        int channels;
    };
    const Case cases[] = {{"PF", "-1.0", false, 3},
                          {"PF", "1.0", true, 3},
                          {"Pf", "-2.5", false, 1},
                          {"Pf", "1", true, 1}};
    for (const Case& c : cases) {
        // Two pixels, stored bottom row first: (1, 2, 3) then (4, 5, 6) (grey: 1 then 4).
        std::string bytes = std::string(c.magic) + "\n2 1\n" + c.scale + "\n";
        const float values[6] = {1, 2, 3, 4, 5, 6};
        for (int i = 0; i < 2 * c.channels; ++i)
            bytes += floatBytes(c.channels == 3 ? values[i] : values[3 * i], c.bigEndian);
        iblBake::LoadedImage loaded = decode(bytes);
        const std::string what = std::string(c.magic) + " scale " + c.scale;
        ASSERT_TRUE(loaded.image) << what << ": " << loaded.error;
        EXPECT_EQ(loaded.image->at(0, 0).red, 1.0f) << what;
        EXPECT_EQ(loaded.image->at(1, 0).red, 4.0f) << what;
        EXPECT_EQ(loaded.image->at(1, 0).blue, c.channels == 3 ? 6.0f : 4.0f) << what;
        EXPECT_EQ(loaded.image->at(0, 0).green, c.channels == 3 ? 2.0f : 1.0f) << what;
    }
}

TEST(BakeIo, MalformedPfmIsRefusedWithAReason) {
    struct Case {
        std::string bytes;
        const char* reason;
    };
    const std::string pixel = floatBytes(1.0f, false);
    const Case cases[] = {
        {"", "no PF or Pf header"},
        {"P6\n1 1\n255\n", "no PF or Pf header"},
        {"PF\n2", "truncated PFM header"},
        {"PF\n-2 1\n-1\n", "malformed PFM size"},
        {"PF\n2 x\n-1\n", "malformed PFM size"},
        {"PF\n1 1\n0\n" + pixel + pixel + pixel, "malformed PFM scale"},
        {"PF\n1 1\nnan\n" + pixel + pixel + pixel, "malformed PFM scale"},
        {"PF\n0 1\n-1\n", "has no pixels"},
        {"PF\n100000 100000\n-1\n", "too large"},
        {"PF\n2 2\n-1\n" + pixel, "truncated"},
        {"PF\n1 1\n-1", "truncated"},
    };
    for (const Case& c : cases) {
        iblBake::LoadedImage loaded = decode(c.bytes);
        EXPECT_FALSE(loaded.image) << "bytes: " << c.bytes;
        EXPECT_NE(loaded.error.find(c.reason), std::string::npos)
            << "bytes: " << c.bytes << " gave: " << loaded.error;
    }
}

// A probe that is bright only in the file's top row must light an upward normal, not a
// downward one: the file's top row is the zenith, +Z.
TEST(BakeIo, FileTopRowLightsTheUpwardNormal) {
    const std::string dir = freshDir("zenith");
    std::string bytes = "PF\n64 32\n-1\n";
    for (int row = 0; row < 32; ++row)  // PFM: bottom row first, so row 31 is the picture's top
        for (int x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c) bytes += floatBytes(row >= 28 ? 10.0f : 0.0f, false);
    writeBinaryFile(dir + "/top.pfm", bytes);
    iblBake::LoadedImage loaded = iblBake::loadProbe(dir + "/top.pfm");
    ASSERT_TRUE(loaded.image) << loaded.error;

    ixImage::ImageBasedLighting::setRotationMatrixFilename(
        ixOS::Filename(ixTest::shareDir() + "/sh_rotation_matrices.txt"));
    ixImage::ImageBasedLighting lighting;
    ixUtil::Error error;
    lighting.setLightProbe(loaded.image.get(), error);
    ixImage::Irradiance irradiance;
    lighting.getIrradiance(irradiance, nullptr);
    const float up = float(ixImage::evaluateIrradiance(irradiance, 0, 0, 1).red);
    const float down = float(ixImage::evaluateIrradiance(irradiance, 0, 0, -1).red);
    EXPECT_GT(up, 0.1f);
    EXPECT_GT(up, 10.0f * std::fabs(down)) << "up " << up << " down " << down;
}

TEST(BakeIo, FailedWriteLeavesTheOldFileAndNoTemporary) {
    const std::string dir = freshDir("atomic");
    const std::string path = dir + "/result.txt";
    ASSERT_EQ(iblBake::writeText("old", path), "");
    std::string failure;
    EXPECT_FALSE(ixOS::writeFileAtomically(
        path,
        [](const std::string& temp) {
            writeBinaryFile(temp, "partial");
            return std::string("simulated failure");
        },
        failure));
    EXPECT_EQ(failure, "simulated failure");
    EXPECT_EQ(readTextFile(path), "old");
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string(), "result.txt") << "left behind";
    ASSERT_EQ(iblBake::writeText("new", path), "");
    EXPECT_EQ(readTextFile(path), "new");
    EXPECT_NE(iblBake::writeText("x", dir + "/missing-folder/file.txt"), "");
}

TEST(BakePreview, QuantisesTopRowFirstAndClamps) {
    ix::Reference<Float3Image> image(new Float3Image);
    image->setSize(2, 2);
    image->at(0, 1) = FloatPixel3<float>(0.5f, 2.0f, -1.0f);  // top row
    image->at(1, 1) = FloatPixel3<float>(0.0f, 1.0f, NAN);
    image->at(0, 0) = FloatPixel3<float>(0.25f, 0.25f, 0.25f);
    ixImage::ToneControls controls;  // gamma 1, exposure 0, saturation 1: identity
    ixImage::ToneMap toneMap;
    toneMap.calculate(controls);
    const iblBake::Rgb8Image preview = iblBake::tonemapPreview(*image, toneMap);
    ASSERT_EQ(preview.pixels.size(), 12u);
    EXPECT_EQ(preview.pixels[0], 128);  // 0.5 * 255 = 127.5, rounded half away from zero
    EXPECT_EQ(preview.pixels[1], 255);  // clamped
    EXPECT_EQ(preview.pixels[2], 0);    // negative
    EXPECT_EQ(preview.pixels[6], 64);   // bottom row now second: 0.25 * 255 = 63.75
    ixImage::ToneMap black;             // never calculated: exposure scale 0
    const iblBake::Rgb8Image dark = iblBake::tonemapPreview(*image, black);
    for (unsigned char value : dark.pixels) EXPECT_EQ(value, 0);
}

TEST(BakePreview, ContactSheetHasOneLabelledTilePerImage) {
    iblBake::Rgb8Image white;
    white.width = 4;
    white.height = 2;
    white.pixels.assign(4 * 2 * 3, 255);
    const iblBake::Rgb8Image sheet =
        iblBake::makeContactSheet({{"A", white}, {"PHONG 8", white}}, 40);
    EXPECT_EQ(sheet.width, 8 + 2 * (40 + 8));
    EXPECT_EQ(sheet.height, 8 + 16 + 20 + 8);
    // Tile pixels are white; a pixel between the tiles is background.
    const auto at = [&](int x, int y) {
        return sheet.pixels[(size_t(y) * size_t(sheet.width) + size_t(x)) * 3];
    };
    EXPECT_EQ(at(8 + 20, 8 + 16 + 10), 255);
    EXPECT_EQ(at(8 + 48 + 20, 8 + 16 + 10), 255);
    EXPECT_LT(at(8 + 40 + 4, 8 + 16 + 10), 255);
    // Some label pixel was drawn in the label strip above the first tile ("A": top row .X.).
    EXPECT_GT(at(8 + 2, 8 + 2), 200);
}

TEST(SkyProbe, SunIsTheBrightestPixelAndTheGroundIsDim) {
    const iblBake::SkyParameters sky;
    ix::Reference<Float3Image> probe(iblBake::makeSkyProbe(64, sky));
    ASSERT_EQ(probe->getWidth(), 128);
    ASSERT_EQ(probe->getHeight(), 64);
    const ixImage::LatLongMap projection(128, 64);
    float brightest = 0;
    ixLinear::VectorFlt brightestDir;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 128; ++x) {
            ixLinear::VectorFlt dir;
            projection.coordToDir((x + 0.5f) / 128, (y + 0.5f) / 64, dir);
            const FloatPixel3<float> p = probe->at(x, y);
            if (dir.z < 0) {
                EXPECT_LT(p.red, 0.5f) << "ground at " << x << "," << y;
            }
            if (p.red > brightest) {
                brightest = p.red;
                brightestDir = dir;
            }
        }
    const ixLinear::VectorFlt sun = iblBake::sunDirection(sky);
    EXPECT_NEAR(std::sqrt(sun.dot(sun)), 1.0f, 1e-6f);
    // Within the disc radius plus one pixel (180 / 64 degrees) of the sun's direction.
    const double angle = std::acos(std::min(1.0f, brightestDir.dot(sun))) * 180.0 / M_PI;
    EXPECT_LT(angle, sky.sunRadiusDeg + 180.0 / 64)
        << "brightest pixel " << angle << " degrees from the sun";
    EXPECT_FLOAT_EQ(brightest, sky.sunRadiance);
}

// Non-finite and negative pixels: what the scan reports and what each repair leaves behind.
TEST(ProbeRepair, ScanAndRepairs) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto makeProbe = [&] {
        ix::Reference<ixImage::Float3Image> image(new ixImage::Float3Image);
        image->setSize(4, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) image->at(x, y) = {float(x + 4 * y), 1.f, 2.f};
        image->at(1, 1) = {nan, 1.f, 2.f};   // picture row 1 (middle)
        image->at(3, 2) = {1.f, -inf, 2.f};  // picture row 0 (top): found first
        image->at(0, 0) = {-3.f, 1.f, 2.f};  // finite but negative
        return image;
    };
    auto image = makeProbe();
    const iblBake::ProbeScan scan = iblBake::scanProbe(*image);
    EXPECT_EQ(scan.nonFinite, 2);
    EXPECT_EQ(scan.negative, 1);
    EXPECT_EQ(scan.firstX, 3);
    EXPECT_EQ(scan.firstY, 0);
    EXPECT_EQ(iblBake::describeNonFinite(scan), "2 non-finite pixels, the first at (3, 0)");

    EXPECT_EQ(iblBake::repairNonFinite(*image, iblBake::NonFiniteRepair::kBlack), 2);
    EXPECT_EQ(image->at(1, 1).red, 0.f);
    EXPECT_EQ(image->at(3, 2).green, 0.f);
    EXPECT_EQ(iblBake::clampNegative(*image), 1);
    EXPECT_EQ(image->at(0, 0).red, 0.f);
    EXPECT_EQ(iblBake::scanProbe(*image).nonFinite + iblBake::scanProbe(*image).negative, 0);

    // Neighbours: (1, 1) has eight, all finite; the corner (3, 2) has three. Red of pixel
    // (x, y) is x + 4y, except (0, 0) = -3.
    image = makeProbe();
    EXPECT_EQ(iblBake::repairNonFinite(*image, iblBake::NonFiniteRepair::kNeighbours), 2);
    EXPECT_FLOAT_EQ(image->at(1, 1).red, (-3.f + 1 + 2 + 4 + 6 + 8 + 9 + 10) / 8.f);
    EXPECT_FLOAT_EQ(image->at(3, 2).green, 1.f);
    EXPECT_FLOAT_EQ(image->at(3, 2).red, (10.f + 6 + 7) / 3.f);
}
