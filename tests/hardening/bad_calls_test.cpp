// Every exported entry point fed the bad inputs its contract names: mismatched pixel types and
// sizes, undefined pixel-type tags, empty images, windows that do not fit, refused probes and
// missing files. Each case states the silent outcome it expects (untouched result, null,
// false, zeros) and checks it; run under the sanitizers, a case also proves the call reads and
// writes nothing it should not.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/filtered_remap.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/recognize_remap.h"
#include "iximage/envmap/sphere_map.h"
#include "iximage/image/arithmetic.h"
#include "iximage/image/blur.h"
#include "iximage/image/convert_copy.h"
#include "iximage/image/flip_min_max.h"
#include "iximage/image/image_pack.h"
#include "iximage/image/interpolate.h"
#include "iximage/image/resize.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/array_n.h"
#include "iximage/interfaces/packing.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/phong_reflectance.h"
#include "iximage/mask/mask_boundaries.h"
#include "iximage/sh/reflection_map.h"
#include "iximage/sh/rotation_matrices.h"
#include "iximage/tonemap/tone_map.h"

namespace {

using namespace ixImage;
using Mask = TypedImage<unsigned char>;

constexpr PixelTypeId kUndefinedTag = static_cast<PixelTypeId>(42);

// An image whose tag names no pixel type of the library: 4 bytes a pixel, so every operation's
// default branch is reached with real pixels behind it.
class ForeignImage : public Image {
public:
    ForeignImage() : Image(kUndefinedTag) {}
    int pixelSize() const override { return 4; }
    int memorySize() const override { return int(sizeof(*this) + store.size() * 4); }
    Image* newEmpty() const override { return new ForeignImage(); }
    Image* duplicate() const override {
        auto* copy = new ForeignImage();
        copy->setSize(width, height);
        copy->store = store;
        return copy;
    }
    void setSize(int w, int h) override {
        width = w;
        height = h;
        // Like TypedImage, an unchanged pixel count keeps the buffer and its contents.
        store.resize(w > 0 && h > 0 ? std::size_t(w) * std::size_t(h) : 0u);
    }
    void* pixels() override { return store.empty() ? nullptr : store.data(); }
    const void* pixels() const override { return store.empty() ? nullptr : store.data(); }

private:
    std::vector<std::uint32_t> store;
};

std::size_t byteCount(const Image& image) {
    if (!image.pixels() || image.getWidth() < 1 || image.getHeight() < 1) return 0;
    return std::size_t(image.getWidth()) * std::size_t(image.getHeight()) *
           std::size_t(image.pixelSize());
}

// An image of the tag (or a ForeignImage for kUndefinedTag) of w x h with a byte pattern that no
// operation would write by chance.
ix::Reference<Image> patterned(PixelTypeId type, int w, int h, int seed = 0) {
    // Reflection-map pixels are made by the reflection-map builder, not by imageCreateByType.
    ix::Reference<Image> image(type == kUndefinedTag              ? new ForeignImage()
                               : type == kPixelSphericalHarmonics ? new ShrmImage()
                                                                  : imageCreateByType(type));
    image->setSize(w, h);
    auto* bytes = static_cast<std::uint8_t*>(image->pixels());
    for (std::size_t i = 0; i < byteCount(*image); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 37 + 11 + seed);
    return image;
}

// A patterned mask of zeros (no pixel is inside).
ix::Reference<Image> emptyMask(int w, int h) {
    ix::Reference<Image> mask = patterned(kPixelUnsignedChar, w, h);
    if (mask->pixels()) std::memset(mask->pixels(), 0, byteCount(*mask));
    return mask;
}

// Everything observable about an image: tag, size, wrap flags, buffer identity and bytes.
struct Snapshot {
    explicit Snapshot(const Image& image)
        : shape{image.getPixelType(), image.getWidth(), image.getHeight(),
                image.getWrapHorizontal(), image.getWrapVertical()},
          pixels(image.pixels()) {
        if (const auto* first = static_cast<const std::uint8_t*>(image.pixels()))
            bytes.assign(first, first + byteCount(image));
    }
    std::vector<int> shape;
    const void* pixels;
    std::vector<std::uint8_t> bytes;
};

::testing::AssertionResult unchanged(const Snapshot& before, const Image& image) {
    const Snapshot after(image);
    if (before.shape != after.shape || before.pixels != after.pixels)
        return ::testing::AssertionFailure()
               << "image changed shape or buffer: now tag " << after.shape[0] << ", "
               << after.shape[1] << "x" << after.shape[2] << ", pixels " << after.pixels;
    if (before.bytes != after.bytes) return ::testing::AssertionFailure() << "pixel bytes changed";
    return ::testing::AssertionSuccess();
}

// Runs the call and reports whether it left the image exactly as it was.
template <class Call>
::testing::AssertionResult untouchedBy(const Image& image, Call call) {
    const Snapshot before(image);
    call();
    return unchanged(before, image);
}

const PixelTypeId kEveryTag[] = {
    kPixelUnsignedChar, kPixelByte4,  kPixelUnsignedInt, kPixelInt4,    kPixelHalf4,
    kPixelFloat,        kPixelFloat3, kPixelFloat4,      kPixelDouble3, kPixelSphericalHarmonics,
    kUndefinedTag};

}  // namespace

