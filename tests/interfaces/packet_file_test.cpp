// Packet files: layout, round trips of every item and pixel type, atomic commits, and the reader
// on truncated, tag-flipped and hostile files (a clear error, then neutral values, no allocation).
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <tuple>

#include "allocation_watch.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/packet_file.h"

using namespace ixImage;
using Bytes = std::vector<std::uint8_t>;

namespace {

void setBodyLength(Bytes& b) {
    for (int i = 0; i < 8; ++i) b[8 + i] = std::uint8_t((b.size() - 16) >> (8 * i));
}

// Little-endian fields appended by shifts, independently of the library's encoder.
struct RawPacket {
    Bytes bytes{'I', 'X', 'P', 'K', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

    RawPacket& u64(std::uint64_t v, int size = 8) {
        for (int i = 0; i < size; ++i) bytes.push_back(std::uint8_t(v >> (8 * i)));
        return *this;
    }
    RawPacket& u8(unsigned v) { return u64(v, 1); }
    RawPacket& i32(std::int32_t v) { return u64(std::uint32_t(v), 4); }
    RawPacket& zeros(std::size_t count) { return bytes.resize(bytes.size() + count), *this; }
    // With the header's body length set to what is there, as an honest (or hostile) writer would.
    Bytes finished() const {
        Bytes out = bytes;
        setBodyLength(out);
        return out;
    }
};

// An image filled with random bytes (reflection-map pixels keep their order and count fields,
// which the reader checks).
ix::Reference<Image> randomImage(int tag, int width, int height, bool wrapH, bool wrapV,
                                 std::mt19937& rng) {
    const bool shrm = tag == kPixelSphericalHarmonics;
    ix::Reference<Image> image(shrm ? new ShrmImage() : imageCreateByType(PixelTypeId(tag)));
    image->setSize(width, height);
    image->setWrap(wrapH, wrapV);
    const std::size_t size = std::size_t(image->pixelSize());
    auto* bytes = static_cast<std::uint8_t*>(image->pixels());
    for (std::size_t b = 0; b < size * std::size_t(width * height); ++b)
        if (!shrm || b % size >= 8) bytes[b] = std::uint8_t(rng());
    return image;
}

// Same type, size, wrap flags and pixel bytes (or both null).
bool sameImage(const Image* a, const Image* b) {
    if (!a || !b) return a == b;
    const std::size_t n = std::size_t(a->getWidth() * a->getHeight() * a->pixelSize());
    return a->getPixelType() == b->getPixelType() && a->getWidth() == b->getWidth() &&
           a->getHeight() == b->getHeight() && a->getWrapHorizontal() == b->getWrapHorizontal() &&
           a->getWrapVertical() == b->getWrapVertical() &&
           (n == 0 || std::memcmp(a->pixels(), b->pixels(), n) == 0);
}

// A file with one item of every kind: extreme values, an image record of every pixel type
// (odd and empty sizes, every wrap flag), a null record, a record referenced twice, a reference
// to an image never written, sub-packets three deep (the reader skips the innermost, empty one,
// as an older reader skips what it does not know); and where every item's tag is.
struct SampleFile {
    const bool bools[2] = {true, false};
    const int ints[4] = {0, -7, INT_MIN, INT_MAX};
    const double doubles[6] = {-0.0, 1.0 / 3.0, -1e308, HUGE_VAL, 0x1p-1074, NAN};
    std::mt19937 rng{99};
    std::vector<ix::Reference<Image>> images{nullptr};
    const ix::Reference<Image> neverWritten = randomImage(kPixelByte4, 1, 1, 0, 0, rng);
    Irradiance irradiance;
    Bytes bytes;
    std::vector<std::size_t> tagOffsets;

