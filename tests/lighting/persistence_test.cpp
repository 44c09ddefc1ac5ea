// Saving and restoring the lighting state: round trips into fresh and populated objects, and
// damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "iximage/interfaces/packet_context.h"
#include "iximage/interfaces/packet_file.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/phong_reflectance.h"
#include "lighting_test_util.h"

namespace {

using ixImage::EnvironmentMap;
using ixImage::Float3Image;
using ixImage::ImageBasedLighting;
using ixImage::Irradiance;

// What a lighting object stores, read back item by item from its own sub-packet. Only the
// images themselves are compared, never the object's internals.
struct Snapshot {
    bool usable = false;
    Irradiance irradiance;
    ix::Reference<ixImage::Image> probe;
    std::vector<std::pair<int, ix::Reference<ixImage::Image>>> entries;
};

std::vector<std::uint8_t> encode(ImageBasedLighting& lighting) {
    ioWriteContext context("never-committed");
    lighting.writeSubPacket(context);
    EXPECT_TRUE(context.isOk()) << context.getErrorMessage();
    return context.getBytes();
}

Snapshot snapshot(ImageBasedLighting& lighting) {
    const std::vector<std::uint8_t> bytes = encode(lighting);
    ioReadContext context(bytes.data(), bytes.size());
    Snapshot s;
    context.startSubPacket();
    s.usable = context.readBool();
    ixImage::packetFile::readIrradiance(context, s.irradiance);
    void* pointer = nullptr;
    context.readPointer(pointer, 0);
    s.probe = static_cast<ixImage::Image*>(pointer);
    const int n = context.readInt();
    for (int i = 0; i < n && context.isOk(); ++i) {
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
    if (a == nullptr || b == nullptr) return a == b;
    if (a->getPixelType() != ixImage::kPixelFloat3 || b->getPixelType() != ixImage::kPixelFloat3 ||
        a->getWidth() != b->getWidth() || a->getHeight() != b->getHeight())
        return false;
    const auto* pa = static_cast<const Float3Image*>(a)->data();
    const auto* pb = static_cast<const Float3Image*>(b)->data();
    for (int i = 0; i < a->getWidth() * a->getHeight(); ++i)
        if (pa[i].red != pb[i].red || pa[i].green != pb[i].green || pa[i].blue != pb[i].blue)
            return false;
    return true;
}

void readInto(ImageBasedLighting& lighting, const std::vector<std::uint8_t>& bytes) {
    ioReadContext context(bytes.data(), bytes.size());
    lighting.readSubPacket(context);
    EXPECT_TRUE(context.isOk()) << context.getErrorMessage();
}

// The invariants every restored object keeps, whatever the file held: it claims a probe
// exactly when it has one, and every cached map is a 200 x 100 latitude-longitude map.
void expectConsistent(ImageBasedLighting& lighting, const std::string& what) {
    EXPECT_EQ(lighting.haveUsableLightProbe(), lighting.getReflectionMap() != nullptr) << what;
    if (EnvironmentMap* map = lighting.getReflectionMap()) {
        EXPECT_TRUE(map->getType() == EnvironmentMap::kLatLong ||
                    map->getType() == EnvironmentMap::kCross)
            << what;
        ASSERT_NE(map->getImage(), nullptr) << what;
    }
    const Snapshot s = snapshot(lighting);
    std::set<int> keys;
    for (const auto& entry : s.entries) {
        EXPECT_TRUE(keys.insert(entry.first).second) << what << ": key " << entry.first << " twice";
        if (!entry.second) continue;
        EXPECT_EQ(entry.second->getWidth(), 200) << what << ": key " << entry.first;
        EXPECT_EQ(entry.second->getHeight(), 100) << what << ": key " << entry.first;
        EXPECT_EQ(entry.second->getPixelType(), ixImage::kPixelFloat3)
            << what << ": key " << entry.first;
    }
}

// One lit source with two built maps and one failed entry, built once for the whole suite.
class Persistence : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ImageBasedLighting::setRotationMatrixFilename(ixOS::Filename(ixTest::rotationMatrixFile()));
        probe = ixTest::makeLatLongProbe(200, 100, ixTest::skyRadiance);
        source = new ImageBasedLighting;
        ixUtil::Error error;
        source->setLightProbe(probe.get(), error);
        source->getIrradiance(sourceIrradiance, nullptr);
        sharpMap = source->getSpecularMap(sharp, nullptr);
        broadMap = source->getSpecularMap(broad, nullptr);
        source->getSpecularMap(ixTest::NoGreenReflectance(kFailedKey), nullptr);
        sourceBytes = encode(*source);
    }
    static void TearDownTestSuite() {
        delete source;
        probe = nullptr;
    }

    static constexpr int kFailedKey = -3;
    static inline ix::Reference<Float3Image> probe;
    static inline ImageBasedLighting* source = nullptr;
    static inline const ixImage::PhongReflectance sharp{64}, broad{4};
    static inline EnvironmentMap *sharpMap = nullptr, *broadMap = nullptr;
    static inline Irradiance sourceIrradiance;
    static inline std::vector<std::uint8_t> sourceBytes;
};

TEST_F(Persistence, ObjectWithoutProbeRestoresWithoutProbe) {
    ImageBasedLighting empty;
    const Snapshot stored = snapshot(empty);
    EXPECT_FALSE(stored.usable);
    EXPECT_TRUE(ixTest::isCleared(stored.irradiance));
    EXPECT_FALSE(stored.probe);
    EXPECT_TRUE(stored.entries.empty());

    ImageBasedLighting restored;
    readInto(restored, encode(empty));
    EXPECT_FALSE(restored.haveUsableLightProbe());
    EXPECT_EQ(restored.getReflectionMap(), nullptr);
    Irradiance irradiance;
    restored.getIrradiance(irradiance, nullptr);
    EXPECT_TRUE(ixTest::isCleared(irradiance));
}