TEST(BadCalls, CreateByTypeUndefinedTags) {
    for (int tag : {-1, 10, 42, INT_MAX})
        EXPECT_EQ(imageCreateByType(static_cast<PixelTypeId>(tag)), nullptr) << "tag " << tag;
}

TEST(BadCalls, ArithmeticMismatchedUnsupportedOrEmpty) {
    using BinaryOp = void (*)(const Image&, const Image&, Image&);
    const std::pair<const char*, BinaryOp> ops[] = {{"imageAdd", imageAdd},
                                                    {"imageSub", imageSub},
                                                    {"imageMult", imageMult},
                                                    {"imageDiv", imageDiv}};
    for (const auto& entry : ops) {
        const char* name = entry.first;
        const BinaryOp op = entry.second;
        auto a = patterned(kPixelFloat3, 3, 2), b = patterned(kPixelFloat3, 2, 2);
        auto result = patterned(kPixelFloat3, 3, 2, 5);  // already a's size: kept as is
        EXPECT_TRUE(untouchedBy(*result, [&] { op(*a, *b, *result); })) << name << ", sizes";
        auto small = patterned(kPixelFloat3, 1, 1);
        op(*a, *b, *small);
        EXPECT_TRUE(small->getWidth() == 3 && small->getHeight() == 2) << name;
        auto float4 = patterned(kPixelFloat4, 3, 2);
        EXPECT_TRUE(untouchedBy(*result, [&] { op(*a, *float4, *result); })) << name << ", tags";
        // Tags without a kernel (imageDiv also divides 8-bit masks).
        for (PixelTypeId tag : kEveryTag) {
            if (tag == kPixelHalf4 || tag == kPixelFloat3 || tag == kPixelFloat4 ||
                (tag == kPixelUnsignedChar && op == imageDiv))
                continue;
            auto x = patterned(tag, 3, 2), y = patterned(tag, 3, 2, 1), r = patterned(tag, 3, 2, 9);
            EXPECT_TRUE(untouchedBy(*r, [&] { op(*x, *y, *r); })) << name << " tag " << tag;
        }
        auto e1 = patterned(kPixelFloat3, 0, 0), e2 = patterned(kPixelFloat3, 0, 0);
        auto e3 = patterned(kPixelFloat3, 0, 0);
        op(*e1, *e2, *e3);
        EXPECT_TRUE(e3->getWidth() == 0 && e3->pixels() == nullptr) << name << ", empty";
    }
}

TEST(BadCalls, AverageUnsupportedOrEmpty) {
    std::vector<ix::Reference<Image>> images;
    for (PixelTypeId tag :
         {kPixelUnsignedInt, kPixelInt4, kPixelDouble3, kPixelSphericalHarmonics, kUndefinedTag})
        images.push_back(patterned(tag, 3, 2));
    for (PixelTypeId tag : {kPixelUnsignedChar, kPixelFloat3, kPixelHalf4})
        images.push_back(patterned(tag, 0, 0));
    for (const auto& image : images) {
        const FloatPixel4<float> mean = imageAverage(*image);
        EXPECT_TRUE(mean.red == 0 && mean.green == 0 && mean.blue == 0 && mean.alpha == 0)
            << "tag " << image->getPixelType() << " " << image->getWidth() << "x"
            << image->getHeight();
    }
}

