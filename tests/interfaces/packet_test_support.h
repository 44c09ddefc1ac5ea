// Helpers of the packet-file tests: random images of every pixel type, and an independent
// little-endian encoder used to build expected and hostile files byte by byte.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "iximage/image/typed_image.h"

namespace packetTest {

inline const ixImage::PixelTypeId kAllPixelTypes[] = {
    ixImage::kPixelUnsignedChar, ixImage::kPixelByte4,
    ixImage::kPixelUnsignedInt,  ixImage::kPixelInt4,
    ixImage::kPixelHalf4,        ixImage::kPixelFloat,
    ixImage::kPixelFloat3,       ixImage::kPixelFloat4,
    ixImage::kPixelDouble3,      ixImage::kPixelSphericalHarmonics,
};

// An image of the tag's type filled with random bytes (reflection-map pixels keep their order
// and count fields, which a reader checks).
inline ix::Reference<ixImage::Image> makeRandomImage(ixImage::PixelTypeId tag, int width,
                                                     int height, bool wrapH, bool wrapV,
                                                     std::mt19937& rng) {
    ix::Reference<ixImage::Image> image(tag == ixImage::kPixelSphericalHarmonics
                                            ? new ixImage::ShrmImage()
                                            : ixImage::imageCreateByType(tag));
    image->setSize(width, height);
    image->setWrap(wrapH, wrapV);
    const std::size_t pixelSize = static_cast<std::size_t>(image->pixelSize());
    const std::size_t count = std::size_t(width) * std::size_t(height);
    auto* bytes = static_cast<std::uint8_t*>(image->pixels());
    const std::size_t skip = tag == ixImage::kPixelSphericalHarmonics ? 8 : 0;
    for (std::size_t p = 0; p < count; ++p)
        for (std::size_t b = skip; b < pixelSize; ++b)
            bytes[p * pixelSize + b] = static_cast<std::uint8_t>(rng());
    return image;
}

inline bool samePixelBytes(const ixImage::Image& a, const ixImage::Image& b) {
    const std::size_t count = std::size_t(a.getWidth()) * std::size_t(a.getHeight());
    if (count == 0) return true;
    return std::memcmp(a.pixels(), b.pixels(), count * std::size_t(a.pixelSize())) == 0;
}

// Little-endian fields appended by shifts, written independently of the library's encoder.
struct RawPacket {
    std::vector<std::uint8_t> bytes{'I', 'X', 'P', 'K', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

    RawPacket& u8(unsigned v) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    RawPacket& u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) u8((v >> (8 * i)) & 0xFF);
        return *this;
    }
    RawPacket& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    RawPacket& u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) u8(static_cast<unsigned>((v >> (8 * i)) & 0xFF));
        return *this;
    }
    RawPacket& raw(std::size_t count, std::uint8_t value) {
        bytes.insert(bytes.end(), count, value);
        return *this;
    }
    // Sets the header's body length to what is there, as an honest (or hostile) writer would.
    std::vector<std::uint8_t> finished() const {
        std::vector<std::uint8_t> out = bytes;
        const std::uint64_t body = out.size() - 16;
        for (int i = 0; i < 8; ++i) out[8 + i] = static_cast<std::uint8_t>(body >> (8 * i));
        return out;
    }
};

}  // namespace packetTest
