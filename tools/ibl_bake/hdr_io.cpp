#include "hdr_io.h"

#include <ImathBox.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

#include "iximage/interfaces/atomic_file.h"
#include "radiance_scan.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace iblBake {

using ixImage::Float3Image;
using ixImage::FloatPixel3;

namespace {

// The library's atomic writer, reporting as the writers here do: "" or the reason.
std::string writeAtomically(const std::string& path, const ixOS::FileProducer& produce) {
    std::string problem;
    ixOS::writeFileAtomically(path, produce, problem);
    return problem;
}

LoadedImage failure(std::string reason) {
    LoadedImage result;
    result.error = std::move(reason);
    return result;
}

std::string sizeProblem(int64_t width, int64_t height) {
    if (width < 1 || height < 1) return "has no pixels";
    if (width > kMaxProbeSide || height > kMaxProbeSide || width * height > kMaxProbePixels)
        return "is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")";
    return std::string();
}

bool readPrefix(const std::string& path, unsigned char* bytes, size_t count, size_t& got) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    got = std::fread(bytes, 1, count, file);
    std::fclose(file);
    return true;
}

}  // namespace

// ---- Dispatch ----

LoadedImage loadProbe(const std::string& path) {
    unsigned char magic[8] = {};
    size_t got = 0;
    if (!readPrefix(path, magic, sizeof magic, got))
        return failure(std::string("cannot open: ") + std::strerror(errno));
    if (got == 0) return failure("is empty");
    // OpenEXR: the 32-bit little-endian magic number 20000630.
    if (got >= 4 && magic[0] == 0x76 && magic[1] == 0x2f && magic[2] == 0x31 && magic[3] == 0x01)
        return loadExr(path);
    // Radiance: "#?" then a program name ("#?RADIANCE", "#?RGBE").
    if (got >= 2 && magic[0] == '#' && magic[1] == '?') return loadRadiance(path);
    if (got >= 3 && magic[0] == 'P' && (magic[1] == 'F' || magic[1] == 'f') &&
        (magic[2] == '\n' || magic[2] == '\r' || magic[2] == ' ' || magic[2] == '\t'))
        return loadPfm(path);
    if (got >= 4 && magic[0] == 0x89 && magic[1] == 'P' && magic[2] == 'N' && magic[3] == 'G')
        return failure("is a PNG image, not a high-dynamic-range probe (use .exr, .hdr or .pfm)");
    if (got >= 3 && magic[0] == 0xff && magic[1] == 0xd8 && magic[2] == 0xff)
        return failure("is a JPEG image, not a high-dynamic-range probe (use .exr, .hdr or .pfm)");
    return failure("is not an OpenEXR, Radiance or PFM image");
}

// ---- OpenEXR ----

LoadedImage loadExr(const std::string& path) {
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        const int64_t width = int64_t(window.max.x) - window.min.x + 1;
        const int64_t height = int64_t(window.max.y) - window.min.y + 1;
        const std::string problem = sizeProblem(width, height);
        if (!problem.empty()) return failure(problem);

        // RGB when present, otherwise a luminance channel Y copied into all three.
        const Imf::ChannelList& channels = file.header().channels();
        const char* names[3] = {"R", "G", "B"};
        if (!channels.findChannel("R") || !channels.findChannel("G") ||
            !channels.findChannel("B")) {
            if (!channels.findChannel("Y")) return failure("has no R, G, B (or Y) channels");
            names[0] = names[1] = names[2] = "Y";
        }

        const size_t count = size_t(width) * size_t(height);
        std::vector<float> planes[3];
        Imf::FrameBuffer frame;
        for (int c = 0; c < 3; ++c) {
            planes[c].assign(count, 0.0f);
            if (c > 0 && names[c] == names[0]) continue;
            // Slices are addressed from the data window's origin, which need not be (0, 0).
            char* base = reinterpret_cast<char*>(planes[c].data()) -
                         (ptrdiff_t(window.min.x) + ptrdiff_t(window.min.y) * ptrdiff_t(width)) *
                             ptrdiff_t(sizeof(float));
            frame.insert(names[c], Imf::Slice(Imf::FLOAT, base, sizeof(float),
                                              sizeof(float) * size_t(width)));
        }
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        if (names[1] == names[0]) planes[1] = planes[2] = planes[0];

        ix::Reference<Float3Image> image(new Float3Image);
        image->setSize(int(width), int(height));
        for (int64_t fileRow = 0; fileRow < height; ++fileRow) {
            FloatPixel3<float>* row = &image->at(0, int(height - 1 - fileRow));
            for (int64_t x = 0; x < width; ++x) {
                const size_t i = size_t(fileRow * width + x);
                row[x] = FloatPixel3<float>(planes[0][i], planes[1][i], planes[2][i]);
            }
        }
        LoadedImage result;
        result.image = image;
        return result;
    } catch (const std::exception& e) {
        return failure(std::string("is not a readable OpenEXR file (") + e.what() + ")");
    }
}

