// Packet file layout, version 1.
//
// Every number is little-endian whatever the host: integers are two's complement, doubles are
// IEEE 754 binary64 bit patterns. Offsets in error messages count bytes from the start of the
// file, header included.
//
//   header (16 bytes)
//     offset 0   4 bytes  magic "IXPK"
//     offset 4   4 bytes  format version (uint32), 1
//     offset 8   8 bytes  body length (uint64): the file is exactly 16 + body length bytes
//
//   body: items back to back, each a one-byte tag and its payload
//     tag   item              payload
//     0x01  bool              1 byte, 0 or 1
//     0x02  int               int32
//     0x03  double            binary64
//     0x04  byte block        n (uint64), then n bytes
//     0x05  pointer           kind (int32, 0 in this library), image id (int32, -1 = null)
//     0x06  image record      id (int32), pixel type (int32, 0..9), width (int32 >= 0),
//                             height (int32 >= 0), wrap flags (uint8: bit 0 horizontal,
//                             bit 1 vertical), then width * height * pixel size bytes of
//                             pixels (component layout in packet_pixels.h). A null record has
//                             id -1, every other field 0 and no pixels.
//     0x07  irradiance        48 binary64: red, green, blue 4 x 4 matrices, each row by row
//     0x08  sub-packet start  body length (uint64): bytes between this field and the end tag
//     0x09  sub-packet end    nothing
//
// Image ids count up from 0 in writing order. A reader accepts only ids that exceed every id
// it has met, so a corrupted record can never replace an image already restored.
//
// Reading is strict: an unknown tag, a bool other than 0 or 1, a length that reaches past the
// enclosing sub-packet or a sub-packet whose end tag is not where its length says all fail the
// context. Nothing is allocated before its declared size has been checked against the bytes
// left, so a hostile file can make the reader allocate no more than its own size (plus a small
// object per image record).
#include "iximage/interfaces/packet_context.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "iximage/interfaces/atomic_file.h"
#include "iximage/interfaces/detail/packet_access.h"
#include "iximage/interfaces/detail/packet_pixels.h"
#include "iximage/interfaces/image.h"

