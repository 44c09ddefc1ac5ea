// OpenEXR probes as cameras and other tools write them: half-float RGB channels, and a single
// luminance channel Y. Both must load as float RGB with the file's top row as the last image
// row; the values are chosen exactly representable in half.
#include <gtest/gtest.h>

#include <Imath/half.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>

#include <filesystem>
#include <string>
#include <vector>

#include "hdr_io.h"

namespace {

constexpr int kW = 5, kH = 3;
float valueAt(int x, int fileRow, int c) {
    return 0.25f * float(x + 1) + 4.0f * fileRow + 64.0f * c;
}

// Writes the channels named (all of one type) with valueAt(x, row, channel index).
template <class T>
void writeExr(const std::string& path, const std::vector<const char*>& names, Imf::PixelType type) {
    Imf::Header header(kW, kH);
    for (const char* name : names) header.channels().insert(name, Imf::Channel(type));
    std::vector<std::vector<T>> planes(names.size(), std::vector<T>(kW * kH));
    Imf::FrameBuffer frame;
    for (size_t c = 0; c < names.size(); ++c) {
        for (int i = 0; i < kW * kH; ++i) planes[c][i] = T(valueAt(i % kW, i / kW, int(c)));
        frame.insert(names[c], Imf::Slice(type, reinterpret_cast<char*>(planes[c].data()),
                                          sizeof(T), sizeof(T) * kW));
    }
    Imf::OutputFile file(path.c_str(), header);
    file.setFrameBuffer(frame);
    file.writePixels(kH);
}

TEST(BakeExr, HalfChannelsAndLuminanceOnlyFilesLoadAsFloatRgb) {
    const std::string dir = std::string(IBL_BAKE_SCRATCH_DIR) + "/exr_channels";
    std::filesystem::create_directories(dir);
    writeExr<Imath::half>(dir + "/half.exr", {"B", "G", "R"}, Imf::HALF);  // stored in name order
    writeExr<float>(dir + "/grey.exr", {"Y"}, Imf::FLOAT);
    const struct {
        const char* file;
        int channelOf[3];  // index in the names above of the channel giving R, G, B
    } cases[] = {{"/half.exr", {2, 1, 0}}, {"/grey.exr", {0, 0, 0}}};
    for (const auto& c : cases) {
        const iblBake::LoadedImage loaded = iblBake::loadProbe(dir + c.file);
        ASSERT_TRUE(loaded.image) << c.file << ": " << loaded.error;
        ASSERT_EQ(loaded.image->getWidth() * 10 + loaded.image->getHeight(), kW * 10 + kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const ixImage::FloatPixel3<float>& p = loaded.image->at(x, kH - 1 - y);
                const float rgb[3] = {p.red, p.green, p.blue};
                for (int k = 0; k < 3; ++k)
                    EXPECT_EQ(rgb[k], valueAt(x, y, c.channelOf[k]))
                        << c.file << " " << x << "," << y;
            }
    }
}

}  // namespace