std::string writeExr(const Float3Image& image, const std::string& path) {
    const int width = image.getWidth();
    const int height = image.getHeight();
    if (width < 1 || height < 1) return "image has no pixels";
    return writeAtomically(path, [&](const std::string& tempPath) -> std::string {
        try {
            Imf::Header header(width, height);
            header.compression() = Imf::ZIP_COMPRESSION;
            for (const char* name : {"R", "G", "B"})
                header.channels().insert(name, Imf::Channel(Imf::FLOAT));
            // The file's first row is the image's last: copy the rows in file order.
            std::vector<FloatPixel3<float>> fileRows(size_t(width) * size_t(height));
            for (int fileRow = 0; fileRow < height; ++fileRow)
                std::memcpy(&fileRows[size_t(fileRow) * size_t(width)],
                            &image.at(0, height - 1 - fileRow),
                            sizeof(FloatPixel3<float>) * size_t(width));
            char* base = reinterpret_cast<char*>(fileRows.data());
            const size_t xStride = sizeof(FloatPixel3<float>);
            const size_t yStride = xStride * size_t(width);
            Imf::FrameBuffer frame;
            frame.insert("R", Imf::Slice(Imf::FLOAT, base, xStride, yStride));
            frame.insert("G", Imf::Slice(Imf::FLOAT, base + sizeof(float), xStride, yStride));
            frame.insert("B", Imf::Slice(Imf::FLOAT, base + 2 * sizeof(float), xStride, yStride));
            Imf::OutputFile file(tempPath.c_str(), header);
            file.setFrameBuffer(frame);
            file.writePixels(height);
            return std::string();
        } catch (const std::exception& e) {
            return std::string("OpenEXR write failed: ") + e.what();
        }
    });
}

// ---- Radiance ----

LoadedImage loadRadiance(const std::string& path) {
    // The whole file is read once: the stream check and the decoder then see the same bytes.
    std::ifstream file(path, std::ios::binary);
    if (!file) return failure(std::string("cannot open: ") + std::strerror(errno));
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    if (bytes.size() > size_t(std::numeric_limits<int>::max())) return failure("is too large");
    const int length = static_cast<int>(bytes.size());

    int width = 0, height = 0, components = 0;
    if (!stbi_info_from_memory(bytes.data(), length, &width, &height, &components))
        return failure(std::string("is not a readable Radiance file (") + stbi_failure_reason() +
                       ")");
    std::string problem = sizeProblem(width, height);
    if (problem.empty()) problem = checkRadianceStream(bytes.data(), bytes.size(), width, height);
    if (!problem.empty()) return failure(problem);
    std::unique_ptr<float, void (*)(void*)> pixels(
        stbi_loadf_from_memory(bytes.data(), length, &width, &height, &components, 3),
        stbi_image_free);
    if (!pixels)
        return failure(std::string("is not a readable Radiance file (") + stbi_failure_reason() +
                       ")");

    ix::Reference<Float3Image> image(new Float3Image);
    image->setSize(width, height);
    const float* source = pixels.get();
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        FloatPixel3<float>* row = &image->at(0, height - 1 - fileRow);
        for (int x = 0; x < width; ++x, source += 3)
            row[x] = FloatPixel3<float>(source[0], source[1], source[2]);
    }
    LoadedImage result;
    result.image = image;
    return result;
}

// ---- PFM ----