    SampleFile() {
        for (int t = kPixelUnsignedChar; t <= kPixelSphericalHarmonics; ++t)
            images.push_back(
                randomImage(t, t < 9 ? 1 + t % 4 : 1, t < 9 ? 2 - t % 3 : 1, t & 1, t & 2, rng));
        for (auto* matrix : {&irradiance.red, &irradiance.green, &irradiance.blue})
            for (auto& row : matrix->m)
                for (double& v : row) v = std::ldexp(double(rng()) - 2e9, int(rng() % 2000) - 1030);
        ioWriteContext w("");
        auto tag = [&] { tagOffsets.push_back(w.getBytes().size()); };
        tag(), w.startSubPacket();
        for (bool v : bools) tag(), w.writeBool(v);
        for (int v : ints) tag(), w.writeInt(v);
        for (double v : doubles) tag(), w.writeDouble(v);
        tag(), w.writeBytes("abc", 3);
        tag(), w.writeBytes(nullptr, 0);
        tag(), packetFile::writeIrradiance(w, irradiance);
        for (const auto& image : images)
            tag(), packetFile::writeImage(w, image.get()), tag(), w.writePointer(image.get(), 0);
        tag(), w.writePointer(images[1].get(), 0);
        tag(), w.startSubPacket();
        tag(), w.writeInt(5);
        w.startSubPacket();  // skipped unread, so its tags are not checked
        w.endSubPacket();
        tag(), w.endSubPacket();
        tag(), w.writePointer(neverWritten.get(), 0);
        tag(), w.endSubPacket();
        bytes = w.getBytes();
    }

