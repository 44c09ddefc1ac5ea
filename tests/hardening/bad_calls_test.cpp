// Every exported entry point fed the bad inputs its contract names: mismatched pixel types and
// sizes, undefined pixel-type tags, empty images, windows that do not fit, refused probes and
// missing files. Each case states the silent outcome it expects (untouched result, null,
// false, zeros) and checks it; run under the sanitizers, a case also proves the call reads and
// writes nothing it should not.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "iximage/envmap/cross_map.h"
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

// Everything observable about an image: tag, size, wrap flags, buffer identity and bytes.
struct Snapshot {
    PixelTypeId type;
    int width, height;
    bool wrapH, wrapV;
    const void* pixels;
    std::vector<std::uint8_t> bytes;

    explicit Snapshot(const Image& image)
        : type(image.getPixelType()),
          width(image.getWidth()),
          height(image.getHeight()),
          wrapH(image.getWrapHorizontal()),
          wrapV(image.getWrapVertical()),
          pixels(image.pixels()) {
        if (const auto* first = static_cast<const std::uint8_t*>(image.pixels()))
            bytes.assign(first, first + byteCount(image));
    }
};

::testing::AssertionResult unchanged(const Snapshot& before, const Image& image) {
    const Snapshot after(image);
    if (before.type != after.type || before.width != after.width || before.height != after.height ||
        before.wrapH != after.wrapH || before.wrapV != after.wrapV || before.pixels != after.pixels)
        return ::testing::AssertionFailure()
               << "image changed shape: tag " << before.type << " -> " << after.type << ", "
               << before.width << "x" << before.height << " -> " << after.width << "x"
               << after.height << ", pixels " << before.pixels << " -> " << after.pixels;
    if (before.bytes != after.bytes) return ::testing::AssertionFailure() << "pixel bytes changed";
    return ::testing::AssertionSuccess();
}

using BinaryOp = void (*)(const Image&, const Image&, Image&);
struct NamedOp {
    const char* name;
    BinaryOp op;
};
const NamedOp kArithmetic[] = {{"imageAdd", imageAdd},
                               {"imageSub", imageSub},
                               {"imageMult", imageMult},
                               {"imageDiv", imageDiv}};

// Tags without an arithmetic kernel (imageDiv also divides 8-bit masks).
bool hasArithmeticKernel(PixelTypeId type, const char* op) {
    if (type == kPixelHalf4 || type == kPixelFloat3 || type == kPixelFloat4) return true;
    return type == kPixelUnsignedChar && std::strcmp(op, "imageDiv") == 0;
}

const PixelTypeId kEveryTag[] = {
    kPixelUnsignedChar, kPixelByte4,  kPixelUnsignedInt, kPixelInt4,    kPixelHalf4,
    kPixelFloat,        kPixelFloat3, kPixelFloat4,      kPixelDouble3, kPixelSphericalHarmonics,
    kUndefinedTag};

struct BadCall {
    const char* name;
    std::function<void()> check;
};