TEST(BadCalls, CopiesThatDoNotFit) {
    const std::pair<int, int> windows[] = {{2, 2},
                                           {-1, 0},
                                           {0, -1},
                                           {INT_MAX, 0},
                                           {0, INT_MAX},
                                           {INT_MIN, INT_MIN},
                                           {INT_MAX - 1, INT_MAX - 1}};
    for (const auto& window : windows) {
        const int x = window.first, y = window.second;
        auto small = patterned(kPixelFloat3, 2, 2), large = patterned(kPixelFloat3, 3, 3, 3);
        EXPECT_TRUE(untouchedBy(*large, [&] { imageCopyIn(*small, *large, x, y); }))
            << "imageCopyIn at " << x << "," << y;
        EXPECT_TRUE(untouchedBy(*small, [&] { imageCopyOut(*large, *small, x, y); }))
            << "imageCopyOut at " << x << "," << y;
    }
    // Different pixel types, an empty source, a target without pixels.
    auto float3 = patterned(kPixelFloat3, 2, 2), float4 = patterned(kPixelFloat4, 4, 4);
    auto empty = patterned(kPixelFloat4, 0, 0);
    EXPECT_TRUE(untouchedBy(*float4, [&] {
        imageCopyIn(*float3, *float4, 0, 0);
        imageCopyIn(*empty, *float4, 0, 0);
        imageCopyOut(*float3, *float4, 0, 0);
    }));
    EXPECT_TRUE(untouchedBy(*empty, [&] {
        imageCopyIn(*float4, *empty, 0, 0);
        imageCopyOut(*float4, *empty, 0, 0);
    }));
}

TEST(BadCalls, ConvertToTypeRefusals) {
    ix::Reference<Image> none;
    EXPECT_FALSE(convertToType(none, kPixelUnsignedChar));
    EXPECT_EQ(none.get(), nullptr);
    struct Refusal {
        PixelTypeId from;
        int w, h;
        PixelTypeId to;
    };
    const Refusal refusals[] = {
        {kPixelFloat, 0, 0, kPixelUnsignedChar},   {kPixelFloat3, 2, 2, kUndefinedTag},
        {kPixelFloat3, 2, 2, kPixelHalf4},         {kPixelByte4, 2, 2, kPixelFloat4},
        {kUndefinedTag, 2, 2, kPixelUnsignedChar}, {kPixelSphericalHarmonics, 1, 1, kPixelFloat3}};
    for (const Refusal& r : refusals) {
        ix::Reference<Image> image = patterned(r.from, r.w, r.h);
        Image* original = image.get();
        EXPECT_TRUE(untouchedBy(
            *image, [&] { EXPECT_FALSE(convertToType(image, r.to)) << r.from << " -> " << r.to; }))
            << r.from << " -> " << r.to;
        EXPECT_EQ(image.get(), original) << r.from << " -> " << r.to;
    }
}