namespace {

// One whitespace-separated token of the header; false at the end of the data.
bool pfmToken(const unsigned char* bytes, size_t size, size_t& at, std::string& token) {
    while (at < size && std::strchr(" \t\r\n", bytes[at]) && bytes[at] != 0) ++at;
    token.clear();
    while (at < size && !std::strchr(" \t\r\n", bytes[at]) && token.size() < 32)
        token.push_back(char(bytes[at++]));
    return !token.empty();
}

bool parseInt(const std::string& text, int64_t& value) {
    if (text.empty() || text.size() > 12) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool hostIsLittleEndian() {
    const uint32_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

}  // namespace

LoadedImage decodePfm(const unsigned char* bytes, size_t size) {
    size_t at = 0;
    std::string magic, widthText, heightText, scaleText;
    if (!pfmToken(bytes, size, at, magic) || (magic != "PF" && magic != "Pf"))
        return failure("is not a PFM file (no PF or Pf header)");
    if (!pfmToken(bytes, size, at, widthText) || !pfmToken(bytes, size, at, heightText) ||
        !pfmToken(bytes, size, at, scaleText))
        return failure("has a truncated PFM header");
    int64_t width = 0, height = 0;
    if (!parseInt(widthText, width) || !parseInt(heightText, height))
        return failure("has a malformed PFM size");
    char* end = nullptr;
    const double scale = std::strtod(scaleText.c_str(), &end);
    if (*end != '\0' || scale == 0.0 || scale != scale) return failure("has a malformed PFM scale");
    const std::string problem = sizeProblem(width, height);
    if (!problem.empty()) return failure(problem);
    // Exactly one whitespace byte separates the scale from the raster.
    if (at >= size) return failure("is truncated (no pixel data)");
    ++at;

    const int channels = magic == "PF" ? 3 : 1;
    const size_t needed = size_t(width) * size_t(height) * size_t(channels) * sizeof(float);
    if (size - at < needed)
        return failure("is truncated (" + std::to_string(size - at) + " of " +
                       std::to_string(needed) + " pixel bytes)");
    const bool swap = (scale < 0.0) != hostIsLittleEndian();

    auto readFloat = [&](size_t index) {
        unsigned char word[4];
        std::memcpy(word, bytes + at + index * 4, 4);
        if (swap) {
            std::swap(word[0], word[3]);
            std::swap(word[1], word[2]);
        }
        float value;
        std::memcpy(&value, word, 4);
        return value;
    };

    // PFM stores the bottom row first, which is already the image's row order.
    ix::Reference<Float3Image> image(new Float3Image);
    image->setSize(int(width), int(height));
    FloatPixel3<float>* pixel = image->data();
    const size_t count = size_t(width) * size_t(height);
    for (size_t i = 0; i < count; ++i) {
        if (channels == 3) {
            pixel[i] =
                FloatPixel3<float>(readFloat(3 * i), readFloat(3 * i + 1), readFloat(3 * i + 2));
        } else {
            const float grey = readFloat(i);
            pixel[i] = FloatPixel3<float>(grey, grey, grey);
        }
    }
    LoadedImage result;
    result.image = image;
    return result;
}

LoadedImage loadPfm(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return failure(std::string("cannot open: ") + std::strerror(errno));
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    return decodePfm(bytes.data(), bytes.size());
}

std::string writePfm(const Float3Image& image, const std::string& path) {
    const int width = image.getWidth();
    const int height = image.getHeight();
    if (width < 1 || height < 1) return "image has no pixels";
    return writeAtomically(path, [&](const std::string& tempPath) -> std::string {
        std::FILE* file = std::fopen(tempPath.c_str(), "wb");
        if (!file) return std::string("cannot create: ") + std::strerror(errno);
        // Scale -1: little-endian floats, the byte order of every machine we build for;
        // on a big-endian host the header says so with +1.
        std::fprintf(file, "PF\n%d %d\n%s\n", width, height, hostIsLittleEndian() ? "-1.0" : "1.0");
        const size_t count = size_t(width) * size_t(height);
        std::vector<float> raster(count * 3);
        for (size_t i = 0; i < count; ++i) {
            raster[3 * i] = image.data()[i].red;
            raster[3 * i + 1] = image.data()[i].green;
            raster[3 * i + 2] = image.data()[i].blue;
        }
        const bool written =
            std::fwrite(raster.data(), sizeof(float), raster.size(), file) == raster.size();
        const bool closed = std::fclose(file) == 0;
        return written && closed ? std::string()
                                 : std::string("write failed: ") + std::strerror(errno);
    });
}

// ---- PNG ----

namespace {

// libpng reports errors through longjmp; this keeps the jump inside one plain C-style function
// with no C++ objects that would need unwinding.
const char* writePngFile(std::FILE* file, const unsigned char* rgb, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return "cannot start the PNG encoder";
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return "cannot start the PNG encoder";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "PNG encoding failed";
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Previews are looked at, not archived: zlib's fastest level encodes a full-size probe
    // preview several times faster than the default level, for files about a tenth larger.
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, rgb + size_t(y) * size_t(width) * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return nullptr;
}

}  // namespace

std::string writePng(const std::vector<unsigned char>& rgb, int width, int height,
                     const std::string& path) {
    if (width < 1 || height < 1 || rgb.size() != size_t(width) * size_t(height) * 3)
        return "image has no pixels or the wrong size";
    return writeAtomically(path, [&](const std::string& tempPath) -> std::string {
        std::FILE* file = std::fopen(tempPath.c_str(), "wb");
        if (!file) return std::string("cannot create: ") + std::strerror(errno);
        const char* problem = writePngFile(file, rgb.data(), width, height);
        const bool closed = std::fclose(file) == 0;
        if (problem) return problem;
        return closed ? std::string() : std::string("write failed: ") + std::strerror(errno);
    });
}

std::string writeText(const std::string& text, const std::string& path) {
    return writeAtomically(path, [&](const std::string& tempPath) -> std::string {
        std::FILE* file = std::fopen(tempPath.c_str(), "wb");
        if (!file) return std::string("cannot create: ") + std::strerror(errno);
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        const bool closed = std::fclose(file) == 0;
        return written && closed ? std::string()
                                 : std::string("write failed: ") + std::strerror(errno);
    });
}

}  // namespace iblBake
