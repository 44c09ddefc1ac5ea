// Writes the seed corpora of the fuzzers, so that no binary input is kept in the source tree.
//
//   make_seeds <corpus-dir>
//
// creates <corpus-dir>/packet_reader/ (read scripts followed by valid packet files written
// with the library's own writer: every item type, images of every pixel type, a lighting
// sub-packet), <corpus-dir>/rotation_matrix/ (well-formed and malformed matrix files) and, when
// ibl-bake's loaders are built, <corpus-dir>/probe_loader/ (OpenEXR, Radiance and PFM probes).
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/packet_script.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/error.h"
#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/packet_context.h"
#include "iximage/interfaces/packet_file.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/interfaces/reference.h"
#include "iximage/lighting/image_based_lighting.h"

#if IXFUZZ_PROBE_LOADERS
#include "hdr_io.h"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

Bytes scripted(const std::vector<std::uint8_t>& script, const ioWriteContext& packet) {
    Bytes out;
    out.push_back(static_cast<std::uint8_t>(script.size()));
    out.insert(out.end(), script.begin(), script.end());
    out.insert(out.end(), packet.getBytes().begin(), packet.getBytes().end());
    return out;
}

std::uint8_t readBytesStep(unsigned count) {
    return static_cast<std::uint8_t>(ixFuzz::kReadBytes + ixFuzz::kPacketStepCount * count);
}

// A small image of the given type with every byte of its pixels set from a counter.
ix::Reference<ixImage::Image> patternImage(ixImage::PixelTypeId type, int width, int height) {
    ix::Reference<ixImage::Image> image(ixImage::imageCreateByType(type));
    if (!image) return image;
    image->setSize(width, height);
    auto* bytes = static_cast<std::uint8_t*>(image->pixels());
    const std::size_t size = static_cast<std::size_t>(width) * height * image->pixelSize();
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return image;
}

ix::Reference<ixImage::TypedImage<ixImage::FloatPixel3<float>>> latLongProbe(int width) {
    ix::Reference<ixImage::TypedImage<ixImage::FloatPixel3<float>>> probe(
        new ixImage::TypedImage<ixImage::FloatPixel3<float>>());
    probe->setSize(width, width / 2);
    for (int y = 0; y < width / 2; ++y)
        for (int x = 0; x < width; ++x)
            probe->at(x, y) = ixImage::FloatPixel3<float>(1.0f + 0.1f * x, 0.5f, 0.25f * y);
    return probe;
}

std::vector<std::pair<std::string, Bytes>> packetSeeds() {
    using namespace ixFuzz;
    std::vector<std::pair<std::string, Bytes>> seeds;

    {  // One of every item inside a sub-packet.
        ioWriteContext packet("");
        ix::Reference<ixImage::Image> image = patternImage(ixImage::kPixelFloat3, 4, 2);
        packet.startSubPacket();
        ixImage::packetFile::writeImage(packet, image.get());
        packet.writeBool(true);
        packet.writeInt(-7);
        packet.writeDouble(0.5);
        const char text[8] = {'i', 'x', 'i', 'm', 'a', 'g', 'e', 0};
        packet.writeBytes(text, sizeof(text));
        packet.writePointer(image.get(), 0);
        ixImage::Irradiance irradiance;
        irradiance.red.m[0][0] = 1.0;
        irradiance.blue.m[3][3] = -2.0;
        ixImage::packetFile::writeIrradiance(packet, irradiance);
        packet.endSubPacket();
        seeds.emplace_back(
            "items.bin", scripted({kStartSubPacket, kReadBool, kReadInt, kReadDouble,
                                   readBytesStep(8), kReadPointer, kReadIrradiance, kEndSubPacket},
                                  packet));
    }
    {  // An image of every pixel type, each followed by a pointer to it.
        ioWriteContext packet("");
        std::vector<ix::Reference<ixImage::Image>> images;
        std::vector<std::uint8_t> script;
        for (int tag = ixImage::kPixelUnsignedChar; tag <= ixImage::kPixelSphericalHarmonics;
             ++tag) {
            const bool shrm = tag == ixImage::kPixelSphericalHarmonics;
            images.push_back(
                patternImage(static_cast<ixImage::PixelTypeId>(tag), shrm ? 1 : 3, shrm ? 1 : 2));
            ixImage::packetFile::writeImage(packet, images.back().get());
            packet.writePointer(images.back().get(), 0);
            script.push_back(kReadPointer);
        }
        packet.writePointer(nullptr, 0);
        script.push_back(kReadPointer);
        seeds.emplace_back("pixel_types.bin", scripted(script, packet));
    }
    {  // Nested sub-packets, the inner one left partly unread.
        ioWriteContext packet("");
        packet.startSubPacket();
        packet.writeInt(1);
        packet.startSubPacket();
        packet.writeInt(2);
        packet.writeDouble(3.0);
        packet.endSubPacket();
        packet.writeBool(false);
        packet.endSubPacket();
        seeds.emplace_back("nested.bin",
                           scripted({kStartSubPacket, kReadInt, kStartSubPacket, kReadInt,
                                     kEndSubPacket, kReadBool, kEndSubPacket},
                                    packet));
    }
    {  // The lighting object's state: probe, irradiance, usable flag, no specular maps.
        ioWriteContext packet("");
        ixImage::ImageBasedLighting lighting;
        ixUtil::Error error;
        auto probe = latLongProbe(16);
        lighting.setLightProbe(probe.get(), error);
        lighting.writeSubPacket(packet);
        packet.writeInt(42);
        seeds.emplace_back("lighting.bin", scripted({kReadLighting, kReadInt}, packet));
    }
    {  // A lighting object without a probe.
        ioWriteContext packet("");
        ixImage::ImageBasedLighting lighting;
        lighting.writeSubPacket(packet);
        seeds.emplace_back("lighting_empty.bin", scripted({kReadLighting}, packet));
    }
    return seeds;
}

