#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>

#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/packet_file.h"
#include "packet_test_support.h"

using namespace ixImage;
using packetTest::RawPacket;

namespace {

ix::Reference<Image> readImagePointer(ioReadContext& reader) {
    void* pointer = nullptr;
    EXPECT_TRUE(reader.readPointer(pointer, 0)) << reader.getErrorMessage();
    return ix::Reference<Image>(static_cast<Image*>(pointer));
}

std::uint64_t bitsOf(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

}  // namespace

// The byte layout of small packets, spelled out field by field.
TEST(PacketLayout, ItemsAreLittleEndianAndTagged) {
    ioWriteContext scalars("");
    scalars.startSubPacket();
    scalars.writeBool(true);
    scalars.writeInt(-2);
    scalars.endSubPacket();
    scalars.writeDouble(1.0);
    RawPacket expected;
    expected.u8(0x08).u64(7).u8(0x01).u8(1).u8(0x02).i32(-2).u8(0x09);  // bool (2) + int (5)
    expected.u8(0x03).u64(0x3FF0000000000000ull);
    EXPECT_EQ(scalars.getBytes(), expected.finished());

    ix::Reference<Float3Image> image(new Float3Image());
    image->setSize(1, 1);
    image->setWrap(false, true);
    image->at(0, 0) = FloatPixel3<float>(1.0f, -2.0f, 0.5f);
    ioWriteContext record("");
    packetFile::writeImage(record, image.get());
    record.writePointer(image.get(), 0);
    RawPacket expectedRecord;  // tag, id, type, width, height, wrap flags, pixels, reference
    expectedRecord.u8(0x06).i32(0).i32(kPixelFloat3).i32(1).i32(1).u8(2);
    expectedRecord.u32(0x3F800000).u32(0xC0000000).u32(0x3F000000).u8(0x05).i32(0).i32(0);
    EXPECT_EQ(record.getBytes(), expectedRecord.finished());
}

TEST(PacketRoundTrip, ScalarsBlocksAndIrradianceKeepEveryBit) {
    const int ints[] = {0, 1, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
    const double doubles[] = {0.0,
                              -0.0,
                              1.0 / 3.0,
                              std::numeric_limits<double>::infinity(),
                              -1e308,
                              std::numeric_limits<double>::denorm_min(),
                              std::numeric_limits<double>::quiet_NaN()};
    const std::uint8_t block[] = {0, 255, 9, 8, 7};
    Irradiance irradiance;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            irradiance.red.m[r][c] = r + 0.25 * c;
            irradiance.green.m[r][c] = -r * c - 1e-300;
            irradiance.blue.m[r][c] = std::ldexp(1.0, r * 4 + c - 1000);
        }
    ioWriteContext writer("");
    for (int v : ints) writer.writeInt(v);
    for (double v : doubles) writer.writeDouble(v);
    writer.writeBool(false);
    writer.writeBool(true);
    writer.writeBytes(block, sizeof(block));
    writer.writeBytes(nullptr, 0);
    packetFile::writeIrradiance(writer, irradiance);

    ioReadContext reader(writer.getBytes().data(), writer.getBytes().size());
    for (int v : ints) EXPECT_EQ(reader.readInt(), v);
    for (double v : doubles) EXPECT_EQ(bitsOf(reader.readDouble()), bitsOf(v)) << v;
    EXPECT_FALSE(reader.readBool());
    EXPECT_TRUE(reader.readBool());
    std::uint8_t back[sizeof(block)] = {};
    EXPECT_TRUE(reader.readBytes(back, sizeof(back)));
    EXPECT_EQ(std::memcmp(back, block, sizeof(block)), 0);
    EXPECT_TRUE(reader.readBytes(nullptr, 0));
    Irradiance irradianceBack;
    EXPECT_TRUE(packetFile::readIrradiance(reader, irradianceBack));
    EXPECT_EQ(std::memcmp(&irradianceBack, &irradiance, sizeof(irradiance)), 0);
    EXPECT_TRUE(reader.isOk()) << reader.getErrorMessage();
}

TEST(PacketRoundTrip, EveryPixelTypeWithOddSizesAndWrapFlags) {
    struct Shape {
        int width, height;
        bool wrapH, wrapV;
    };
    const Shape shapes[] = {{1, 1, false, false}, {3, 5, true, false},  {7, 2, false, true},
                            {2, 3, true, true},   {0, 0, false, false}, {4, 0, true, false}};
    std::mt19937 rng(12345);
    for (PixelTypeId tag : packetTest::kAllPixelTypes) {
        std::vector<ix::Reference<Image>> originals;
        ioWriteContext writer("");
        for (const Shape& s : shapes) {
            originals.push_back(
                packetTest::makeRandomImage(tag, s.width, s.height, s.wrapH, s.wrapV, rng));
            packetFile::writeImage(writer, originals.back().get());
            writer.writePointer(originals.back().get(), 0);
        }
        ASSERT_TRUE(writer.isOk()) << writer.getErrorMessage();
        ioReadContext reader(writer.getBytes().data(), writer.getBytes().size());
        for (const ix::Reference<Image>& original : originals) {
            ix::Reference<Image> restored = readImagePointer(reader);
            const std::string what = "tag " + std::to_string(tag) + " size " +
                                     std::to_string(original->getWidth()) + "x" +
                                     std::to_string(original->getHeight());
            ASSERT_TRUE(restored) << what << ": " << reader.getErrorMessage();
            EXPECT_NE(restored.get(), original.get()) << what;
            EXPECT_EQ(restored->getPixelType(), tag) << what;
            EXPECT_EQ(restored->getWidth(), original->getWidth()) << what;
            EXPECT_EQ(restored->getHeight(), original->getHeight()) << what;
            EXPECT_EQ(restored->getWrapHorizontal(), original->getWrapHorizontal()) << what;
            EXPECT_EQ(restored->getWrapVertical(), original->getWrapVertical()) << what;
            EXPECT_TRUE(packetTest::samePixelBytes(*restored, *original)) << what;
        }
        EXPECT_TRUE(reader.isOk()) << reader.getErrorMessage();
    }
}

TEST(PacketPointers, OneRecordReferencedTwiceNullAndNeverWritten) {
    std::mt19937 rng(3);
    ix::Reference<Image> written = packetTest::makeRandomImage(kPixelByte4, 3, 2, true, false, rng);
    ix::Reference<Image> neverWritten =
        packetTest::makeRandomImage(kPixelByte4, 1, 1, false, false, rng);
    ioWriteContext writer("");
    packetFile::writeImage(writer, written.get());
    packetFile::writeImage(writer, nullptr);  // a null record is read over silently
    writer.writePointer(written.get(), 0);
    writer.writePointer(nullptr, 0);
    writer.writeInt(99);
    writer.writePointer(written.get(), 0);
    writer.writePointer(neverWritten.get(), 0);

    ix::Reference<Image> first, second;
    {
        ioReadContext reader(writer.getBytes().data(), writer.getBytes().size());
        first = readImagePointer(reader);
        EXPECT_FALSE(readImagePointer(reader));
        EXPECT_EQ(reader.readInt(), 99);
        second = readImagePointer(reader);
        EXPECT_FALSE(readImagePointer(reader));
        EXPECT_TRUE(reader.isOk()) << reader.getErrorMessage();
    }
    // The caller's references keep the restored image alive after the context is gone.
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(first->getRefCount(), 2);
    EXPECT_TRUE(packetTest::samePixelBytes(*first, *written));
}

// ---- Atomic writes to disk ----

namespace {

class PacketFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder = std::filesystem::path(::testing::TempDir()) /
                 ("packet_" + test + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        target = (folder / "scene.pkt").string();
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::vector<std::string> folderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        return names;
    }
    std::vector<std::uint8_t> targetBytes() const {
        std::ifstream in(target, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path folder;
    std::string target;
};

}  // namespace

// Only a successful commit replaces the target, with exactly the bytes, and no temporary stays.
TEST_F(PacketFileOnDisk, OnlyACommitReplacesTheTarget) {
    {
        ioWriteContext neverCommitted(target.c_str());
        neverCommitted.writeInt(1);
    }
    EXPECT_TRUE(folderEntries().empty());
    std::ofstream(target) << "old";
    {
        ioWriteContext unbalanced(target.c_str());
        unbalanced.startSubPacket();
        EXPECT_FALSE(unbalanced.commit());
        ioWriteContext neverCommitted(target.c_str());
        neverCommitted.writeInt(1);
    }
    EXPECT_EQ(targetBytes(), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"scene.pkt"});

    ioWriteContext writer(target.c_str());
    writer.writeInt(42);
    ASSERT_TRUE(writer.commit()) << writer.getErrorMessage();
    EXPECT_EQ(targetBytes(), writer.getBytes());
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"scene.pkt"});
    ioReadContext reader(target.c_str());
    EXPECT_EQ(reader.readInt(), 42);
    EXPECT_TRUE(reader.isOk()) << reader.getErrorMessage();
}
