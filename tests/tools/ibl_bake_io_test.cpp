// The tool's file formats: lossless round trips, byte orders and channel layouts, the row
// convention (the file's top row is the image's last row, the zenith), malformed files.
#include <gtest/gtest.h>

#include <Imath/half.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>

#include <array>
#include <cstring>
#include <random>

#include "hdr_io.h"
#include "tool_run.h"

using ixImage::Float3Image;
using ixImage::FloatPixel3;
using ixTest::freshDir;

namespace {

std::string floatBytes(float value, bool bigEndian) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    std::string word;
    for (int i = 0; i < 4; ++i) word += char(bits >> (8 * (bigEndian ? 3 - i : i)));
    return word;
}

iblBake::LoadedImage loadBytes(const std::string& bytes) {
    const std::string path = freshDir("io") + "/probe";
    std::ofstream(path, std::ios::binary) << bytes;
    return iblBake::loadProbe(path);
}

std::string radianceHeader(int width, int height) {
    return "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(height) + " +X " +
           std::to_string(width) + "\n";
}

// A run-length encoded scanline of width 8 ("2 2", the width, then each channel as runs:
// code > 128 repeats one value code - 128 times, code <= 128 gives that many literals): red and
// green as repeats, blue and the exponent as literals, every pixel RGBE (128, 64, 32, 129).
const std::string kRunLine = std::string{2, 2, 0, 8, char(136), char(128), char(136), 64, 8} +
                             std::string(8, 32) + char(8) + std::string(8, char(129));

// An OpenEXR file as cameras and other tools write them, 5 x 3, with the channels named (all
// of one type): channel c of pixel x in file row y holds 0.25 (x + 1) + 4 y + 64 c, exact in
// half.
float exrValue(int x, int y, int c) { return 0.25f * float(x + 1) + 4.0f * y + 64.0f * c; }
template <class T>
void writeExr(const std::string& path, const std::vector<const char*>& names, Imf::PixelType type) {
    Imf::Header header(5, 3);
    std::vector<std::vector<T>> planes(names.size(), std::vector<T>(15));
    Imf::FrameBuffer frame;
    for (size_t c = 0; c < names.size(); ++c) {
        header.channels().insert(names[c], Imf::Channel(type));
        for (int i = 0; i < 15; ++i) planes[c][i] = T(exrValue(i % 5, i / 5, int(c)));
        frame.insert(names[c], Imf::Slice(type, reinterpret_cast<char*>(planes[c].data()),
                                          sizeof(T), sizeof(T) * 5));
    }
    Imf::OutputFile file(path.c_str(), header);
    file.setFrameBuffer(frame);
    file.writePixels(3);
}

}  // namespace

TEST(BakeIo, ExrAndPfmRoundTripsAreExact) {
    const std::string dir = freshDir("roundtrip");
    std::mt19937 random(3);
    std::uniform_real_distribution<float> value(-2.0f, 1000.0f);
    for (const auto& [w, h] : {std::pair{1, 1}, {37, 11}, {96, 128}}) {
        ix::Reference<Float3Image> original = ixTest::constantImage(w, h, 0.0f);
        for (int i = 0; i < w * h; ++i)
            original->data()[i] = FloatPixel3<float>(value(random), value(random), value(random));
        ASSERT_EQ(iblBake::writeExr(*original, dir + "/a.exr"), "");
        ASSERT_EQ(iblBake::writePfm(*original, dir + "/a.pfm"), "");
        for (const char* file : {"/a.exr", "/a.pfm"}) {
            iblBake::LoadedImage loaded = iblBake::loadProbe(dir + file);
            ASSERT_TRUE(loaded.image && loaded.image->getWidth() == w &&
                        loaded.image->getHeight() == h)
                << file << ": " << loaded.error;
            EXPECT_EQ(0, std::memcmp(original->data(), loaded.image->data(), 12 * size_t(w * h)))
                << file << " " << w << "x" << h;
        }
    }
}

// RGBE (128, 64, 32, 129) is (1, 0.5, 0.25) and (128, 128, 128, 130) is (2, 2, 2) exactly.
TEST(BakeIo, RadianceFlatAndRunLengthScanlines) {
    std::string flat = radianceHeader(2, 2);
    flat.append("\x80\x40\x20\x81\x80\x40\x20\x81\x80\x80\x80\x82\x80\x80\x80\x82", 16);
    iblBake::LoadedImage loaded = loadBytes(flat);
    ASSERT_TRUE(loaded.image) << loaded.error;
    EXPECT_EQ(loaded.image->at(1, 1).blue, 0.25f) << "the file's first scanline is the top";
    EXPECT_EQ(loaded.image->at(0, 0).red, 2.0f);

    loaded = loadBytes(radianceHeader(8, 2) + kRunLine + kRunLine);
    ASSERT_TRUE(loaded.image) << loaded.error;
    for (int i = 0; i < 16; ++i) {
        const FloatPixel3<float>& p = loaded.image->data()[i];
        EXPECT_TRUE(p.red == 1.0f && p.green == 0.5f && p.blue == 0.25f) << "pixel " << i;
    }
}

