#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "allocation_watch.h"
#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/packet_file.h"
#include "packet_test_support.h"

using namespace ixImage;
using packetTest::RawPacket;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A small file with one item of every kind (sub-packets three deep, one empty), and the offset
// of every item's tag.
struct SampleFile {
    Bytes bytes;
    std::vector<std::size_t> tagOffsets;
};

SampleFile makeSampleFile() {
    std::mt19937 rng(99);
    ix::Reference<Image> probe = packetTest::makeRandomImage(kPixelFloat3, 2, 3, true, false, rng);
    ix::Reference<Image> shrm =
        packetTest::makeRandomImage(kPixelSphericalHarmonics, 1, 1, false, false, rng);
    Irradiance irradiance;
    irradiance.blue.m[3][2] = 0.75;
    ioWriteContext w("");
    SampleFile sample;
    auto item = [&](const std::function<void()>& write) {
        sample.tagOffsets.push_back(w.getBytes().size());
        write();
    };
    item([&] { w.startSubPacket(); });
    item([&] { w.writeBool(true); });
    item([&] { w.writeInt(-7); });
    item([&] { w.writeDouble(0.5); });
    item([&] { w.writeBytes("abc", 3); });
    item([&] { packetFile::writeImage(w, probe.get()); });
    item([&] { w.writePointer(probe.get(), 0); });
    item([&] { packetFile::writeIrradiance(w, irradiance); });
    item([&] { w.startSubPacket(); });
    item([&] { w.writeInt(5); });
    item([&] { w.startSubPacket(); });
    item([&] { w.endSubPacket(); });
    item([&] { w.endSubPacket(); });
    item([&] { packetFile::writeImage(w, shrm.get()); });
    item([&] { w.writePointer(shrm.get(), 0); });
    item([&] { w.endSubPacket(); });
    sample.bytes = w.getBytes();
    return sample;
}

// Reads the sample's items in order; true when every value came back as written.
bool readSample(ioReadContext& reader) {
    bool ok = true;
    reader.startSubPacket();
    ok &= reader.readBool() == true;
    ok &= reader.readInt() == -7;
    ok &= reader.readDouble() == 0.5;
    char text[3];
    ok &= reader.readBytes(text, 3) && std::memcmp(text, "abc", 3) == 0;
    void* probe = nullptr;
    ok &= reader.readPointer(probe, 0) && probe != nullptr;
    Irradiance irradiance;
    ok &= packetFile::readIrradiance(reader, irradiance) && irradiance.blue.m[3][2] == 0.75;
    reader.startSubPacket();
    ok &= reader.readInt() == 5;
    reader.startSubPacket();
    reader.endSubPacket();
    reader.endSubPacket();
    void* shrm = nullptr;
    ok &= reader.readPointer(shrm, 0) && shrm != nullptr;
    reader.endSubPacket();
    return ok && reader.isOk();
}

// After a failure every read gives its neutral value.
void expectFailedAndNeutral(ioReadContext& reader, const std::string& what) {
    EXPECT_TRUE(reader.failed()) << what;
    EXPECT_NE(reader.getErrorMessage().find("byte"), std::string::npos)
        << what << ": message without an offset: " << reader.getErrorMessage();
    EXPECT_FALSE(reader.readBool()) << what;
    EXPECT_EQ(reader.readInt(), 0) << what;
    EXPECT_EQ(reader.readDouble(), 0.0) << what;
    void* pointer = &reader;
    EXPECT_FALSE(reader.readPointer(pointer, 0)) << what;
    EXPECT_EQ(pointer, nullptr) << what;
    char bytes[2] = {1, 1};
    EXPECT_FALSE(reader.readBytes(bytes, 2)) << what;
    EXPECT_EQ(bytes[0] | bytes[1], 0) << what;
    reader.startSubPacket();
    reader.endSubPacket();
    EXPECT_TRUE(reader.failed()) << what;
}

void setBodyLength(Bytes& bytes) {
    const std::uint64_t body = bytes.size() - 16;
    for (int i = 0; i < 8; ++i) bytes[8 + i] = static_cast<std::uint8_t>(body >> (8 * i));
}

}  // namespace

