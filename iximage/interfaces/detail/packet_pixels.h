// Library-internal: pixel arrays of every pixel type as little-endian bytes, for packet files.
//
// The bytes of a pixel are its components in declaration order, each stored little-endian:
// 1-byte channels as they are, 32-bit integers and floats as 4 bytes, half as its 16 bits,
// doubles as 8 bytes; an SHRM pixel is its order and count (32-bit) followed by its
// 121 red-green-blue coefficient triples (doubles). Pixels follow each other row by row with
// no padding, so an image of width w and height h takes w * h * pixelSize bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "iximage/interfaces/image.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/interfaces/reference.h"

namespace ixImage {
namespace packetPixels {

// Bytes per pixel of a tag; 0 for a value that names no pixel type.
std::size_t pixelSizeOfType(std::int32_t type);

// Appends width * height pixels of the image in the byte order above. The caller has checked
// that the tag is known and that an image with pixels to write has a buffer.
void appendPixels(const Image& image, std::vector<std::uint8_t>& out);

// A new image of the tag's type and the given size whose pixels are decoded from
// width * height * pixelSizeOfType(type) bytes. Null, with the reason in problem, when the
// tag is unknown or a pixel holds values its type cannot hold (an SHRM pixel must
// declare order 10 and 121 coefficients).
ix::Reference<Image> decodePixels(std::int32_t type, int width, int height,
                                  const std::uint8_t* bytes, std::string& problem);

}  // namespace packetPixels
}  // namespace ixImage