const BadCall kBadCalls[] = {
    {"CreateByTypeUndefinedTags",
     [] {
         for (int tag : {-1, 10, 42, INT_MAX})
             EXPECT_EQ(imageCreateByType(static_cast<PixelTypeId>(tag)), nullptr) << "tag " << tag;
     }},
    {"ArithmeticMismatchedTags",
     [] {
         for (const NamedOp& op : kArithmetic) {
             auto a = patterned(kPixelFloat3, 2, 2), b = patterned(kPixelFloat4, 2, 2);
             auto result = patterned(kPixelFloat3, 3, 3, 5);
             const Snapshot before(*result);
             op.op(*a, *b, *result);
             EXPECT_TRUE(unchanged(before, *result)) << op.name;
         }
     }},
    {"ArithmeticMismatchedSizes",
     [] {
         for (const NamedOp& op : kArithmetic) {
             auto a = patterned(kPixelFloat3, 3, 2), b = patterned(kPixelFloat3, 2, 2);
             auto result = patterned(kPixelFloat3, 3, 2, 5);  // already a's size: kept as is
             const Snapshot before(*result);
             op.op(*a, *b, *result);
             EXPECT_TRUE(unchanged(before, *result)) << op.name;
             auto small = patterned(kPixelFloat3, 1, 1);
             op.op(*a, *b, *small);
             EXPECT_EQ(small->getWidth(), 3) << op.name;
             EXPECT_EQ(small->getHeight(), 2) << op.name;
         }
     }},
    {"ArithmeticUnsupportedAndUndefinedTags",
     [] {
         for (const NamedOp& op : kArithmetic)
             for (PixelTypeId tag : kEveryTag) {
                 if (hasArithmeticKernel(tag, op.name)) continue;
                 auto a = patterned(tag, 3, 2), b = patterned(tag, 3, 2, 1);
                 auto result = patterned(tag, 3, 2, 9);
                 const Snapshot before(*result);
                 op.op(*a, *b, *result);
                 EXPECT_TRUE(unchanged(before, *result)) << op.name << " tag " << tag;
             }
     }},
    {"ArithmeticEmptyImages",
     [] {
         for (const NamedOp& op : kArithmetic) {
             auto a = patterned(kPixelFloat3, 0, 0), b = patterned(kPixelFloat3, 0, 0);
             auto result = patterned(kPixelFloat3, 0, 0);
             op.op(*a, *b, *result);
             EXPECT_EQ(result->getWidth(), 0) << op.name;
             EXPECT_EQ(result->pixels(), nullptr) << op.name;
         }
     }},
    {"AverageUnsupportedOrEmpty",
     [] {
         std::vector<ix::Reference<Image>> images;
         for (PixelTypeId tag : {kPixelUnsignedInt, kPixelInt4, kPixelDouble3,
                                 kPixelSphericalHarmonics, kUndefinedTag})
             images.push_back(patterned(tag, 3, 2));
         for (PixelTypeId tag : {kPixelUnsignedChar, kPixelFloat3, kPixelHalf4})
             images.push_back(patterned(tag, 0, 0));
         for (const auto& image : images) {
             const FloatPixel4<float> mean = imageAverage(*image);
             EXPECT_TRUE(mean.red == 0 && mean.green == 0 && mean.blue == 0 && mean.alpha == 0)
                 << "tag " << image->getPixelType() << " " << image->getWidth() << "x"
                 << image->getHeight();
         }
     }},
    {"CopiesThatDoNotFit",
     [] {
         struct Window {
             int x, y;
         };
         const Window windows[] = {{2, 2},
                                   {-1, 0},
                                   {0, -1},
                                   {INT_MAX, 0},
                                   {0, INT_MAX},
                                   {INT_MIN, INT_MIN},
                                   {INT_MAX - 1, INT_MAX - 1}};
         for (const Window& w : windows) {
             auto small = patterned(kPixelFloat3, 2, 2), large = patterned(kPixelFloat3, 3, 3, 3);
             const Snapshot before(*large);
             imageCopyIn(*small, *large, w.x, w.y);
             EXPECT_TRUE(unchanged(before, *large)) << "imageCopyIn at " << w.x << "," << w.y;
             const Snapshot smallBefore(*small);
             imageCopyOut(*large, *small, w.x, w.y);
             EXPECT_TRUE(unchanged(smallBefore, *small)) << "imageCopyOut at " << w.x << "," << w.y;
         }
         // Different pixel types, an empty source, a target without pixels.
         auto float3 = patterned(kPixelFloat3, 2, 2), float4 = patterned(kPixelFloat4, 4, 4);
         auto empty = patterned(kPixelFloat4, 0, 0);
         const Snapshot before(*float4), emptyBefore(*empty);
         imageCopyIn(*float3, *float4, 0, 0);
         imageCopyIn(*empty, *float4, 0, 0);
         imageCopyOut(*float3, *float4, 0, 0);
         EXPECT_TRUE(unchanged(before, *float4));
         imageCopyIn(*float4, *empty, 0, 0);
         imageCopyOut(*float4, *empty, 0, 0);
         EXPECT_TRUE(unchanged(emptyBefore, *empty));
     }},
    {"ConvertToTypeRefusals",
     [] {
         ix::Reference<Image> none;
         EXPECT_FALSE(convertToType(none, kPixelUnsignedChar));
         EXPECT_EQ(none.get(), nullptr);
         struct Refusal {
             PixelTypeId from;
             int w, h;
             PixelTypeId to;
         };
         const Refusal refusals[] = {{kPixelFloat, 0, 0, kPixelUnsignedChar},
                                     {kPixelFloat3, 2, 2, kUndefinedTag},
                                     {kPixelFloat3, 2, 2, kPixelHalf4},
                                     {kPixelByte4, 2, 2, kPixelFloat4},
                                     {kUndefinedTag, 2, 2, kPixelUnsignedChar},
                                     {kPixelSphericalHarmonics, 1, 1, kPixelFloat3}};
         for (const Refusal& r : refusals) {
             ix::Reference<Image> image = patterned(r.from, r.w, r.h);
             Image* original = image.get();
             const Snapshot before(*image);
             EXPECT_FALSE(convertToType(image, r.to)) << r.from << " -> " << r.to;
             EXPECT_EQ(image.get(), original) << r.from << " -> " << r.to;
             EXPECT_TRUE(unchanged(before, *image)) << r.from << " -> " << r.to;
         }
     }},
    {"BlurMismatchedTypesAndMissingKernels",
     [] {
         auto src = patterned(kPixelFloat3, 4, 4), dst = patterned(kPixelFloat4, 4, 4, 2);
         const Snapshot before(*dst);
         imageBlur(*src, *dst, 3, true, false);
         EXPECT_TRUE(unchanged(before, *dst)) << "float3 into float4";
         for (PixelTypeId tag : {kPixelUnsignedInt, kPixelInt4, kPixelFloat4, kPixelDouble3,
                                 kPixelSphericalHarmonics, kUndefinedTag}) {
             auto from = patterned(tag, 3, 2), into = patterned(tag, 3, 2, 4);
             const Snapshot intoBefore(*into);
             imageBlur(*from, *into, 5, false, true);
             EXPECT_TRUE(unchanged(intoBefore, *into)) << "tag " << tag;
         }
     }},
    {"BlurEmptySourceAndNonPositiveDiameter",
     [] {
         auto empty = patterned(kPixelFloat3, 0, 0), dst = patterned(kPixelFloat3, 2, 2);
         imageBlur(*empty, *dst, 4, true, true);
         EXPECT_EQ(dst->getWidth(), 0);
         EXPECT_EQ(dst->getHeight(), 0);
         // Diameters at or below 0 leave every integer pixel exactly as it was.
         for (PixelTypeId tag : {kPixelUnsignedChar, kPixelByte4})
             for (int diameter : {0, -1, INT_MIN}) {
                 auto src = patterned(tag, 5, 4), out = patterned(tag, 0, 0);
                 imageBlur(*src, *out, diameter, true, true);
                 const Snapshot expected(*src);
                 ASSERT_EQ(out->getWidth(), 5);
                 EXPECT_EQ(Snapshot(*out).bytes, expected.bytes)
                     << "tag " << tag << " diameter " << diameter;
             }
     }},
    {"SuggestFilterDiameterDegenerateTargets",
     [] {
         struct Case {
             int w, h, targetW, targetH;
         };
         const Case cases[] = {{8, 4, 0, 2}, {8, 4, 2, -1}, {0, 0, 4, 4}, {8, 4, 16, 2}};
         for (const Case& c : cases) {
             auto image = patterned(kPixelFloat3, c.w, c.h);
             EXPECT_EQ(suggestFilterDiamater(*image, c.targetW, c.targetH), 0)
                 << c.w << "x" << c.h << " -> " << c.targetW << "x" << c.targetH;
         }
     }},
    {"ResizeRefusalsAndDegenerateSizes",
     [] {
         for (PixelTypeId tag : {kPixelUnsignedChar, kPixelUnsignedInt, kPixelInt4, kPixelDouble3,
                                 kPixelSphericalHarmonics, kUndefinedTag}) {
             auto src = patterned(tag, 4, 2);
             EXPECT_EQ(resize(*src, 2, 1, true), nullptr) << "tag " << tag;
         }
         auto empty = patterned(kPixelFloat3, 0, 0);
         EXPECT_EQ(resize(*empty, 2, 1, false), nullptr);
         auto src = patterned(kPixelFloat3, 4, 2);
         for (int side : {0, -3}) {
             ix::Reference<Image> out(resize(*src, side, 3, true));
             ASSERT_NE(out.get(), nullptr) << "width " << side;
             EXPECT_EQ(out->getWidth(), side);
             EXPECT_EQ(out->getHeight(), 3);
             EXPECT_EQ(out->pixels(), nullptr);
         }
     }},
    {"FlipsOnUnflippableImages",
     [] {
         for (PixelTypeId tag : {kPixelDouble3, kPixelSphericalHarmonics, kUndefinedTag}) {
             auto image = patterned(tag, 3, 2);
             const Snapshot before(*image);
             imageFlipHorizontal(*image);
             EXPECT_TRUE(unchanged(before, *image)) << "horizontal, tag " << tag;
         }
         for (PixelTypeId tag : kEveryTag) {
             auto row = patterned(tag, 3, 1), column = patterned(tag, 1, 3);
             auto empty = patterned(tag, 0, 0);
             const Snapshot rowBefore(*row), columnBefore(*column), emptyBefore(*empty);
             imageFlipVertical(*row);
             imageFlipHorizontal(*column);
             imageFlipVertical(*empty);
             imageFlipHorizontal(*empty);
             EXPECT_TRUE(unchanged(rowBefore, *row)) << "vertical flip of one row, tag " << tag;
             EXPECT_TRUE(unchanged(columnBefore, *column))
                 << "horizontal flip of one column, tag " << tag;
             EXPECT_TRUE(unchanged(emptyBefore, *empty)) << "empty, tag " << tag;
         }
     }},
    {"SwapRedBlueOnOtherTypes",
     [] {
         for (PixelTypeId tag : {kPixelUnsignedInt, kPixelInt4, kPixelFloat3, kPixelFloat4,
                                 kPixelHalf4, kUndefinedTag}) {
             auto image = patterned(tag, 3, 2);
             const Snapshot before(*image);
             imageSwapRedBlue(*image);
             EXPECT_TRUE(unchanged(before, *image)) << "tag " << tag;
         }
         auto empty = patterned(kPixelByte4, 0, 0);
         imageSwapRedBlue(*empty);
         EXPECT_EQ(empty->pixels(), nullptr);
         char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
         imageSwapRedBlue(nullptr, 2);
         imageSwapRedBlue(bytes, 0);
         imageSwapRedBlue(bytes, INT_MIN);
         for (int i = 0; i < 8; ++i) EXPECT_EQ(bytes[i], i + 1) << "byte " << i;
     }},
    {"MinMaxMismatchedSizes",
     [] {
         using Mask = TypedImage<unsigned char>;
         for (auto op : {imageMin, imageMax}) {
             auto a = patterned(kPixelUnsignedChar, 3, 2), b = patterned(kPixelUnsignedChar, 2, 3);
             auto result = patterned(kPixelUnsignedChar, 4, 4, 6);
             const Snapshot before(*result);
             op(static_cast<Mask&>(*a), static_cast<Mask&>(*b), static_cast<Mask&>(*result));
             EXPECT_TRUE(unchanged(before, *result));
             auto e1 = patterned(kPixelUnsignedChar, 0, 0),
                  e2 = patterned(kPixelUnsignedChar, 0, 0);
             op(static_cast<Mask&>(*e1), static_cast<Mask&>(*e2), static_cast<Mask&>(*result));
             EXPECT_EQ(result->getWidth(), 0);
             EXPECT_EQ(result->pixels(), nullptr);
         }
     }},
    {"InterpolateMismatchedOrEmpty",
     [] {
         using Mask = TypedImage<unsigned char>;
         struct Case {
             int maskW, maskH, imageW, imageH;
         };
         for (const Case& c : {Case{3, 3, 4, 3}, Case{3, 3, 3, 4}, Case{0, 0, 3, 3}}) {
             auto mask = patterned(kPixelUnsignedChar, c.maskW, c.maskH);
             if (mask->pixels()) std::memset(mask->pixels(), 0, byteCount(*mask));
             auto image = patterned(kPixelUnsignedChar, c.imageW, c.imageH);
             const Snapshot before(*image);
             imageInterpolate(static_cast<Mask&>(*mask), static_cast<Mask&>(*image));
             EXPECT_TRUE(unchanged(before, *image)) << "mask " << c.maskW << "x" << c.maskH
                                                    << ", image " << c.imageW << "x" << c.imageH;
         }
     }},
    {"PackRefusalsKeepPacking",
     [] {
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
             EXPECT_EQ(packing.xSize(), xSize);
             EXPECT_EQ(packing.ySize(), ySize);
             const ixUtil::IntRange2d& now = packing.getPaddedTile(0);
             EXPECT_TRUE(now.x == tile0.x && now.y == tile0.y && now.width == tile0.width &&
                         now.height == tile0.height);
         }
     }},
    {"NewEnvironmentMapUnrecognisedShapes",
     [] {
         struct Shape {
             int w, h;
         };
         for (const Shape& s : {Shape{0, 0}, Shape{0, 5}, Shape{3, 1}, Shape{5, 7}, Shape{6, 7},
                                Shape{12, 12 * 4 / 3 + 4}, Shape{9, 16}}) {
             auto image = patterned(kPixelFloat3, s.w, s.h);
             image->setWrap(false, true);
             const Snapshot before(*image);
             EXPECT_EQ(newEnvironmentMap(*image), nullptr) << s.w << "x" << s.h;
             EXPECT_TRUE(unchanged(before, *image)) << s.w << "x" << s.h;
         }
     }},
    {"CoordinatesOutsideTheProjection",
     [] {
         const SphereMap sphere(8);
         const CrossMap cross(4, false);
         struct Probe {
             const EnvironmentMap* map;
             float u, v;
         };
         for (const Probe& p : {Probe{&sphere, 0.02f, 0.02f}, Probe{&sphere, 0.98f, 0.5f + 0.49f},
                                Probe{&cross, 0.05f, 0.05f}, Probe{&cross, 0.95f, 0.95f},
                                Probe{&cross, 0.05f, 0.95f}}) {
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
     }},
    {"CrossFacesOfBadShapes",
     [] {
         CrossMap map(4, false);
         auto goodCross = patterned(kPixelFloat3, 12, 16);
         auto face = patterned(kPixelFloat3, 3, 3, 8);
         const Snapshot faceBefore(*face);
         for (int index : {-1, 6}) map.copyFace(*goodCross, *face, index);
         auto badCross = patterned(kPixelFloat3, 10, 16);
         map.copyFace(*badCross, *face, 0);
         auto otherType = patterned(kPixelFloat4, 12, 16);
         map.copyFace(*otherType, *face, 0);
         EXPECT_TRUE(unchanged(faceBefore, *face));

         map.pasteFace(*face, 0);  // the map has no image yet
         map.setImage(badCross.get());
         const Snapshot crossBefore(*badCross);
         auto goodFace = patterned(kPixelFloat3, 4, 4, 1);
         map.pasteFace(*goodFace, 0);
         map.setImage(goodCross.get());
         const Snapshot goodBefore(*goodCross);
         map.pasteFace(*face, 0);  // 3 x 3 is not the 4 x 4 cell
         map.pasteFace(*goodFace, 6);
         map.pasteFace(*patterned(kPixelFloat4, 4, 4), 1);
         EXPECT_TRUE(unchanged(crossBefore, *badCross));
         EXPECT_TRUE(unchanged(goodBefore, *goodCross));
     }},
    {"RemapRefusals",
     [] {
         struct Case {
             const char* what;
             PixelTypeId srcType;
             int srcW;
             PixelTypeId dstType;
         };
         for (const Case& c :
              {Case{"unsupported source", kPixelUnsignedChar, 8, kPixelUnsignedChar},
               Case{"double source", kPixelDouble3, 8, kPixelDouble3},
               Case{"undefined source tag", kUndefinedTag, 8, kUndefinedTag},
               Case{"types differ", kPixelFloat3, 8, kPixelFloat4},
               Case{"empty source", kPixelFloat3, 0, kPixelFloat3}}) {
             LatLongMap src(8, 4), dst(8, 4);
             auto srcImage = patterned(c.srcType, c.srcW, c.srcW / 2);
             auto dstImage = patterned(c.dstType, 8, 4, 3);
             src.setImage(srcImage.get());
             dst.setImage(dstImage.get());
             const Snapshot before(*dstImage);
             remap(src, dst);
             EXPECT_TRUE(unchanged(before, *dstImage)) << c.what;
         }
         LatLongMap bare(8, 4), withImage(8, 4);
         auto image = patterned(kPixelFloat3, 8, 4);
         withImage.setImage(image.get());
         const Snapshot before(*image);
         remap(bare, withImage);
         remap(withImage, bare);
         EXPECT_TRUE(unchanged(before, *image));
     }},
    {"LightProbeRefusals",
     [] {
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
     }},
    {"LightingWithoutProbe",
     [] {
         ImageBasedLighting lighting;
         PhongReflectance phong(8);
         EXPECT_EQ(lighting.getSpecularMap(phong, nullptr), nullptr);
         Irradiance irradiance;
         irradiance.red.m[1][2] = 3.0;
         lighting.getIrradiance(irradiance, nullptr);
         for (const ixLinear::ProjMatrix* m :
              {&irradiance.red, &irradiance.green, &irradiance.blue})
             for (int r = 0; r < 4; ++r)
                 for (int c = 0; c < 4; ++c) EXPECT_EQ(m->m[r][c], 0.0) << r << "," << c;
         lighting.markSpecularMapUsed(12345);
         lighting.deleteUnusedSpecularMaps();
         EXPECT_EQ(lighting.getSpecularMap(phong, nullptr), nullptr);
     }},
    {"MissingRotationMatrixFile",
     [] {
         const char* missing = "no-such-folder/sh_rotation_matrices.txt";
         std::vector<double> block(kRotationMatrixCount, 0.0);
         EXPECT_FALSE(readRotationMatrices(block.data(), missing, nullptr));
         if (getRotationMatrices() != nullptr) return;  // loaded by an earlier case of this run
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
     }},
    {"ToneMapLeavesNonColourImages",
     [] {
         ToneMap map;
         ToneControls controls;
         controls.exposure = 1.5f;
         controls.gamma = 2.2f;
         map.calculate(controls);
         for (PixelTypeId tag :
              {kPixelUnsignedChar, kPixelByte4, kPixelUnsignedInt, kPixelInt4, kPixelHalf4,
               kPixelFloat, kPixelDouble3, kPixelSphericalHarmonics, kUndefinedTag}) {
             auto image = patterned(tag, 3, 2);
             const Snapshot before(*image);
             map.apply(*image);
             EXPECT_TRUE(unchanged(before, *image)) << "tag " << tag;
         }
         auto empty = patterned(kPixelFloat3, 0, 0);
         map.apply(*empty);
         EXPECT_EQ(empty->pixels(), nullptr);
         FloatPixel3<float> colour(0.5f, 2.0f, 7.0f);
         ToneMap().apply(colour);
         EXPECT_TRUE(colour.red == 0 && colour.green == 0 && colour.blue == 0)
             << "an uncalculated map gives black";
     }},
    {"MaskBoundariesOfEmptyMasks",
     [] {
         for (int side : {0, 4}) {
             auto mask = patterned(kPixelUnsignedChar, side, side);
             if (mask->pixels()) std::memset(mask->pixels(), 0, byteCount(*mask));
             std::list<Boundary3d> boundaries(2);
             computeMaskBoundaries(static_cast<TypedImage<unsigned char>&>(*mask), boundaries);
             EXPECT_TRUE(boundaries.empty()) << side << "x" << side;
         }
     }},
};

void PrintTo(const BadCall& call, std::ostream* os) { *os << call.name; }

class BadCallTest : public ::testing::TestWithParam<BadCall> {};

TEST_P(BadCallTest, GivesTheSilentOutcome) { GetParam().check(); }

INSTANTIATE_TEST_SUITE_P(Hardening, BadCallTest, ::testing::ValuesIn(kBadCalls),
                         [](const ::testing::TestParamInfo<BadCall>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