// Two rows, stored bottom row first: (1, 2, 3) then (4, 5, 6) (grey: 1 then 4), in either byte
// order (the sign of the scale).
TEST(BakeIo, PfmByteOrdersAndGrey) {
    const std::pair<const char*, int> cases[] = {
        {"PF\n1 2\n-1.0\n", 3}, {"PF\n1 2\n1.0\n", 3}, {"Pf\n1 2\n-2.5\n", 1}, {"Pf\n1 2\n1\n", 1}};
    for (const auto& [header, channels] : cases) {
        std::string bytes = header;
        for (int i = 0; i < 2 * channels; ++i)
            bytes += floatBytes(float(channels == 3 ? i + 1 : 3 * i + 1), header[7] != '-');
        const iblBake::LoadedImage loaded = loadBytes(bytes);
        ASSERT_TRUE(loaded.image) << header << loaded.error;
        const FloatPixel3<float>&bottom = loaded.image->at(0, 0), &top = loaded.image->at(0, 1);
        EXPECT_TRUE(bottom.red == 1 && top.red == 4 && bottom.green == (channels == 3 ? 2 : 1) &&
                    top.blue == (channels == 3 ? 6 : 4))
            << header;
    }
}

// Half-float RGB channels (stored in name order B, G, R) and a lone luminance channel Y load
// as float RGB, the file's top row last.
TEST(BakeIo, HalfChannelsAndLuminanceOnlyExrLoadAsFloatRgb) {
    const std::string dir = freshDir("exr_channels");
    writeExr<Imath::half>(dir + "/half.exr", {"B", "G", "R"}, Imf::HALF);
    writeExr<float>(dir + "/grey.exr", {"Y"}, Imf::FLOAT);
    const std::pair<const char*, std::array<int, 3>> cases[] = {{"/half.exr", {2, 1, 0}},
                                                                {"/grey.exr", {0, 0, 0}}};
    for (const auto& [file, channelOf] : cases) {
        const iblBake::LoadedImage loaded = iblBake::loadProbe(dir + file);
        ASSERT_TRUE(loaded.image && loaded.image->getWidth() == 5 && loaded.image->getHeight() == 3)
            << file << ": " << loaded.error;
        for (int i = 0; i < 15; ++i) {
            const FloatPixel3<float>& p = loaded.image->at(i % 5, 2 - i / 5);
            EXPECT_TRUE(p.red == exrValue(i % 5, i / 5, channelOf[0]) &&
                        p.green == exrValue(i % 5, i / 5, channelOf[1]) &&
                        p.blue == exrValue(i % 5, i / 5, channelOf[2]))
                << file << " pixel " << i;
        }
    }
}

// Damaged files are refused with a reason. Before the stream check, the truncated and zero-run
// Radiance files made the decoder spin for ever.
TEST(BakeIo, MalformedFilesAreRefusedWithAReason) {
    const std::string px = floatBytes(1.0f, false);
    std::string zeroRun = kRunLine, wideLine = kRunLine, overlong = kRunLine;
    zeroRun[4] = 0;               // a literal run of length 0 in the red channel
    wideLine[3] = 9;              // a scanline of another width
    overlong[4] = char(128 + 9);  // 9 repeats in a scanline of 8
    const std::pair<std::string, const char*> cases[] = {
        {"", "is empty"},
        {"P6\n1 1\n255\n", "is not an OpenEXR, Radiance or PFM image"},
        {"PF\n2", "truncated PFM header"},
        {"PF\n-2 1\n-1\n", "malformed PFM size"},
        {"PF\n2 x\n-1\n", "malformed PFM size"},
        {"PF\n1 1\n0\n" + px + px + px, "malformed PFM scale"},
        {"PF\n1 1\nnan\n" + px + px + px, "malformed PFM scale"},
        {"PF\n0 1\n-1\n", "has no pixels"},
        {"PF\n100000 100000\n-1\n", "too large"},
        {"PF\n2 2\n-1\n" + px, "truncated"},
        {radianceHeader(8, 2) + kRunLine + kRunLine.substr(0, 10), "truncated"},
        {radianceHeader(8, 3) + kRunLine + kRunLine, "truncated"},
        {radianceHeader(8, 1) + zeroRun, "corrupt run-length"},
        {radianceHeader(8, 1) + overlong, "corrupt run-length"},
        {radianceHeader(8, 1) + wideLine, "corrupt run-length"},
        {radianceHeader(4, 2) + std::string(28, char(100)), "truncated"},
    };
    for (const auto& [bytes, reason] : cases) {
        const iblBake::LoadedImage loaded = loadBytes(bytes);
        EXPECT_FALSE(loaded.image) << bytes;
        EXPECT_NE(loaded.error.find(reason), std::string::npos) << bytes << ": " << loaded.error;
    }
}
