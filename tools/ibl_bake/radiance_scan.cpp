#include "radiance_scan.h"

#include <cstdint>

namespace iblBake {

namespace {

// Offset just past the line feed at or after `from`, or size when there is none.
std::size_t pastLine(const unsigned char* bytes, std::size_t size, std::size_t from) {
    while (from < size && bytes[from] != '\n') ++from;
    return from < size ? from + 1 : size;
}

// Where the pixels start: the header is a run of lines ended by an empty one, then one
// resolution line ("-Y h +X w"); the pixels follow its line feed.
bool pixelStreamStart(const unsigned char* bytes, std::size_t size, std::size_t& start) {
    std::size_t at = 0;
    for (;;) {
        if (at >= size) return false;
        const bool empty = bytes[at] == '\n';
        at = pastLine(bytes, size, at);
        if (empty) break;
    }
    if (at >= size) return false;
    start = pastLine(bytes, size, at);
    return true;
}

std::string truncatedAt(int row) {
    return "is truncated (pixel data ends in scanline " + std::to_string(row + 1) + ")";
}

}  // namespace

std::string checkRadianceStream(const unsigned char* bytes, std::size_t size, int width,
                                int height) {
    std::size_t at = 0;
    if (!pixelStreamStart(bytes, size, at)) return "has no resolution line";
    const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
    const std::uint64_t left = size - at;

    // Widths outside 8..32767 cannot be run-length encoded: every pixel is 4 bytes.
    if (width < 8 || width >= 32768)
        return left >= 4 * pixels ? std::string() : truncatedAt(int(left / 4 / width));

    for (int row = 0; row < height; ++row) {
        if (size - at < 4) return truncatedAt(row);
        const unsigned char* head = bytes + at;
        if (head[0] != 2 || head[1] != 2 || (head[2] & 0x80) != 0) {
            // Not run-length encoded: the decoder takes these 4 bytes as the first pixel of the
            // image and reads every other pixel flat from here, whatever row it was on.
            return size - at >= 4 * pixels ? std::string() : truncatedAt(row);
        }
        if ((head[2] << 8 | head[3]) != width)
            return "has corrupt run-length data (scanline " + std::to_string(row + 1) +
                   " declares a different width)";
        at += 4;
        for (int channel = 0; channel < 4; ++channel) {
            int filled = 0;
            while (filled < width) {
                if (at >= size) return truncatedAt(row);
                const int code = bytes[at++];
                // Above 128: one value repeated code - 128 times; otherwise code literal values.
                const bool repeat = code > 128;
                const int count = repeat ? code - 128 : code;
                if (count == 0 || count > width - filled)
                    return "has corrupt run-length data (scanline " + std::to_string(row + 1) + ")";
                const std::size_t payload = repeat ? 1 : std::size_t(count);
                if (size - at < payload) return truncatedAt(row);
                at += payload;
                filled += count;
            }
        }
    }
    return std::string();
}

}  // namespace iblBake