TEST(BadCalls, BlurRefusalsEmptySourceAndNonPositiveDiameter) {
    auto src = patterned(kPixelFloat3, 4, 4), dst = patterned(kPixelFloat4, 4, 4, 2);
    EXPECT_TRUE(untouchedBy(*dst, [&] { imageBlur(*src, *dst, 3, true, false); }))
        << "float3 into float4";
    for (PixelTypeId tag : {kPixelUnsignedInt, kPixelInt4, kPixelFloat4, kPixelDouble3,
                            kPixelSphericalHarmonics, kUndefinedTag}) {
        auto from = patterned(tag, 3, 2), into = patterned(tag, 3, 2, 4);
        EXPECT_TRUE(untouchedBy(*into, [&] { imageBlur(*from, *into, 5, false, true); }))
            << "tag " << tag;
    }
    auto empty = patterned(kPixelFloat3, 0, 0), sized = patterned(kPixelFloat3, 2, 2);
    imageBlur(*empty, *sized, 4, true, true);
    EXPECT_TRUE(sized->getWidth() == 0 && sized->getHeight() == 0);
    // Diameters at or below 0 leave every integer pixel exactly as it was.
    for (PixelTypeId tag : {kPixelUnsignedChar, kPixelByte4})
        for (int diameter : {0, -1, INT_MIN}) {
            auto from = patterned(tag, 5, 4), out = patterned(tag, 0, 0);
            imageBlur(*from, *out, diameter, true, true);
            ASSERT_EQ(out->getWidth(), 5);
            EXPECT_EQ(Snapshot(*out).bytes, Snapshot(*from).bytes)
                << "tag " << tag << " diameter " << diameter;
        }
}

TEST(BadCalls, ResizeRefusalsAndDegenerateSizes) {
    for (PixelTypeId tag : {kPixelUnsignedChar, kPixelUnsignedInt, kPixelInt4, kPixelDouble3,
                            kPixelSphericalHarmonics, kUndefinedTag})
        EXPECT_EQ(resize(*patterned(tag, 4, 2), 2, 1, true), nullptr) << "tag " << tag;
    EXPECT_EQ(resize(*patterned(kPixelFloat3, 0, 0), 2, 1, false), nullptr);
    auto src = patterned(kPixelFloat3, 4, 2);
    for (int side : {0, -3}) {
        ix::Reference<Image> out(resize(*src, side, 3, true));
        ASSERT_NE(out.get(), nullptr) << "width " << side;
        EXPECT_TRUE(out->getWidth() == side && out->getHeight() == 3 && !out->pixels()) << side;
    }
    const int filterCases[][4] = {{8, 4, 0, 2}, {8, 4, 2, -1}, {0, 0, 4, 4}, {8, 4, 16, 2}};
    for (const auto& c : filterCases)
        EXPECT_EQ(suggestFilterDiamater(*patterned(kPixelFloat3, c[0], c[1]), c[2], c[3]), 0)
            << c[0] << "x" << c[1] << " -> " << c[2] << "x" << c[3];
}

TEST(BadCalls, FlipsAndSwapsOnImagesTheyDoNotApplyTo) {
    for (PixelTypeId tag : {kPixelDouble3, kPixelSphericalHarmonics, kUndefinedTag}) {
        auto image = patterned(tag, 3, 2);
        EXPECT_TRUE(untouchedBy(*image, [&] { imageFlipHorizontal(*image); })) << "tag " << tag;
    }
    for (PixelTypeId tag : kEveryTag) {
        auto row = patterned(tag, 3, 1), column = patterned(tag, 1, 3),
             empty = patterned(tag, 0, 0);
        EXPECT_TRUE(untouchedBy(*row, [&] { imageFlipVertical(*row); })) << "one row, tag " << tag;
        EXPECT_TRUE(untouchedBy(*column, [&] { imageFlipHorizontal(*column); }))
            << "one column, tag " << tag;
        EXPECT_TRUE(untouchedBy(*empty,
                                [&] {
                                    imageFlipVertical(*empty);
                                    imageFlipHorizontal(*empty);
                                }))
            << "empty, tag " << tag;
    }
    for (PixelTypeId tag :
         {kPixelUnsignedInt, kPixelInt4, kPixelFloat3, kPixelFloat4, kPixelHalf4, kUndefinedTag}) {
        auto image = patterned(tag, 3, 2);
        EXPECT_TRUE(untouchedBy(*image, [&] { imageSwapRedBlue(*image); })) << "tag " << tag;
    }
    auto empty = patterned(kPixelByte4, 0, 0);
    imageSwapRedBlue(*empty);
    EXPECT_EQ(empty->pixels(), nullptr);
    char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    imageSwapRedBlue(nullptr, 2);
    imageSwapRedBlue(bytes, 0);
    imageSwapRedBlue(bytes, INT_MIN);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(bytes[i], i + 1) << "byte " << i;
}