// Every proper prefix fails, both as it is (the header's length no longer matches) and with a
// header that claims exactly the bytes present, which leaves the item checks to catch it.
TEST(PacketCorruption, TruncationAtEveryOffsetFailsCleanly) {
    const SampleFile sample = makeSampleFile();
    {
        ioReadContext whole(sample.bytes.data(), sample.bytes.size());
        ASSERT_TRUE(readSample(whole)) << whole.getErrorMessage();
    }
    for (std::size_t size = 0; size < sample.bytes.size(); ++size) {
        Bytes prefix(sample.bytes.begin(), sample.bytes.begin() + size);
        for (bool consistent : {false, true}) {
            if (consistent && size < 16) continue;
            if (consistent) setBodyLength(prefix);
            const std::string what =
                (consistent ? "consistent prefix of " : "prefix of ") + std::to_string(size);
            ioReadContext reader(prefix.data(), prefix.size());
            EXPECT_FALSE(readSample(reader)) << what;
            expectFailedAndNeutral(reader, what);
        }
    }
}

// Flips anywhere never crash; flips in the header or in an item tag are always caught.
TEST(PacketCorruption, FlippedBytesNeverCrashAndTagFlipsAreCaught) {
    const SampleFile sample = makeSampleFile();
    std::vector<bool> structural(sample.bytes.size(), false);
    for (std::size_t i = 0; i < 16; ++i) structural[i] = true;
    for (std::size_t offset : sample.tagOffsets) structural[offset] = true;
    for (std::size_t offset = 0; offset < sample.bytes.size(); ++offset) {
        for (std::uint8_t mask : {0x01, 0x10, 0x80, 0xFF}) {
            Bytes bytes = sample.bytes;
            bytes[offset] ^= mask;
            ioReadContext reader(bytes.data(), bytes.size());
            const bool intact = readSample(reader);
            const std::string what =
                "flip " + std::to_string(mask) + " at byte " + std::to_string(offset);
            if (structural[offset]) {
                EXPECT_FALSE(intact) << what;
            }
            if (structural[offset] || reader.failed()) expectFailedAndNeutral(reader, what);
        }
    }
}