// Records "l k" followed by (2l+1)^2 numbers, for bands 0..maxBand and samples 0..samples-1.
std::string rotationText(int maxBand, int samples) {
    std::string text;
    char number[64];
    for (int l = 0; l <= maxBand; ++l)
        for (int k = 0; k < samples; ++k) {
            std::snprintf(number, sizeof(number), "%d %d\n", l, k);
            text += number;
            const double theta = k * 3.141592653589793 / 100.0;
            for (int a = -l; a <= l; ++a) {
                for (int b = -l; b <= l; ++b) {
                    std::snprintf(number, sizeof(number), "%.17g ",
                                  a == b ? std::cos(theta) : 0.125 * (a - b) * std::sin(theta));
                    text += number;
                }
                text += '\n';
            }
        }
    return text;
}

std::vector<std::pair<std::string, Bytes>> rotationSeeds() {
    auto bytes = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    return {
        {"bands_0_2.txt", bytes(rotationText(2, 3))},
        {"band_0_all.txt", bytes(rotationText(0, 100))},
        {"truncated.txt", bytes(rotationText(1, 2).substr(0, 40))},
        {"odd_numbers.txt", bytes("0 0 1e999\n0 1 nan\n0 2 -inf 0x1p-3 +.5e-2 abc 7\n")},
        {"empty.txt", Bytes()},
    };
}

#if IXFUZZ_PROBE_LOADERS
// Probe files of each format the loaders detect: OpenEXR and PFM through the tool's writers,
// Radiance written here (flat RGBE, then one run-length-encoded scanline).
std::vector<std::pair<std::string, Bytes>> probeSeeds(const std::string& folder) {
    std::vector<std::pair<std::string, Bytes>> seeds;
    auto probe = latLongProbe(8);
    auto readBack = [&](const std::string& name) {
        Bytes bytes;
        if (std::FILE* file = std::fopen((folder + "/" + name).c_str(), "rb")) {
            int c;
            while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<std::uint8_t>(c));
            std::fclose(file);
        }
        return bytes;
    };
    mkdir(folder.c_str(), 0755);
    if (iblBake::writeExr(*probe, folder + "/probe.exr").empty())
        seeds.emplace_back("probe.exr", readBack("probe.exr"));
    if (iblBake::writePfm(*probe, folder + "/probe.pfm").empty())
        seeds.emplace_back("probe.pfm", readBack("probe.pfm"));

    const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 4\n";
    Bytes flat(header.begin(), header.end());
    for (int i = 0; i < 8; ++i) flat.insert(flat.end(), {128, 64, std::uint8_t(16 * i), 129});
    seeds.emplace_back("flat.hdr", flat);

    const std::string rleHeader = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 8\n";
    Bytes rle(rleHeader.begin(), rleHeader.end());
    rle.insert(rle.end(), {2, 2, 0, 8});  // new-style scanline of width 8
    for (std::uint8_t component : {100, 50, 25, 130}) rle.insert(rle.end(), {128 + 8, component});
    seeds.emplace_back("rle.hdr", rle);

    const std::string grey = "Pf\n2 2\n-1.0\n";
    Bytes pfm(grey.begin(), grey.end());
    const float values[4] = {0.25f, 1.0f, 4.0f, 0.0f};
    const auto* valueBytes = reinterpret_cast<const std::uint8_t*>(values);
    pfm.insert(pfm.end(), valueBytes, valueBytes + sizeof(values));
    seeds.emplace_back("grey.pfm", pfm);
    return seeds;
}
#endif

bool writeCorpus(const std::string& folder,
                 const std::vector<std::pair<std::string, Bytes>>& seeds) {
    mkdir(folder.c_str(), 0755);
    for (const auto& [name, bytes] : seeds)
        if (!writeFile(folder + "/" + name, bytes)) {
            std::fprintf(stderr, "make_seeds: cannot write %s/%s\n", folder.c_str(), name.c_str());
            return false;
        }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <corpus-dir>\n");
        return 2;
    }
    const std::string root = argv[1];
    mkdir(root.c_str(), 0755);
    bool ok = writeCorpus(root + "/packet_reader", packetSeeds()) &&
              writeCorpus(root + "/rotation_matrix", rotationSeeds());
#if IXFUZZ_PROBE_LOADERS
    ok = ok && writeCorpus(root + "/probe_loader", probeSeeds(root + "/probe_loader"));
#endif
    return ok ? 0 : 1;
}