TEST(BadCalls, MaskOperationsOnMismatchedOrEmptyMasks) {
    auto mask = [](const ix::Reference<Image>& image) -> Mask& {
        return static_cast<Mask&>(*image);
    };
    for (auto op : {imageMin, imageMax}) {
        auto a = patterned(kPixelUnsignedChar, 3, 2), b = patterned(kPixelUnsignedChar, 2, 3);
        auto result = patterned(kPixelUnsignedChar, 4, 4, 6);
        EXPECT_TRUE(untouchedBy(*result, [&] { op(mask(a), mask(b), mask(result)); }));
        auto e1 = patterned(kPixelUnsignedChar, 0, 0), e2 = patterned(kPixelUnsignedChar, 0, 0);
        op(mask(e1), mask(e2), mask(result));
        EXPECT_TRUE(result->getWidth() == 0 && result->pixels() == nullptr);
    }
    const int interpolateCases[][4] = {{3, 3, 4, 3}, {3, 3, 3, 4}, {0, 0, 3, 3}};
    for (const auto& c : interpolateCases) {
        auto zeros = emptyMask(c[0], c[1]), image = patterned(kPixelUnsignedChar, c[2], c[3]);
        EXPECT_TRUE(untouchedBy(*image, [&] { imageInterpolate(mask(zeros), mask(image)); }))
            << "mask " << c[0] << "x" << c[1] << ", image " << c[2] << "x" << c[3];
    }
    for (int side : {0, 4}) {
        std::list<Boundary3d> boundaries(2);
        computeMaskBoundaries(mask(emptyMask(side, side)), boundaries);
        EXPECT_TRUE(boundaries.empty()) << side << "x" << side;
    }
}

TEST(BadCalls, PackRefusalsKeepPacking) {
    auto one = patterned(kPixelUnsignedChar, 5, 3), two = patterned(kPixelUnsignedChar, 4, 4);
    auto other = patterned(kPixelFloat3, 2, 2);
    Packing packing;
    imagePack(packing, {one.get(), two.get()}, 0.5f, true, true);
    ASSERT_EQ(packing.getTileCount(), 2);
    const Image* atlas = packing.atlas.get();
    const int xSize = packing.xSize(), ySize = packing.ySize();
    const ixUtil::IntRange2d tile0 = packing.getPaddedTile(0);
    const std::vector<std::vector<Image*>> refused = {
        {}, {one.get(), nullptr}, {nullptr}, {one.get(), other.get()}};
    for (const auto& images : refused) {
        imagePack(packing, images, 0.5f, false, true);
        EXPECT_EQ(packing.getTileCount(), 2) << images.size() << " images";
        EXPECT_EQ(packing.atlas.get(), atlas);
        EXPECT_TRUE(packing.xSize() == xSize && packing.ySize() == ySize);
        const ixUtil::IntRange2d& now = packing.getPaddedTile(0);
        EXPECT_TRUE(now.x == tile0.x && now.y == tile0.y && now.width == tile0.width &&
                    now.height == tile0.height);
    }
}

TEST(BadCalls, NewEnvironmentMapUnrecognisedShapes) {
    const std::pair<int, int> shapes[] = {
        {0, 0}, {0, 5}, {3, 1}, {5, 7}, {6, 7}, {12, 12 * 4 / 3 + 4}, {9, 16}};
    for (const auto& shape : shapes) {
        const int w = shape.first, h = shape.second;
        auto image = patterned(kPixelFloat3, w, h);
        image->setWrap(false, true);
        EXPECT_TRUE(untouchedBy(
            *image, [&] { EXPECT_EQ(newEnvironmentMap(*image), nullptr) << w << "x" << h; }))
            << w << "x" << h;
    }
}