namespace {

struct HostileCase {
    const char* name;
    Bytes bytes;
    std::function<void(ioReadContext&)> read;
    const char* messagePart;
};

void readPointer(ioReadContext& reader) {
    void* pointer = nullptr;
    reader.readPointer(pointer, 0);
}

RawPacket imageRecord(std::int32_t id, std::int32_t type, std::int32_t width, std::int32_t height,
                      unsigned wrapFlags) {
    RawPacket packet;
    packet.u8(0x06).i32(id).i32(type).i32(width).i32(height).u8(wrapFlags);
    return packet;
}

// A well-formed file holding one int, with byte `index` set to `value` (or the size changed).
Bytes oneIntWith(std::size_t index, std::uint8_t value, std::size_t size = 21) {
    Bytes b = RawPacket().u8(0x02).i32(1).finished();
    b[index] = value;
    b.resize(size);
    return b;
}

std::vector<HostileCase> hostileCases() {
    auto readBlock = [](ioReadContext& r) {
        char b[3];
        r.readBytes(b, 3);
    };
    auto readSub = [](ioReadContext& r) { r.startSubPacket(); };
    auto readInteger = [](ioReadContext& r) { r.readInt(); };
    RawPacket badShrm = imageRecord(0, kPixelSphericalHarmonics, 1, 1, 0);
    badShrm.i32(10).i32(5).raw(2904, 0).u8(0x05).i32(0).i32(0);
    RawPacket repeatedId = imageRecord(0, 0, 1, 1, 0);
    repeatedId.u8(3).u8(0x06).i32(0).i32(0).i32(1).i32(1).u8(0).u8(4);
    const auto sub = [] { return RawPacket().u8(0x08); };
    return {
        {"huge reflection-map image", imageRecord(0, 9, 65536, 65536, 0).raw(8, 0).finished(),
         readPointer, "does not fit"},
        {"INT_MAX x INT_MAX mask", imageRecord(0, 0, INT_MAX, INT_MAX, 0).finished(), readPointer,
         "does not fit"},
        {"width one past the bytes", imageRecord(0, 0, 5, 1, 0).raw(4, 7).finished(), readPointer,
         "does not fit"},
        {"negative width", imageRecord(0, 5, -1, 4, 0).raw(16, 0).finished(), readPointer,
         "negative"},
        {"pixel type 10", imageRecord(0, 10, 1, 1, 0).raw(16, 0).finished(), readPointer,
         "pixel type"},
        {"pixel type -5", imageRecord(0, -5, 1, 1, 0).raw(16, 0).finished(), readPointer,
         "pixel type"},
        {"wrap flags 4", imageRecord(0, 0, 1, 1, 4).raw(1, 0).finished(), readPointer, "wrap"},
        {"null record with a size", imageRecord(-1, 0, 2, 2, 0).raw(4, 0).finished(), readPointer,
         "null image record"},
        {"image id -2", imageRecord(-2, 0, 1, 1, 0).raw(1, 0).finished(), readPointer, "id"},
        {"repeated image id", repeatedId.finished(), readPointer, "id"},
        {"reflection-map pixel with 5 coefficients", badShrm.finished(), readPointer,
         "coefficients"},
        {"byte block of 2^64 - 1 bytes", RawPacket().u8(0x04).u64(~0ull).raw(3, 0).finished(),
         readBlock, "declares"},
        {"byte block past the end", RawPacket().u8(0x04).u64(1000).raw(3, 0).finished(), readBlock,
         "declares"},
        {"byte block of another length", RawPacket().u8(0x04).u64(2).raw(2, 0).finished(),
         readBlock, "found one of 2"},
        {"sub-packet of 2^64 - 1 bytes", sub().u64(~0ull).u8(0x09).finished(), readSub, "declares"},
        {"sub-packet of 2^63 bytes", sub().u64(1ull << 63).u8(0x09).finished(), readSub,
         "declares"},
        {"sub-packet one past the end", sub().u64(1).u8(0x09).finished(), readSub, "declares"},
        {"sub-packet end tag missing", sub().u64(1).u8(0x01).u8(0x01).finished(), readSub,
         "should end"},
        // The inner end tag would fall on the outer one.
        {"sub-packet inside a shorter parent",
         sub().u64(10).u8(0x08).u64(1).u8(0x09).u8(0x09).u8(0x09).finished(),
         [](ioReadContext& r) {
             r.startSubPacket();
             r.startSubPacket();
         },
         "declares"},
        {"read past the sub-packet's end", sub().u64(0).u8(0x09).u8(0x02).i32(1).finished(),
         [](ioReadContext& r) {
             r.startSubPacket();
             r.readInt();
         },
         "end of the sub-packet"},
        {"end without start", RawPacket().u8(0x09).finished(),
         [](ioReadContext& r) { r.endSubPacket(); }, "without an open sub-packet"},
        {"pointer of kind 1", RawPacket().u8(0x05).i32(1).i32(-1).finished(), readPointer, "kind"},
        {"pointer id -2", RawPacket().u8(0x05).i32(0).i32(-2).finished(), readPointer, "id"},
        {"bool holding 2", RawPacket().u8(0x01).u8(2).finished(),
         [](ioReadContext& r) { r.readBool(); }, "holds 2"},
        {"tag 0", RawPacket().u8(0x00).i32(1).finished(), readInteger, "unknown tag 0x00"},
        {"tag 0xFF", RawPacket().u8(0xFF).i32(1).finished(), readInteger, "unknown tag 0xFF"},
        {"empty file", {}, readInteger, "shorter"},
        {"15-byte file", oneIntWith(0, 'I', 15), readInteger, "shorter"},
        {"wrong magic", oneIntWith(0, 'X'), readInteger, "magic"},
        {"version 2", oneIntWith(4, 2), readInteger, "version 2"},
        {"body length past the end", oneIntWith(8, 6), readInteger, "truncated"},
        {"trailing bytes", oneIntWith(0, 'I', 22), readInteger, "overlong"},
    };
}

}  // namespace

TEST(PacketCorruption, HostileValuesFailWithAMessageAndNoLargeAllocation) {
    for (const HostileCase& c : hostileCases()) {
        allocationWatch::start();
        {
            ioReadContext reader(c.bytes.data(), c.bytes.size());
            c.read(reader);
            allocationWatch::stop();
            EXPECT_NE(reader.getErrorMessage().find(c.messagePart), std::string::npos)
                << c.name << ": " << reader.getErrorMessage();
            expectFailedAndNeutral(reader, c.name);
        }
        allocationWatch::stop();
        // The files are a few kilobytes at most; nothing they declare may be allocated.
        EXPECT_LT(allocationWatch::largest(), 8192u) << c.name;
    }
}