    // True when every item reads back as written.
    bool readBack(ioReadContext& r) const {
        bool ok = true;
        r.startSubPacket();
        for (bool v : bools) ok &= r.readBool() == v;
        for (int v : ints) ok &= r.readInt() == v;
        for (double v : doubles) {
            const double back = r.readDouble();
            ok &= !std::memcmp(&back, &v, sizeof v);  // every bit, NaN and -0 included
        }
        char text[3] = {};
        ok &= r.readBytes(text, 3) & r.readBytes(nullptr, 0) & !std::memcmp(text, "abc", 3);
        Irradiance back;
        ok &= packetFile::readIrradiance(r, back) & !std::memcmp(&back, &irradiance, sizeof(back));
        std::vector<void*> p(images.size() + 1);  // the last is images[1] again
        for (std::size_t i = 0; i < p.size(); ++i) {
            ok &= r.readPointer(p[i], 0) &&
                  (i == images.size() ? p[i] == p[1]
                                      : sameImage(static_cast<Image*>(p[i]), images[i].get()) &&
                                            (!p[i] || p[i] != images[i].get()));
        }
        r.startSubPacket();
        ok &= r.readInt() == 5;
        r.endSubPacket();
        void* never = &r;
        ok &= r.readPointer(never, 0) && !never;
        r.endSubPacket();
        return ok && r.isOk();
    }
};

// After a failure the message gives the byte offset, every read gives its neutral value and the
// reader stays failed.
void expectFailedAndNeutral(ioReadContext& reader, const std::string& what) {
    void* pointer = &reader;
    char bytes[2] = {1, 1};
    EXPECT_FALSE(!reader.failed() || reader.getErrorMessage().find("byte") == std::string::npos ||
                 reader.readBool() || reader.readInt() != 0 || reader.readDouble() != 0.0 ||
                 reader.readPointer(pointer, 0) || pointer != nullptr ||
                 reader.readBytes(bytes, 2) || bytes[0] != 0 || bytes[1] != 0)
        << what << ": " << reader.getErrorMessage();
    reader.startSubPacket();
    reader.endSubPacket();
    EXPECT_TRUE(reader.failed()) << what;
}

RawPacket imageRecord(std::int32_t id, std::int32_t type, std::int32_t width, std::int32_t height,
                      unsigned wrapFlags) {
    return RawPacket().u8(0x06).i32(id).i32(type).i32(width).i32(height).u8(wrapFlags);
}

// A well-formed file holding one int, with byte `index` set to `value` (or the size changed).
Bytes oneIntWith(std::size_t index, std::uint8_t value, std::size_t size = 21) {
    Bytes b = RawPacket().u8(0x02).i32(1).finished();
    b[index] = value;
    b.resize(size);
    return b;
}

using Read = std::function<void(ioReadContext&)>;

// Hostile files: the bytes, what is read, a part of the expected message.
std::vector<std::tuple<Bytes, Read, const char*>> hostileCases() {
    static void* p;
    static char b[3];
    const Read pointer = [](auto&r) { r.readPointer(p, 0); },
               block = [](auto&r) { r.readBytes(b, 3); };
    const Read sub = [](auto&r) { r.startSubPacket(); }, integer = [](auto&r) { r.readInt(); };
    const RawPacket blockOf = RawPacket().u8(0x04), subOf = RawPacket().u8(0x08);
    RawPacket badShrm = imageRecord(0, kPixelSphericalHarmonics, 1, 1, 0);  // 5 coefficients
    badShrm.i32(10).i32(5).zeros(2904).u8(0x05).i32(0).i32(0);
    RawPacket repeatedId = imageRecord(0, 0, 1, 1, 0);
    repeatedId.u8(3).u8(0x06).i32(0).i32(0).i32(1).i32(1).u8(0).u8(4);
    return {
        {imageRecord(0, 9, 64, 64, 0).zeros(8).finished(), pointer, "does not fit"},  // 12 MB
        {imageRecord(0, 0, INT_MAX, INT_MAX, 0).finished(), pointer, "does not fit"},
        {imageRecord(0, 0, 5, 1, 0).zeros(4).finished(), pointer, "does not fit"},
        {imageRecord(0, 5, -1, 4, 0).zeros(16).finished(), pointer, "negative"},
        {imageRecord(0, 10, 1, 1, 0).zeros(16).finished(), pointer, "pixel type"},
        {imageRecord(0, -5, 1, 1, 0).zeros(16).finished(), pointer, "pixel type"},
        {imageRecord(0, 0, 1, 1, 4).zeros(1).finished(), pointer, "wrap"},
        {imageRecord(-1, 0, 2, 2, 0).zeros(4).finished(), pointer, "null image record"},
        {imageRecord(-2, 0, 1, 1, 0).zeros(1).finished(), pointer, "id"},
        {repeatedId.finished(), pointer, "id"},
        {badShrm.finished(), pointer, "coefficients"},
        {RawPacket(blockOf).u64(~0ull).zeros(3).finished(), block, "declares"},
        {RawPacket(blockOf).u64(1000).zeros(3).finished(), block, "declares"},
        {RawPacket(blockOf).u64(2).zeros(2).finished(), block, "found one of 2"},
        {RawPacket(subOf).u64(~0ull).u8(0x09).finished(), sub, "declares"},
        {RawPacket(subOf).u64(1ull << 63).u8(0x09).finished(), sub, "declares"},
        {RawPacket(subOf).u64(1).u8(0x09).finished(), sub, "declares"},  // one past the end
        {RawPacket(subOf).u64(1).u8(0x01).u8(0x01).finished(), sub, "should end"},
        // An inner sub-packet whose end tag would fall on its parent's.
        {RawPacket(subOf).u64(10).u8(0x08).u64(1).u8(0x09).u8(0x09).u8(0x09).finished(),
         [](auto& r) { r.startSubPacket(), r.startSubPacket(); }, "declares"},
        {RawPacket(subOf).u64(0).u8(0x09).u8(0x02).i32(1).finished(),
         [](auto& r) { r.startSubPacket(), r.readInt(); }, "end of the sub-packet"},
        {RawPacket().u8(0x09).finished(), [](auto& r) { r.endSubPacket(); }, "without an open"},
        {RawPacket().u8(0x05).i32(1).i32(-1).finished(), pointer, "kind"},
        {RawPacket().u8(0x05).i32(0).i32(-2).finished(), pointer, "id"},
        {RawPacket().u8(0x01).u8(2).finished(), [](auto& r) { r.readBool(); }, "holds 2"},
        {RawPacket().u8(0x00).i32(1).finished(), integer, "unknown tag 0x00"},
        {RawPacket().u8(0xFF).i32(1).finished(), integer, "unknown tag 0xFF"},
        {{}, integer, "shorter"},
        {oneIntWith(0, 'I', 15), integer, "shorter"},
        {oneIntWith(0, 'X'), integer, "magic"},
        {oneIntWith(4, 2), integer, "version 2"},
        {oneIntWith(8, 6), integer, "truncated"},  // body length past the end
        {oneIntWith(0, 'I', 22), integer, "overlong"},
    };
}

}  // namespace

// The byte layout, which files already written depend on: a tag, then a little-endian payload;
// a sub-packet holds its length. (The hostile files below pin the image record's layout.)
TEST(PacketLayout, ItemsAreLittleEndianAndTagged) {
    ioWriteContext writer("");
    writer.startSubPacket();
    writer.writeBool(true);
    writer.writeInt(-2);
    writer.endSubPacket();
    writer.writeDouble(1.0);
    writer.writePointer(nullptr, 0);
    RawPacket expected;
    expected.u8(0x08).u64(7).u8(0x01).u8(1).u8(0x02).i32(-2).u8(0x09);  // bool (2) + int (5)
    expected.u8(0x03).u64(0x3FF0000000000000ull).u8(0x05).i32(0).i32(-1);
    EXPECT_EQ(writer.getBytes(), expected.finished());
}

TEST(PacketRoundTrip, EveryItemKeepsEveryBit) {
    const SampleFile sample;
    ioReadContext reader(sample.bytes.data(), sample.bytes.size());
    EXPECT_TRUE(sample.readBack(reader)) << reader.getErrorMessage();
}

// Only a successful commit replaces the target, with exactly the bytes, and no temporary stays.
TEST(PacketFileOnDisk, OnlyACommitReplacesTheTarget) {
    const std::string folder = ::testing::TempDir() + "packet_" + std::to_string(getpid()),
                      target = folder + "/scene.pkt";
    std::filesystem::create_directories(folder);
    std::ofstream(target) << "old";
    auto contents = [&] {
        std::ifstream in(target, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    ioWriteContext(target.c_str()).writeInt(1);  // never committed
    ioWriteContext unbalanced(target.c_str()), writer(target.c_str());
    unbalanced.startSubPacket();
    EXPECT_FALSE(unbalanced.commit());
    EXPECT_EQ(contents(), "old");
    writer.writeInt(42);
    ASSERT_TRUE(writer.commit()) << writer.getErrorMessage();
    EXPECT_EQ(contents(), std::string(writer.getBytes().begin(), writer.getBytes().end()));
    EXPECT_EQ(ioReadContext(target.c_str()).readInt(), 42);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    std::filesystem::remove_all(folder);
}

// Every proper prefix fails, both as it is (the header's length no longer matches) and with a
// header that claims exactly the bytes present, which leaves the item checks to catch it; so
// does every flip of a header or item-tag byte. (Flips anywhere are the packet fuzzer's work.)
TEST(PacketCorruption, TruncatedFilesAndFlippedTagsFailCleanly) {
    const SampleFile sample;
    for (std::size_t at = 0; at < sample.bytes.size(); ++at) {
        std::vector<Bytes> broken(
            2, Bytes(sample.bytes.begin(), sample.bytes.begin() + std::ptrdiff_t(at)));
        if (at >= 16) setBodyLength(broken[1]);
        for (std::uint8_t mask : {0x01, 0x10, 0x80, 0xFF})
            if (at < 16 || std::count(sample.tagOffsets.begin(), sample.tagOffsets.end(), at)) {
                broken.push_back(sample.bytes);
                broken.back()[at] ^= mask;
            }
        for (const Bytes& bytes : broken) {
            ioReadContext reader(bytes.data(), bytes.size());
            const std::string what =
                "variant " + std::to_string(&bytes - &broken[0]) + " at " + std::to_string(at);
            EXPECT_FALSE(sample.readBack(reader)) << what;
            expectFailedAndNeutral(reader, what);
        }
    }
}

TEST(PacketCorruption, HostileValuesFailWithAMessageAndNoLargeAllocation) {
    for (const auto& [bytes, read, messagePart] : hostileCases()) {
        const std::string what = "file " + ::testing::PrintToString(bytes);
        allocationWatch::start();
        ioReadContext reader(bytes.data(), bytes.size());
        read(reader);
        allocationWatch::stop();
        // The files are a few kilobytes at most; nothing they declare may be allocated.
        EXPECT_LT(allocationWatch::largest(), 8192u) << what;
        EXPECT_NE(reader.getErrorMessage().find(messagePart), std::string::npos)
            << what << ": " << reader.getErrorMessage();
        expectFailedAndNeutral(reader, what);
    }
}