TEST(BadCalls, CoordinatesOutsideTheProjection) {
    const SphereMap sphere(8);
    const CrossMap cross(4, false);
    struct Probe {
        const EnvironmentMap* map;
        float u, v;
    };
    for (const Probe& p :
         {Probe{&sphere, 0.02f, 0.02f}, Probe{&sphere, 0.98f, 0.5f + 0.49f},
          Probe{&cross, 0.05f, 0.05f}, Probe{&cross, 0.95f, 0.95f}, Probe{&cross, 0.05f, 0.95f}}) {
        ixLinear::VectorFlt dir(7.0f, 8.0f, 9.0f);
        float omega = 5.0f;
        EXPECT_FALSE(p.map->isValidCoord(p.u, p.v)) << p.u << "," << p.v;
        EXPECT_FALSE(p.map->coordToDir(p.u, p.v, dir, omega, false)) << p.u << "," << p.v;
        EXPECT_EQ(omega, 0.0f) << p.u << "," << p.v;
        EXPECT_TRUE(dir.x == 7.0f && dir.y == 8.0f && dir.z == 9.0f) << p.u << "," << p.v;
    }
    int face = 3;
    float fu = 0, fv = 0;
    EXPECT_FALSE(cross.crossToCube(0.05f, 0.05f, face, fu, fv));
    EXPECT_EQ(face, -1);
}

TEST(BadCalls, CrossFacesOfBadShapes) {
    CrossMap map(4, false);
    auto goodCross = patterned(kPixelFloat3, 12, 16), badCross = patterned(kPixelFloat3, 10, 16);
    auto face = patterned(kPixelFloat3, 3, 3, 8), otherType = patterned(kPixelFloat4, 12, 16);
    EXPECT_TRUE(untouchedBy(*face, [&] {
        for (int index : {-1, 6}) map.copyFace(*goodCross, *face, index);
        map.copyFace(*badCross, *face, 0);
        map.copyFace(*otherType, *face, 0);
    }));
    map.pasteFace(*face, 0);  // the map has no image yet
    auto goodFace = patterned(kPixelFloat3, 4, 4, 1);
    map.setImage(badCross.get());
    EXPECT_TRUE(untouchedBy(*badCross, [&] { map.pasteFace(*goodFace, 0); }));
    map.setImage(goodCross.get());
    EXPECT_TRUE(untouchedBy(*goodCross, [&] {
        map.pasteFace(*face, 0);  // 3 x 3 is not the 4 x 4 cell
        map.pasteFace(*goodFace, 6);
        map.pasteFace(*patterned(kPixelFloat4, 4, 4), 1);
    }));
}

TEST(BadCalls, RemapRefusals) {
    struct Case {
        const char* what;
        PixelTypeId srcType;
        int srcW;
        PixelTypeId dstType;
    };
    for (const Case& c : {Case{"unsupported source", kPixelUnsignedChar, 8, kPixelUnsignedChar},
                          Case{"double source", kPixelDouble3, 8, kPixelDouble3},
                          Case{"undefined source tag", kUndefinedTag, 8, kUndefinedTag},
                          Case{"types differ", kPixelFloat3, 8, kPixelFloat4},
                          Case{"empty source", kPixelFloat3, 0, kPixelFloat3}}) {
        LatLongMap src(8, 4), dst(8, 4);
        auto srcImage = patterned(c.srcType, c.srcW, c.srcW / 2);
        auto dstImage = patterned(c.dstType, 8, 4, 3);
        src.setImage(srcImage.get());
        dst.setImage(dstImage.get());
        EXPECT_TRUE(untouchedBy(*dstImage, [&] {
            remap(src, dst);
            remapFiltered(src, dst);
        })) << c.what;
    }
    LatLongMap bare(8, 4), withImage(8, 4);
    auto image = patterned(kPixelFloat3, 8, 4);
    withImage.setImage(image.get());
    EXPECT_TRUE(untouchedBy(*image, [&] {
        remap(bare, withImage);
        remap(withImage, bare);
        remapFiltered(bare, withImage);
        remapFiltered(withImage, bare);
    }));
}