TEST_F(Persistence, RoundTripIntoFreshObject) {
    ASSERT_TRUE(sharpMap && broadMap && !ixTest::isCleared(sourceIrradiance));
    ImageBasedLighting restored;
    readInto(restored, sourceBytes);
    ASSERT_TRUE(restored.haveUsableLightProbe());
    ASSERT_NE(restored.getReflectionMap(), nullptr);
    EXPECT_EQ(restored.getReflectionMap()->getType(), EnvironmentMap::kLatLong);
    EXPECT_TRUE(samePixels(restored.getReflectionMap()->getImage(), probe.get()));

    // Entries start used (a sweep keeps both), in ascending keys; the failed one is dropped.
    restored.deleteUnusedSpecularMaps();
    const Snapshot s = snapshot(restored);
    ASSERT_EQ(s.entries.size(), 2u);
    EXPECT_EQ(s.entries[0].first, std::min(sharp.getKey(), broad.getKey()));
    EXPECT_EQ(s.entries[1].first, std::max(sharp.getKey(), broad.getKey()));
    EXPECT_TRUE(ixTest::sameIrradiance(s.irradiance, sourceIrradiance));
    // The cache answers without building, with latitude-longitude maps of the source's pixels.
    EnvironmentMap* sharpRestored = restored.getSpecularMap(sharp, nullptr);
    EnvironmentMap* broadRestored = restored.getSpecularMap(broad, nullptr);
    ASSERT_TRUE(sharpRestored && broadRestored);
    EXPECT_EQ(sharpRestored->getType(), EnvironmentMap::kLatLong);
    EXPECT_TRUE(samePixels(sharpRestored->getImage(), sharpMap->getImage()));
    EXPECT_TRUE(samePixels(broadRestored->getImage(), broadMap->getImage()));

    // Light coefficients are not stored: they are recomputed on demand, from the same pixels.
    EXPECT_EQ(restored.getLightCoeffs(), nullptr);
    Irradiance recomputed;
    restored.getIrradiance(recomputed, nullptr);
    ASSERT_NE(restored.getLightCoeffs(), nullptr);
    EXPECT_TRUE(ixTest::sameIrradiance(recomputed, sourceIrradiance));
}

// Records the size of the encoding after every item, so damage can aim at item boundaries.
class BoundaryRecorder : public ioWriteContext {
public:
    BoundaryRecorder() : ioWriteContext("never-committed") {}
    void writePointer(const void* pointer, int kind) override {
        ioWriteContext::writePointer(pointer, kind);
        boundaries.push_back(getBytes().size());
    }
    void writeBool(bool value) override {
        ioWriteContext::writeBool(value);
        boundaries.push_back(getBytes().size());
    }
    void writeInt(int value) override {
        ioWriteContext::writeInt(value);
        boundaries.push_back(getBytes().size());
    }
    std::vector<std::size_t> boundaries;
};

// Offsets at and around item boundaries and in the file header; truncation also gets a stride
// through the image data and the tail. (Flips inside pixel data change nothing structural.)
std::vector<std::size_t> damageOffsets(ImageBasedLighting& lighting, std::size_t size,
                                       bool throughData) {
    BoundaryRecorder recorder;
    lighting.writeSubPacket(recorder);
    std::set<std::size_t> offsets;
    for (std::size_t b : recorder.boundaries)
        for (std::size_t delta = 0; delta < 3; ++delta) {
            if (b >= delta) offsets.insert(b - delta);
            offsets.insert(b + delta);
        }
    for (std::size_t o = 0; o < (throughData ? 160 : 64); ++o) offsets.insert(o);
    for (std::size_t o = 0; throughData && o < size; o += 7919) offsets.insert(o);
    for (std::size_t o = size > 64 ? size - 64 : 0; throughData && o < size; ++o) offsets.insert(o);
    std::vector<std::size_t> result;
    for (std::size_t o : offsets)
        if (o < size) result.push_back(o);
    return result;
}

// Every truncation fails; truncations and flipped bytes alike leave consistent objects.
TEST_F(Persistence, DamagedFilesLeaveConsistentObjects) {
    auto restore = [](const std::vector<std::uint8_t>& bytes, const std::string& what) {
        ImageBasedLighting restored;
        ioReadContext context(bytes.data(), bytes.size());
        restored.readSubPacket(context);
        expectConsistent(restored, what);
        return context.failed();
    };
    const std::vector<std::size_t> lengths = damageOffsets(*source, sourceBytes.size(), true);
    ASSERT_GT(lengths.size(), 200u);
    for (std::size_t length : lengths)
        EXPECT_TRUE(restore({sourceBytes.begin(), sourceBytes.begin() + length},
                            "truncated to " + std::to_string(length)))
            << "truncated to " << length << " of " << sourceBytes.size();

    const std::vector<std::size_t> offsets = damageOffsets(*source, sourceBytes.size(), false);
    ASSERT_GT(offsets.size(), 100u);
    for (std::size_t offset : offsets)
        for (int mask : {0xFF, 0x01}) {
            if (mask == 0x01 && offset >= 64) continue;  // low-bit flips only in the header
            std::vector<std::uint8_t> damaged = sourceBytes;
            damaged[offset] ^= std::uint8_t(mask);
            restore(damaged, "byte " + std::to_string(offset) + " ^ " + std::to_string(mask));
        }
}

}  // namespace