namespace {

constexpr std::uint8_t kMagic[4] = {'I', 'X', 'P', 'K'};
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kBodyLengthOffset = 8;

enum ItemTag : std::uint8_t {
    kTagBool = 0x01,
    kTagInt = 0x02,
    kTagDouble = 0x03,
    kTagBytes = 0x04,
    kTagPointer = 0x05,
    kTagImageRecord = 0x06,
    kTagIrradiance = 0x07,
    kTagSubPacketStart = 0x08,
    kTagSubPacketEnd = 0x09,
};

constexpr std::size_t kImageRecordHeaderBytes = 4 * 4 + 1;
constexpr std::size_t kIrradianceBytes = PacketWriterAccess::kIrradianceValues * 8;
constexpr std::int32_t kNullId = -1;

std::string itemName(std::uint8_t tag) {
    switch (tag) {
        case kTagBool: return "a bool";
        case kTagInt: return "an int";
        case kTagDouble: return "a double";
        case kTagBytes: return "a byte block";
        case kTagPointer: return "a pointer";
        case kTagImageRecord: return "an image record";
        case kTagIrradiance: return "an irradiance";
        case kTagSubPacketStart: return "a sub-packet start";
        case kTagSubPacketEnd: return "a sub-packet end";
        default: {
            char text[32];
            std::snprintf(text, sizeof(text), "an unknown tag 0x%02X", unsigned(tag));
            return text;
        }
    }
}

std::string at(std::size_t offset) { return " at byte " + std::to_string(offset); }

// Little-endian encoding through shifts, independent of the host's byte order.
void putU8(std::vector<std::uint8_t>& out, std::uint8_t value) { out.push_back(value); }

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putI32(std::vector<std::uint8_t>& out, std::int32_t value) {
    putU32(out, static_cast<std::uint32_t>(value));
}

void putU64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void patchU64(std::vector<std::uint8_t>& out, std::size_t offset, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putDouble(std::vector<std::uint8_t>& out, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    putU64(out, bits);
}

std::uint32_t getU32(const std::uint8_t* bytes) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

std::int32_t getI32(const std::uint8_t* bytes) {
    // Two's complement reinterpretation, well defined through memcpy.
    const std::uint32_t bits = getU32(bytes);
    std::int32_t value = 0;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

std::uint64_t getU64(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

double getDouble(const std::uint8_t* bytes) {
    const std::uint64_t bits = getU64(bytes);
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Writing

ioWriteContext::ioWriteContext(const char* target) : path(target ? target : "") {
    buffer.insert(buffer.end(), kMagic, kMagic + 4);
    putU32(buffer, kFormatVersion);
    putU64(buffer, 0);
}

ioWriteContext::~ioWriteContext() = default;

void ioWriteContext::setError(const std::string& message) {
    if (errorMessage.empty()) errorMessage = message;
}

void ioWriteContext::updateHeader() {
    patchU64(buffer, kBodyLengthOffset, buffer.size() - kHeaderBytes);
}

void ioWriteContext::startSubPacket() {
    putU8(buffer, kTagSubPacketStart);
    openSubPackets.push_back(buffer.size());
    putU64(buffer, 0);  // patched by endSubPacket
    updateHeader();
}

void ioWriteContext::endSubPacket() {
    if (openSubPackets.empty()) {
        setError("endSubPacket without a matching startSubPacket");
        return;
    }
    const std::size_t lengthOffset = openSubPackets.back();
    openSubPackets.pop_back();
    patchU64(buffer, lengthOffset, buffer.size() - (lengthOffset + 8));
    putU8(buffer, kTagSubPacketEnd);
    updateHeader();
}

void ioWriteContext::writePointer(const void* pointer, int kind) {
    std::int32_t id = kNullId;
    if (pointer) {
        const auto found = imageIds.find(pointer);
        if (found != imageIds.end()) id = found->second;
    }
    putU8(buffer, kTagPointer);
    putI32(buffer, kind);
    putI32(buffer, id);
    updateHeader();
}

void ioWriteContext::writeBool(bool value) {
    putU8(buffer, kTagBool);
    putU8(buffer, value ? 1 : 0);
    updateHeader();
}

void ioWriteContext::writeInt(int value) {
    putU8(buffer, kTagInt);
    putI32(buffer, value);
    updateHeader();
}

void ioWriteContext::writeDouble(double value) {
    putU8(buffer, kTagDouble);
    putDouble(buffer, value);
    updateHeader();
}

void ioWriteContext::writeBytes(const void* bytes, std::size_t count) {
    if (!bytes && count > 0) {
        setError("writeBytes of " + std::to_string(count) + " bytes from a null buffer");
        return;
    }
    putU8(buffer, kTagBytes);
    putU64(buffer, count);
    const std::uint8_t* first = static_cast<const std::uint8_t*>(bytes);
    if (count > 0) buffer.insert(buffer.end(), first, first + count);
    updateHeader();
}

void ioWriteContext::writeImageRecord(const ixImage::Image* image) {
    if (!image) {
        putU8(buffer, kTagImageRecord);
        putI32(buffer, kNullId);
        putI32(buffer, 0);
        putI32(buffer, 0);
        putI32(buffer, 0);
        putU8(buffer, 0);
        updateHeader();
        return;
    }
    const std::int32_t type = image->getPixelType();
    const int width = image->getWidth();
    const int height = image->getHeight();
    if (ixImage::packetPixels::pixelSizeOfType(type) == 0) {
        setError("cannot write an image of unknown pixel type " + std::to_string(type));
        return;
    }
    if (width < 0 || height < 0) {
        setError("cannot write an image of negative size " + std::to_string(width) + " x " +
                 std::to_string(height));
        return;
    }
    if (width > 0 && height > 0 && !image->pixels()) {
        setError("cannot write an image of " + std::to_string(width) + " x " +
                 std::to_string(height) + " pixels that has no pixel buffer");
        return;
    }
    if (nextImageId == INT32_MAX) {
        setError("too many image records in one packet file");
        return;
    }
    const std::int32_t id = nextImageId++;
    imageIds[image] = id;
    putU8(buffer, kTagImageRecord);
    putI32(buffer, id);
    putI32(buffer, type);
    putI32(buffer, width);
    putI32(buffer, height);
    putU8(buffer, static_cast<std::uint8_t>((image->getWrapHorizontal() ? 1 : 0) |
                                            (image->getWrapVertical() ? 2 : 0)));
    ixImage::packetPixels::appendPixels(*image, buffer);
    updateHeader();
}

bool ioWriteContext::commit() {
    if (!isOk()) return false;
    if (!openSubPackets.empty()) {
        setError("cannot commit with " + std::to_string(openSubPackets.size()) +
                 " sub-packet(s) still open");
        return false;
    }
    std::string problem;
    if (!ixOS::writeFileAtomically(path, buffer.data(), buffer.size(), problem)) {
        setError(problem);
        return false;
    }
    return true;
}

void PacketWriterAccess::writeIrradiance(ioWriteContext& context,
                                         const double (&values)[kIrradianceValues]) {
    putU8(context.buffer, kTagIrradiance);
    for (double value : values) putDouble(context.buffer, value);
    context.updateHeader();
}

// ---------------------------------------------------------------------------------------------
// Reading

ioReadContext::ioReadContext(const char* path) {
    if (!path) {
        fail("cannot open a packet file without a file name");
        return;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        fail("cannot open packet file '" + std::string(path) + "': " + std::strerror(errno));
        return;
    }
    // Read in chunks rather than trusting a size reported up front, so the buffer only ever
    // holds bytes that were actually read.
    std::uint8_t chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
        data.insert(data.end(), chunk, chunk + got);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError) {
        data.clear();
        fail("cannot read packet file '" + std::string(path) + "'");
        return;
    }
    readHeader();
}

ioReadContext::ioReadContext(const void* bytes, std::size_t size) {
    if (!bytes && size > 0) {
        fail("cannot read a packet from a null buffer");
        return;
    }
    const std::uint8_t* first = static_cast<const std::uint8_t*>(bytes);
    if (size > 0) data.assign(first, first + size);
    readHeader();
}

ioReadContext::~ioReadContext() = default;

void ioReadContext::fail(const std::string& message) {
    if (failedFlag) return;
    failedFlag = true;
    errorMessage = message;
}

void ioReadContext::readHeader() {
    if (data.size() < kHeaderBytes) {
        fail("not a packet file: " + std::to_string(data.size()) +
             " bytes is shorter than the 16-byte header");
        return;
    }
    if (std::memcmp(data.data(), kMagic, sizeof(kMagic)) != 0) {
        fail("not a packet file: the magic \"IXPK\" is missing at byte 0");
        return;
    }
    const std::uint32_t version = getU32(data.data() + 4);
    if (version != kFormatVersion) {
        fail("packet file version " + std::to_string(version) + " at byte 4 is not supported " +
             "(this library reads version " + std::to_string(kFormatVersion) + ")");
        return;
    }
    const std::uint64_t declared = getU64(data.data() + kBodyLengthOffset);
    const std::uint64_t present = data.size() - kHeaderBytes;
    if (declared != present) {
        fail(std::string(declared > present ? "truncated" : "overlong") +
             " packet file: the header at byte 8 declares " + std::to_string(declared) +
             " bytes of items, " + std::to_string(present) + " are present");
        return;
    }
    position = kHeaderBytes;
}

std::size_t ioReadContext::itemLimit() const {
    return subPacketEnds.empty() ? data.size() : subPacketEnds.back();
}

bool ioReadContext::decodeImageRecords() {
    while (!failedFlag && position < itemLimit() && data[position] == kTagImageRecord)
        decodeImageRecord();
    return !failedFlag;
}

void ioReadContext::decodeImageRecord() {
    const std::size_t recordAt = position;
    const std::size_t left = itemLimit() - position - 1;
    if (left < kImageRecordHeaderBytes) {
        fail("image record" + at(recordAt) + " is cut short: its header needs " +
             std::to_string(kImageRecordHeaderBytes) + " bytes, " + std::to_string(left) +
             " are left");
        return;
    }
    const std::uint8_t* field = data.data() + position + 1;
    const std::int32_t id = getI32(field);
    const std::int32_t type = getI32(field + 4);
    const std::int32_t width = getI32(field + 8);
    const std::int32_t height = getI32(field + 12);
    const std::uint8_t wrapFlags = field[16];
    const std::size_t pixelsAt = position + 1 + kImageRecordHeaderBytes;

    if (id == kNullId) {
        if (type != 0 || width != 0 || height != 0 || wrapFlags != 0) {
            fail("null image record" + at(recordAt) + " carries a type, size or wrap flags");
            return;
        }
        position = pixelsAt;
        return;
    }
    if (id < 0 || id <= lastImageId) {
        fail("image record" + at(recordAt) + " has id " + std::to_string(id) +
             ", which does not follow the last id " + std::to_string(lastImageId));
        return;
    }
    const std::size_t pixelSize = ixImage::packetPixels::pixelSizeOfType(type);
    if (pixelSize == 0) {
        fail("image record" + at(recordAt) + " has unknown pixel type " + std::to_string(type));
        return;
    }
    if (width < 0 || height < 0) {
        fail("image record" + at(recordAt) + " has negative size " + std::to_string(width) + " x " +
             std::to_string(height));
        return;
    }
    if ((wrapFlags & ~3u) != 0) {
        fail("image record" + at(recordAt) + " has unknown wrap flags " +
             std::to_string(unsigned(wrapFlags)));
        return;
    }
    // Both sides are below 2^31, so the product fits in 64 bits; the pixel count must also fit
    // the 32-bit count of TypedImage, and the bytes it needs must be present.
    const std::uint64_t pixelCount = std::uint64_t(width) * std::uint64_t(height);
    const std::size_t pixelBytesLeft = itemLimit() - pixelsAt;
    if (pixelCount > std::uint64_t(INT_MAX) || pixelCount > pixelBytesLeft / pixelSize) {
        fail("image record" + at(recordAt) + " of " + std::to_string(width) + " x " +
             std::to_string(height) + " pixels of " + std::to_string(pixelSize) +
             " bytes does not fit in the " + std::to_string(pixelBytesLeft) + " bytes left");
        return;
    }
    std::string problem;
    ix::Reference<ixImage::Image> image =
        ixImage::packetPixels::decodePixels(type, width, height, data.data() + pixelsAt, problem);
    if (!image) {
        fail("image record" + at(recordAt) + ": " + problem);
        return;
    }
    image->setWrap((wrapFlags & 1u) != 0, (wrapFlags & 2u) != 0);
    restoredImages[id] = image;
    lastImageId = id;
    position = pixelsAt + static_cast<std::size_t>(pixelCount) * pixelSize;
}

bool ioReadContext::enterItem(std::uint8_t tag, std::size_t payloadSize) {
    if (failedFlag || !decodeImageRecords()) return false;
    const std::size_t limit = itemLimit();
    if (position >= limit) {
        fail("expected " + itemName(tag) + at(position) + ", found the end of the " +
             (subPacketEnds.empty() ? "file" : "sub-packet"));
        return false;
    }
    if (data[position] != tag) {
        fail("expected " + itemName(tag) + at(position) + ", found " + itemName(data[position]));
        return false;
    }
    if (limit - position - 1 < payloadSize) {
        fail(itemName(tag) + at(position) + " is cut short: it needs " +
             std::to_string(payloadSize) + " bytes, " + std::to_string(limit - position - 1) +
             " are left");
        return false;
    }
    ++position;
    return true;
}

void ioReadContext::startSubPacket() {
    const std::size_t startAt = position;
    if (!enterItem(kTagSubPacketStart, 8)) return;
    const std::uint64_t bodyLength = getU64(data.data() + position);
    const std::size_t bodyAt = position + 8;
    // The body and its end tag must lie inside the enclosing sub-packet (or the file).
    const std::size_t room = itemLimit() - bodyAt;
    if (room < 1 || bodyLength > room - 1) {
        fail("sub-packet" + at(startAt) + " declares a body of " + std::to_string(bodyLength) +
             " bytes, but only " + std::to_string(room) + " bytes (end tag included) are left");
        return;
    }
    const std::size_t end = bodyAt + static_cast<std::size_t>(bodyLength);
    if (data[end] != kTagSubPacketEnd) {
        fail("sub-packet" + at(startAt) + " should end" + at(end) + ", but " + itemName(data[end]) +
             " is there");
        return;
    }
    subPacketEnds.push_back(end);
    position = bodyAt;
}

void ioReadContext::endSubPacket() {
    if (failedFlag) return;
    if (subPacketEnds.empty()) {
        fail("endSubPacket" + at(position) + " without an open sub-packet");
        return;
    }
    if (!decodeImageRecords()) return;
    // Whatever is left unread belongs to a newer writer; its end tag was checked on entry.
    position = subPacketEnds.back() + 1;
    subPacketEnds.pop_back();
}

bool ioReadContext::readPointer(void*& pointer, int kind) {
    pointer = nullptr;
    const std::size_t itemAt = position;
    if (!enterItem(kTagPointer, 8)) return false;
    const std::int32_t storedKind = getI32(data.data() + position);
    const std::int32_t id = getI32(data.data() + position + 4);
    if (storedKind != kind) {
        fail("pointer" + at(itemAt) + " is of kind " + std::to_string(storedKind) +
             ", expected kind " + std::to_string(kind));
        return false;
    }
    if (id < kNullId) {
        fail("pointer" + at(itemAt) + " has invalid image id " + std::to_string(id));
        return false;
    }
    position += 8;
    const auto found = restoredImages.find(id);
    if (found != restoredImages.end()) pointer = found->second.get();
    return true;
}

bool ioReadContext::readBool() {
    const std::size_t itemAt = position;
    if (!enterItem(kTagBool, 1)) return false;
    const std::uint8_t value = data[position];
    if (value > 1) {
        fail("bool" + at(itemAt) + " holds " + std::to_string(unsigned(value)) +
             " instead of 0 or 1");
        return false;
    }
    ++position;
    return value == 1;
}

int ioReadContext::readInt() {
    if (!enterItem(kTagInt, 4)) return 0;
    const std::int32_t value = getI32(data.data() + position);
    position += 4;
    return value;
}

double ioReadContext::readDouble() {
    if (!enterItem(kTagDouble, 8)) return 0.0;
    const double value = getDouble(data.data() + position);
    position += 8;
    return value;
}

bool ioReadContext::readBytes(void* bytes, std::size_t count) {
    if (bytes && count > 0) std::memset(bytes, 0, count);
    if (failedFlag) return false;
    if (!bytes && count > 0) {
        fail("readBytes of " + std::to_string(count) + " bytes into a null buffer");
        return false;
    }
    const std::size_t itemAt = position;
    if (!enterItem(kTagBytes, 8)) return false;
    const std::uint64_t length = getU64(data.data() + position);
    const std::size_t left = itemLimit() - position - 8;
    if (length > left) {
        fail("byte block" + at(itemAt) + " declares " + std::to_string(length) + " bytes, " +
             std::to_string(left) + " are left");
        return false;
    }
    if (length != count) {
        fail("expected a byte block of " + std::to_string(count) + " bytes" + at(itemAt) +
             ", found one of " + std::to_string(length) + " bytes");
        return false;
    }
    if (count > 0) std::memcpy(bytes, data.data() + position + 8, count);
    position += 8 + count;
    return true;
}

bool PacketReaderAccess::readIrradiance(ioReadContext& context,
                                        double (&values)[kIrradianceValues]) {
    for (double& value : values) value = 0.0;
    if (!context.enterItem(kTagIrradiance, kIrradianceBytes)) return false;
    for (int i = 0; i < kIrradianceValues; ++i)
        values[i] = getDouble(context.data.data() + context.position + 8 * i);
    context.position += kIrradianceBytes;
    return true;
}