TEST(BadCalls, LightProbeRefusals) {
    const std::string notRecognised =
        "The image you have specified is not a recognized environment map shape.Please "
        "consult the documentation for descriptions of the supported types.";
    const std::string notSupported =
        "Image based lighting only supports vertical cross and latitude-longitude "
        "environment maps.";
    struct Case {
        int w, h;
        const std::string* message;
    };
    for (const Case& c : {Case{8, 8, &notSupported}, Case{5, 7, &notRecognised},
                          Case{0, 0, &notRecognised}, Case{6, 2, &notRecognised}}) {
        ImageBasedLighting lighting;
        ixUtil::Error error;
        ix::Reference<Image> good = patterned(kPixelFloat3, 8, 4);
        lighting.setLightProbe(static_cast<Float3Image*>(good.get()), error);
        ASSERT_TRUE(lighting.haveUsableLightProbe());
        ix::Reference<Image> probe = patterned(kPixelFloat3, c.w, c.h);
        lighting.setLightProbe(static_cast<Float3Image*>(probe.get()), error);
        EXPECT_EQ(error.getCode(), 1) << c.w << "x" << c.h;
        EXPECT_EQ(error.getMessage(), *c.message) << c.w << "x" << c.h;
        EXPECT_FALSE(lighting.haveUsableLightProbe()) << c.w << "x" << c.h;
        EXPECT_EQ(lighting.getReflectionMap(), nullptr) << c.w << "x" << c.h;
        lighting.setLightProbe(nullptr, error);
        EXPECT_FALSE(error.isError()) << "a null probe clears the error";
    }
}

TEST(BadCalls, LightingWithoutProbe) {
    ImageBasedLighting lighting;
    PhongReflectance phong(8);
    EXPECT_EQ(lighting.getSpecularMap(phong, nullptr), nullptr);
    Irradiance irradiance;
    irradiance.red.m[1][2] = 3.0;
    lighting.getIrradiance(irradiance, nullptr);
    for (const ixLinear::ProjMatrix* m : {&irradiance.red, &irradiance.green, &irradiance.blue})
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_EQ(m->m[r][c], 0.0) << r << "," << c;
    lighting.markSpecularMapUsed(12345);
    lighting.deleteUnusedSpecularMaps();
    EXPECT_EQ(lighting.getSpecularMap(phong, nullptr), nullptr);
}

TEST(BadCalls, MissingRotationMatrixFile) {
    const char* missing = "no-such-folder/sh_rotation_matrices.txt";
    std::vector<double> block(kRotationMatrixCount, 0.0);
    EXPECT_FALSE(readRotationMatrices(block.data(), missing, nullptr));
    if (getRotationMatrices() != nullptr) return;  // loaded by an earlier test of this run
    ::testing::internal::CaptureStdout();
    const bool loaded = initializeReflectance(missing, nullptr);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(getRotationMatrices(), nullptr);
    EXPECT_NE(printed.find("Failed to load spherical harmonic matrix file"), std::string::npos)
        << printed;
    // Without matrices the reflection map is left alone, not even sized.
    SphericalHarmonics<FloatPixel3<double>> light(20);
    ixUtil::ArrayN<3, FloatPixel3<double>> brdf({21, 21, 21});
    ShrmImage shrm;
    computeReflectionCoeffs(light, brdf, 20, 10, shrm, nullptr);
    EXPECT_EQ(shrm.getWidth(), 0);
    EXPECT_EQ(shrm.pixels(), nullptr);
}

TEST(BadCalls, ToneMapLeavesNonColourImages) {
    ToneMap map;
    ToneControls controls;
    controls.exposure = 1.5f;
    controls.gamma = 2.2f;
    map.calculate(controls);
    for (PixelTypeId tag :
         {kPixelUnsignedChar, kPixelByte4, kPixelUnsignedInt, kPixelInt4, kPixelHalf4, kPixelFloat,
          kPixelDouble3, kPixelSphericalHarmonics, kUndefinedTag}) {
        auto image = patterned(tag, 3, 2);
        EXPECT_TRUE(untouchedBy(*image, [&] { map.apply(*image); })) << "tag " << tag;
    }
    auto empty = patterned(kPixelFloat3, 0, 0);
    map.apply(*empty);
    EXPECT_EQ(empty->pixels(), nullptr);
    FloatPixel3<float> colour(0.5f, 2.0f, 7.0f);
    ToneMap().apply(colour);
    EXPECT_TRUE(colour.red == 0 && colour.green == 0 && colour.blue == 0)
        << "an uncalculated map gives black";
}
