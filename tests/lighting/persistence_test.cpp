// Saving and restoring the lighting state: round trips, and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "iximage/interfaces/packet_context.h"
#include "iximage/interfaces/packet_file.h"
#include "lighting_test_util.h"

namespace {

using ixImage::EnvironmentMap;
using ixImage::ImageBasedLighting;
using ixImage::Irradiance;

// What a lighting object stores, read back item by item from its own sub-packet.
struct Snapshot {
    Irradiance irradiance;
    std::vector<std::pair<int, ix::Reference<ixImage::Image>>> entries;
};

// Records the encoding's size after every int and pointer, where damage is aimed.
class BoundaryRecorder : public ioWriteContext {
public:
    BoundaryRecorder() : ioWriteContext("never-committed") {}
    void writePointer(const void* pointer, int kind) override {
        ioWriteContext::writePointer(pointer, kind);
        boundaries.insert(getBytes().size());
    }
    void writeInt(int value) override {
        ioWriteContext::writeInt(value);
        boundaries.insert(getBytes().size());
    }
    std::set<std::size_t> boundaries;
};

std::vector<std::uint8_t> encode(ImageBasedLighting& lighting,
                                 std::set<std::size_t>* boundaries = nullptr) {
    BoundaryRecorder context;
    lighting.writeSubPacket(context);
    EXPECT_TRUE(context.isOk()) << context.getErrorMessage();
    if (boundaries) *boundaries = context.boundaries;
    return context.getBytes();
}

Snapshot snapshot(ImageBasedLighting& lighting) {
    const std::vector<std::uint8_t> bytes = encode(lighting);
    ioReadContext context(bytes.data(), bytes.size());
    Snapshot s;
    context.startSubPacket();
    context.readBool();
    ixImage::packetFile::readIrradiance(context, s.irradiance);
    void* pointer = nullptr;
    context.readPointer(pointer, 0);
    const ix::Reference<ixImage::Image> probe = static_cast<ixImage::Image*>(pointer);
    for (int i = 0, n = context.readInt(); i < n && context.isOk(); ++i) {
        context.startSubPacket();
        const int key = context.readInt();
        pointer = nullptr;
        context.readPointer(pointer, 0);
        context.endSubPacket();
        s.entries.emplace_back(key, static_cast<ixImage::Image*>(pointer));
    }
    context.endSubPacket();
    EXPECT_TRUE(context.isOk()) << context.getErrorMessage();
    return s;
}

bool samePixels(const ixImage::Image* a, const ixImage::Image* b) {
    return a && b && a->getPixelType() == ixImage::kPixelFloat3 &&
           b->getPixelType() == ixImage::kPixelFloat3 && a->getWidth() == b->getWidth() &&
           a->getHeight() == b->getHeight() &&
           std::memcmp(
               static_cast<const ixImage::Float3Image*>(a)->data(),
               static_cast<const ixImage::Float3Image*>(b)->data(),
               size_t(a->getWidth()) * a->getHeight() * sizeof(ixImage::FloatPixel3<float>)) == 0;
}

// Reads bytes into an object, true when that failed. Whatever the file held, it has a probe when
// it claims one, and its cached maps are 200 x 100 float maps, one per key.
bool restore(ImageBasedLighting& restored, const std::vector<std::uint8_t>& bytes,
             const std::string& what) {
    ioReadContext context(bytes.data(), bytes.size());
    restored.readSubPacket(context);
    EXPECT_EQ(restored.haveUsableLightProbe(), restored.getReflectionMap() != nullptr) << what;
    const EnvironmentMap* map = restored.getReflectionMap();
    EXPECT_TRUE(!map || (map->getImage() && (map->getType() == EnvironmentMap::kLatLong ||
                                             map->getType() == EnvironmentMap::kCross)))
        << what;
    std::set<int> keys;
    for (const auto& entry : snapshot(restored).entries) {
        EXPECT_TRUE(keys.insert(entry.first).second) << what << ": key " << entry.first << " twice";
        const ixImage::Image* image = entry.second.get();
        EXPECT_TRUE(!image || (image->getWidth() == 200 && image->getHeight() == 100 &&
                               image->getPixelType() == ixImage::kPixelFloat3))
            << what << ": key " << entry.first;
    }
    return context.failed();
}

// One lit source with two built maps and one failed entry.
class Persistence : public ::testing::Test {
protected:
    void SetUp() override {
        ixTest::useProbe(source, probe.get());
        source.getIrradiance(sourceIrradiance, nullptr);
        sharpMap = source.getSpecularMap(sharp, nullptr);
        broadMap = source.getSpecularMap(broad, nullptr);
        source.getSpecularMap(ixTest::CountingPhong(3, true), nullptr);
    }
    ix::Reference<ixImage::Float3Image> probe = ixTest::makeProbe(200, ixTest::skyRadiance);
    ImageBasedLighting source;
    const ixImage::PhongReflectance sharp{64}, broad{4};
    EnvironmentMap *sharpMap = nullptr, *broadMap = nullptr;
    Irradiance sourceIrradiance;
};

TEST_F(Persistence, RoundTripsIntoFreshObjects) {
    ASSERT_TRUE(sharpMap && broadMap && !ixTest::isCleared(sourceIrradiance));
    ImageBasedLighting restored;
    EXPECT_FALSE(restore(restored, encode(source), "source"));
    ASSERT_TRUE(restored.haveUsableLightProbe());
    EXPECT_EQ(restored.getReflectionMap()->getType(), EnvironmentMap::kLatLong);
    EXPECT_TRUE(samePixels(restored.getReflectionMap()->getImage(), probe.get()));

    // Entries start used (a sweep keeps both), in ascending keys; the failed one is dropped.
    restored.deleteUnusedSpecularMaps();
    const Snapshot s = snapshot(restored);
    ASSERT_EQ(s.entries.size(), 2u);
    EXPECT_EQ(s.entries[0].first, std::min(sharp.getKey(), broad.getKey()));
    EXPECT_EQ(s.entries[1].first, std::max(sharp.getKey(), broad.getKey()));
    EXPECT_TRUE(ixTest::sameIrradiance(s.irradiance, sourceIrradiance));
    // The cache answers without building, with the source's pixels.
    EXPECT_TRUE(samePixels(ixTest::specularImage(restored, sharp), sharpMap->getImage()));
    EXPECT_TRUE(samePixels(ixTest::specularImage(restored, broad), broadMap->getImage()));

    // Light coefficients are not stored: they are recomputed on demand, from the same pixels.
    EXPECT_EQ(restored.getLightCoeffs(), nullptr);
    Irradiance recomputed;
    restored.getIrradiance(recomputed, nullptr);
    EXPECT_TRUE(ixTest::sameIrradiance(recomputed, sourceIrradiance));

    ImageBasedLighting empty, restoredEmpty;  // an object without a probe stays without one
    EXPECT_FALSE(restore(restoredEmpty, encode(empty), "empty"));
    EXPECT_FALSE(restoredEmpty.haveUsableLightProbe());
    restoredEmpty.getIrradiance(recomputed, nullptr);
    EXPECT_TRUE(ixTest::isCleared(recomputed));
}

// Every truncation fails, and truncated or flipped bytes (at and around item boundaries and in
// the header; cuts also through the pixels and the tail) leave consistent objects.
TEST_F(Persistence, DamagedFilesLeaveConsistentObjects) {
    std::set<std::size_t> boundaries, flips, cuts;
    const std::vector<std::uint8_t> bytes = encode(source, &boundaries);
    for (std::size_t b : boundaries)
        for (std::size_t o = b < 2 ? 0 : b - 2; o <= b + 2; ++o) flips.insert(o), cuts.insert(o);
    for (std::size_t o = 0; o < 160; ++o) {
        cuts.insert(o);
        if (o < 64) flips.insert(o);
    }
    for (std::size_t o = 0; o < bytes.size(); o += 7919) cuts.insert(o);
    for (std::size_t o = bytes.size() - 64; o < bytes.size(); ++o) cuts.insert(o);
    for (std::size_t length : cuts) {
        if (length >= bytes.size()) continue;
        ImageBasedLighting restored;
        EXPECT_TRUE(restore(restored, {bytes.begin(), bytes.begin() + long(length)},
                            "truncated to " + std::to_string(length)));
    }
    for (std::size_t offset : flips)
        for (int mask : {0xFF, 0x01}) {
            if (offset >= bytes.size() || (mask == 0x01 && offset >= 64)) continue;
            std::vector<std::uint8_t> damaged = bytes;
            damaged[offset] ^= std::uint8_t(mask);
            ImageBasedLighting restored;
            restore(restored, damaged,
                    "byte " + std::to_string(offset) + " ^ " + std::to_string(mask));
        }
}

}  // namespace
