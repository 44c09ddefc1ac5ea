// Typed images and the operations on them: creation and buffers, copies and conversions, flips,
// swaps, minimum and maximum, arithmetic and the mean pixel, hole filling, packing into atlases.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <vector>

#include "iximage/image/arithmetic.h"
#include "iximage/image/convert_copy.h"
#include "iximage/image/flip_min_max.h"
#include "iximage/image/image_pack.h"
#include "iximage/image/interpolate.h"
#include "iximage/image/typed_image.h"
#include "random_image.h"

using namespace ixImage;
using ixTest::componentsOf;
using ixTest::sameBits;

// Every creatable tag gives an empty image of its pixel size; duplicate() copies shape, wrap
// flags and pixels into a buffer of its own; newEmpty() keeps the type only. Unknown tags: null.
TEST(TypedImage, CreateDuplicateAndNewEmptyForEveryCreatableTag) {
    const int pixelSizes[] = {1, 4, 4, 16, 8, 4, 12, 16, 24};  // by tag, 0 to 8
    for (int tag = 0; tag < 9; ++tag) {
        SCOPED_TRACE(::testing::Message() << "tag " << tag);
        ix::Reference<Image> image(imageCreateByType(PixelTypeId(tag)));
        ASSERT_TRUE(image && image->getPixelType() == tag);
        EXPECT_TRUE(image->pixelSize() == pixelSizes[tag] && image->getWidth() == 0 &&
                    !image->pixels());
        image->setSize(3, 2);
        image->setWrap(true, false);
        unsigned char* bytes = static_cast<unsigned char*>(image->pixels());
        for (int i = 0; i < 6 * pixelSizes[tag]; ++i) bytes[i] = (unsigned char)(i * 7 + 1);
        ix::Reference<Image> copy(image->duplicate()), empty(image->newEmpty());
        EXPECT_TRUE(copy->getPixelType() == tag && copy->getWidth() == 3 &&
                    copy->getHeight() == 2 && copy->getWrapHorizontal() &&
                    !copy->getWrapVertical());
        EXPECT_EQ(std::memcmp(copy->pixels(), bytes, size_t(6 * pixelSizes[tag])), 0);
        bytes[0] ^= 0xFF;  // the copy must not see later changes
        EXPECT_NE(static_cast<unsigned char*>(copy->pixels())[0], bytes[0]);
        EXPECT_TRUE(empty->getPixelType() == tag && empty->getWidth() == 0 && !empty->pixels());
    }
    for (int tag : {9, 10, -1, 1000}) EXPECT_EQ(imageCreateByType(PixelTypeId(tag)), nullptr);
}

// A new size of the same pixel count keeps buffer and contents; a zero side frees it. Borrowed
// pixels are written through but never released, not even by the destructor (ASan would tell).
TEST(TypedImage, SetSizeAndBorrowedPixels) {
    Float3Image image;
    const int objectSize = image.memorySize();
    image.setSize(4, 4);
    EXPECT_EQ(image.memorySize(), objectSize + 16 * 12);
    for (int i = 0; i < 16; ++i) image.data()[i] = FloatPixel3<float>(float(i), 0.f, 0.f);
    const FloatPixel3<float>* buffer = image.data();
    image.setSize(2, 8);
    EXPECT_TRUE(image.data() == buffer && image.getInverseWidth() == 0.5f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(image.data()[i].red, float(i));
    image.setSize(0, 5);
    EXPECT_TRUE(!image.data() && image.getInverseWidth() == 1.0f &&
                image.getInverseHeight() == 0.2f && image.memorySize() == objectSize);

    std::vector<float> borrowed = {1, 2, 3, 4, 5, 6};
    {
        FloatImage image;
        image.setSize(4, 4);  // an owned buffer, released when the borrowed one comes in
        image.setExternalPixels(borrowed.data(), 3, 2);
        EXPECT_TRUE(image.data() == borrowed.data() && !image.getOwnsPixels());
        EXPECT_TRUE(image.getWidth() == 3 && image.getHeight() == 2);
        EXPECT_TRUE(image.getInverseWidth() == 1.0f / 3.0f && image.at(2, 1) == 6.0f);
        image.at(0, 1) = 9.0f;
        image.setSize(2, 3);  // same count, but not its own: a fresh owned buffer
        EXPECT_TRUE(image.data() != borrowed.data() && image.getOwnsPixels());
        image.setExternalPixels(borrowed.data(), 6, 1);
    }
    EXPECT_EQ(borrowed[3], 9.0f);
}

// Pasting a small image into a larger one and cutting it out, for every pixel size: the whole
// window moves, bit for bit, when it fits; nothing moves otherwise, or when the types differ.
TEST(ImageCopy, WholeWindowOrNothing) {
    const int cases[][7] = {
        // small w, h, large w, h, x, y, fits
        {2, 2, 4, 4, 2, 2, 1},    {2, 2, 4, 4, 3, 2, 0},    {2, 2, 4, 4, 2, 3, 0},
        {4, 4, 4, 4, 0, 0, 1},    {4, 4, 4, 4, 0, 1, 0},    {1, 1, 4, 4, 3, 3, 1},
        {2, 2, 4, 4, -1, 0, 0},   {2, 2, 4, 4, 0, -1, 0},   {1, 7, 3, 9, 2, 2, 1},
        {17, 9, 20, 11, 3, 2, 1}, {17, 9, 20, 11, 4, 2, 0}, {7, 1, 7, 2, 0, 1, 1},
    };
    std::mt19937 rng(1);
    auto check = [&](auto small) {
        decltype(small) large;
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << "tag " << small.getPixelType() << " " << c[0] << "x" << c[1] << " in "
                         << c[2] << "x" << c[3] << " at (" << c[4] << ", " << c[5] << ")");
            ixTest::fillRandomBytes(small, c[0], c[1], rng);
            ixTest::fillRandomBytes(large, c[2], c[3], rng);
            ix::Reference<Image> pastedCopy(large.duplicate()), cutCopy(small.duplicate());
            auto& pasted = static_cast<decltype(large)&>(*pastedCopy);
            auto& cut = static_cast<decltype(small)&>(*cutCopy);
            imageCopyIn(small, pasted, c[4], c[5]);
            imageCopyOut(large, cut, c[4], c[5]);
            for (int y = 0; y < c[3]; ++y)
                for (int x = 0; x < c[2]; ++x) {
                    const int sx = x - c[4], sy = y - c[5];
                    const bool in = c[6] && sx >= 0 && sy >= 0 && sx < c[0] && sy < c[1];
                    ASSERT_TRUE(sameBits(pasted.at(x, y), in ? small.at(sx, sy) : large.at(x, y)));
                    ASSERT_TRUE(!in || sameBits(cut.at(sx, sy), large.at(x, y)));
                }
            for (int i = 0; i < c[0] * c[1] && !c[6]; ++i)
                ASSERT_TRUE(sameBits(cut.data()[i], small.data()[i])) << "copied out, not fitting";
        }
    };
    ixTest::forEachImageType<MaskImage, Byte4Image, Half4Image, Float3Image, Double3Image,
                             ShrmImage>(check);
    Byte4Image source;
    FloatImage target;  // same pixel size, different type
    source.setSize(1, 1);
    target.setSize(2, 2);
    std::fill(target.data(), target.data() + 4, 0.5f);
    imageCopyIn(source, target, 0, 0);
    EXPECT_EQ(std::count(target.data(), target.data() + 4, 0.5f), 4) << "pixel types differ";
}

// Every pixel, bit for bit, where the flip puts it. Vertical flips work on every type, horizontal
// ones on tags 0 to 7 only; other types and images without pixels stay as they were.
TEST(ImageFlip, VerticalForEveryTypeHorizontalForTagsZeroToSeven) {
    std::mt19937 rng(1);
    void (*flip)(Image&) = imageFlipVertical;
    auto check = [&](auto image) {
        const bool rows = flip == imageFlipVertical,
                   columns = !rows && image.getPixelType() <= kPixelFloat4;
        for (const ixTest::Shape& s : ixTest::kOddShapes) {
            const int w = s.width, h = s.height;
            ixTest::fillRandomBytes(image, w, h, rng);
            const auto before = std::vector(image.data(), image.data() + w * h);
            flip(image);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_TRUE(
                        sameBits(image.at(x, y),
                                 before[(rows ? h - 1 - y : y) * w + (columns ? w - 1 - x : x)]))
                        << "tag " << image.getPixelType() << " " << w << "x" << h << " at (" << x
                        << ", " << y << ")";
        }
    };
    for (auto which : {imageFlipVertical, imageFlipHorizontal}) {
        flip = which;
        ixTest::forEachImageType<MaskImage, Byte4Image, TypedImage<unsigned int>, TypedImage<Int4>,
                                 Half4Image, FloatImage, Float3Image, Float4Image, Double3Image,
                                 ShrmImage>(check);
    }
    Float4Image empty;
    empty.setSize(0, 5);
    imageFlipVertical(empty);
    imageFlipHorizontal(empty);
    EXPECT_TRUE(empty.data() == nullptr && empty.getHeight() == 5);
}

// Worked examples. Float to mask truncates without clamping (low 8 bits); Float3 to Byte4 clamps
// and truncates. Red/blue swaps touch Byte4 only. Mask division: b = 0 passes a, else
// trunc(a / b * 255 + 0.5), low 8 bits. Min/max work in place; other shapes write nothing. The
// mean counts a half infinity or NaN as 1 and truncates Byte4; other types give zeros.
TEST(ImageSmallOps, WorkedExamples) {
    const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
    float values[] = {0.0f, 0.5f, 1.0f, 0.999f, -0.001f, 2.0f, -1.0f, nan};
    FloatPixel3<float> colours[] = {
        {1.5f, -0.2f, 0.5f}, {nan, 0.2f, 1e30f}, {-1e30f, 0.1f, 0.999f}};
    FloatImage floats;
    Float3Image colourImage;
    MaskImage mask, a, b, result, tall;
    Byte4Image bytes;
    floats.setExternalPixels(values, 8, 1);
    colourImage.setExternalPixels(colours, 3, 1);
    imageConvert(floats, mask);
    imageConvert(colourImage, bytes);
    using Values = std::vector<unsigned char>;
    auto bytesOf = [](const Image& image) {
        const auto* p = static_cast<const unsigned char*>(image.pixels());
        return Values(p, p + image.pixelSize() * image.getWidth() * image.getHeight());
    };
    EXPECT_EQ(bytesOf(mask), Values({0, 127, 255, 254, 0, 254 /* 510 */, 1 /* -255 */, 0}));
    EXPECT_EQ(bytesOf(bytes), Values({255, 0, 127, 255, 0, 51, 255, 255, 0, 25, 254, 255}));
    imageSwapRedBlue(bytes);
    imageSwapRedBlue(colourImage);
    EXPECT_TRUE(bytes.data()[0] == Byte4(127, 0, 255, 255) && colours[0].red == 1.5f);
    char raw[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    imageSwapRedBlue(raw, 2);
    imageSwapRedBlue(raw, -3);
    imageSwapRedBlue(nullptr, 5);
    EXPECT_EQ(std::vector<char>(raw, raw + 12),
              std::vector<char>({3, 2, 1, 4, 7, 6, 5, 8, 9, 10, 11, 12}));

    unsigned char av[] = {0, 7, 1, 1, 3, 255, 200}, bv[] = {0, 0, 2, 3, 1, 255, 100};
    a.setExternalPixels(av, 7, 1);
    b.setExternalPixels(bv, 7, 1);
    imageDiv(a, b, result);
    EXPECT_EQ(bytesOf(result), Values({0, 7, 128, 85, 253, 255, 254}));
    imageMin(a, b, result);
    EXPECT_EQ(bytesOf(result), Values({0, 0, 1, 1, 1, 255, 100}));
    imageMax(result, b, result);
    EXPECT_EQ(bytesOf(result), Values(bv, bv + 7)) << "in place";
    imageMax(a, b, result);
    EXPECT_EQ(bytesOf(result), Values({0, 7, 2, 3, 3, 255, 200}));
    tall.setSize(1, 7);
    imageMin(a, tall, mask);
    imageMax(a, tall, mask);
    EXPECT_TRUE(mask.getWidth() == 8 && mask.data()[1] == 127) << "shapes differ";

    Byte4 b4[3] = {Byte4(255, 0, 1, 7), Byte4(255, 0, 1, 7), Byte4(254, 0, 0, 7)};
    FloatPixel4<half> h4[3] = {{1, inf, nan, 0.5f}, {2, 1, -1, 0.5f}, {3, 1, 1, 0.5f}};
    Half4Image halves;
    Double3Image doubles;
    bytes.setExternalPixels(b4, 3, 1);
    halves.setExternalPixels(h4, 1, 3);
    doubles.setSize(2, 2);
    auto mean = [](const Image& image) {
        return componentsOf<FloatPixel4<float>, float>(imageAverage(image));
    };
    using Mean = std::array<float, 4>;
    EXPECT_EQ(mean(bytes), Mean({254, 0, 0, 7}));
    EXPECT_EQ(mean(halves), Mean({2, 1, 1.0f / 3, 0.5f}));
    EXPECT_TRUE(mean(doubles) == Mean{} && mean(Byte4Image()) == Mean{});
}

namespace {

const struct {
    const char* name;
    void (*function)(const Image&, const Image&, Image&);
    float (*rule)(float, float);  // the component rule, in float
} kOperations[] = {
    {"imageAdd", imageAdd, [](float x, float y) { return x + y; }},
    {"imageSub", imageSub, [](float x, float y) { return x - y; }},
    {"imageMult", imageMult, [](float x, float y) { return x * y; }},
    {"imageDiv", imageDiv, [](float x, float y) { return x / y; }},
};

// Each component combined in float and, for half, rounded back once (NaN matching NaN); run in
// place as well (result = a), which must give the same pixels.
template <class T, class C>
void checkAgainstReference(std::mt19937& rng) {
    for (const auto& op : kOperations)
        for (const ixTest::Shape& s : ixTest::kOddShapes) {
            TypedImage<T> a, b, result;
            auto draw = [&rng] { return ixTest::randomValue(rng); };
            ixTest::fillComponents<T, C>(a, s.width, s.height, draw);
            ixTest::fillComponents<T, C>(b, s.width, s.height, draw);
            result.setSize(2, 3);
            op.function(a, b, result);
            ASSERT_TRUE(result.getWidth() == s.width && result.getHeight() == s.height);
            for (int i = 0; i < s.width * s.height; ++i)
                for (int k = 0; k < ixTest::kCount<T, C>; ++k) {
                    const float x = componentsOf<T, C>(a.data()[i])[k],
                                y = componentsOf<T, C>(b.data()[i])[k],
                                got = componentsOf<T, C>(result.data()[i])[k],
                                want = float(C(op.rule(x, y)));
                    ASSERT_TRUE(got == want || (std::isnan(got) && std::isnan(want)))
                        << op.name << " tag " << a.getPixelType() << ": " << x << ", " << y
                        << " gave " << got << ", not " << want;
                }
            op.function(a, b, a);
            for (int i = 0; i < s.width * s.height; ++i)
                ASSERT_TRUE(sameBits(a.data()[i], result.data()[i])) << op.name << " in place";
        }
}

}  // namespace

TEST(ImageArithmetic, MatchesPlainReferenceForEveryFloatTypeAndShape) {
    std::mt19937 rng(1);
    checkAgainstReference<FloatPixel3<float>, float>(rng);
    checkAgainstReference<FloatPixel4<float>, float>(rng);
    checkAgainstReference<FloatPixel4<half>, half>(rng);
}

// Silent outcomes. result is pre-sized to the pixel count of a, so its buffer (holding a
// sentinel) survives the resize; when the tags differ it also keeps its shape.
TEST(ImageArithmetic, MismatchesAndUnsupportedTypesWriteNothing) {
    const int cases[][4] = {// tag of a, tag of b, width of b, operation
                            {kPixelFloat3, kPixelFloat4, 4, 0},
                            {kPixelFloat4, kPixelFloat4, 5, 0},
                            {kPixelUnsignedChar, kPixelUnsignedChar, 4, 2},
                            {kPixelUnsignedChar, kPixelUnsignedChar, 4, 0},
                            {kPixelFloat, kPixelFloat, 4, 3}};
    for (const auto& c : cases) {
        ix::Reference<Image> a(imageCreateByType(PixelTypeId(c[0]))),
            b(imageCreateByType(PixelTypeId(c[1]))), result(imageCreateByType(PixelTypeId(c[0])));
        a->setSize(4, 4);
        b->setSize(c[2], 4);
        result->setSize(8, 2);
        std::memset(result->pixels(), 0x5A, 16 * std::size_t(result->pixelSize()));
        kOperations[c[3]].function(*a, *b, *result);
        const auto* bytes = static_cast<const unsigned char*>(result->pixels());
        EXPECT_TRUE(result->getWidth() == (c[0] == c[1] ? 4 : 8) &&
                    std::count(bytes, bytes + 16 * result->pixelSize(), 0x5A) ==
                        16 * result->pixelSize())
            << kOperations[c[3]].name << " tags " << c[0] << ", " << c[1];
    }
}

using Pixels = std::vector<unsigned char>;  // rows of width w, one after another

// Fills the holes of image (w x h) where mask is 0, on images borrowing the two vectors.
Pixels interpolated(Pixels mask, Pixels image, int w, int maskWidth = 0) {
    MaskImage maskImage, target;
    const int mw = maskWidth ? maskWidth : w;
    maskImage.setExternalPixels(mask.data(), mw, int(mask.size()) / mw);
    target.setExternalPixels(image.data(), w, int(image.size()) / w);
    imageInterpolate(maskImage, target);
    return image;
}

TEST(ImageInterpolate, WorkedExamplesAndSilentOutcomes) {
    const unsigned char _ = 33;  // old value of a missing pixel, which must not matter
    const struct {
        const char* name;
        int w;
        Pixels mask, image, expected;
    } cases[] = {
        {"row gap", 5, {255, 0, 0, 0, 255}, {0, _, _, _, 255}, {0, 64, 127, 191, 255}},
        {"mask value 1 is known", 5, {1, 0, 0, 0, 1}, {0, _, _, _, 255}, {0, 64, 127, 191, 255}},
        {"two corners, second pass in the middle",
         3,
         {255, 0, 0, 0, 0, 0, 0, 0, 255},
         {0, _, _, _, _, _, _, _, 200},
         {0, 0, 100, 0, 100, 200, 100, 200, 200}},
        {"halfway average rounds down", 2, {255, 0, 0, 255}, {0, _, _, 255}, {0, 127, 127, 255}},
        {"no known pixel", 2, {0, 0, 0, 0}, {1, 2, 3, 4}, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) EXPECT_EQ(interpolated(c.mask, c.image, c.w), c.expected) << c.name;
    EXPECT_EQ(interpolated({255, 0, 0}, {1, 2}, 2, 3), Pixels({1, 2})) << "sizes differ";
    MaskImage emptyMask, emptyImage;
    imageInterpolate(emptyMask, emptyImage);
    EXPECT_EQ(emptyImage.data(), nullptr);
}

// Random masks: known pixels keep their values, filled ones stay within their range, and as the
// old values of missing pixels do not matter, filling the result again changes nothing.
TEST(ImageInterpolate, KeepsKnownPixelsAndStaysInTheirRange) {
    std::mt19937 rng(5);
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {17, 9}, {2, 2}, {5, 3}, {12, 12}};
    for (const auto& size : sizes)
        for (double density : {0.0, 0.03, 0.1, 0.3, 0.7, 1.0}) {
            SCOPED_TRACE(::testing::Message() << size[0] << "x" << size[1] << " known " << density);
            std::bernoulli_distribution isKnown(density);
            Pixels mask(size_t(size[0] * size[1])), image(mask.size());
            int low = 256, high = -1;
            for (size_t i = 0; i < mask.size(); ++i) {
                mask[i] = isKnown(rng) ? 1 + rng() % 255 : 0;
                image[i] = rng() % 256;
                if (mask[i])
                    low = std::min(low, int(image[i])), high = std::max(high, int(image[i]));
            }
            const Pixels result = interpolated(mask, image, size[0]);
            ASSERT_EQ(interpolated(mask, result, size[0]), result);
            for (size_t i = 0; i < mask.size(); ++i)
                ASSERT_TRUE((!mask[i] || result[i] == image[i]) &&
                            (high < 0 || (result[i] >= low && result[i] <= high)))
                    << "pixel " << i;
        }
}

// Tile pixels distinct from each other and from white; a border pixel copies the nearest interior
// one, or the one a period away along an axis on which the tile wraps.
float tileValue(int i, int x, int y) { return float((i + 1) * 1024 + y * 32 + x); }
int sourcePosition(int p, int origin, int size, bool wrap) {
    return wrap ? origin + ((p - origin) % size + size) % size
                : std::min(std::max(p, origin), origin + size - 1);
}

// Random tiles, tight or on shelves: padded tiles lie in the atlas apart, hold tile and border, the
// rest stays white, and transforms map [0, 1] onto pixels x + e ... x + w - e, e = 0.5 - margin.
TEST(ImagePackInvariants, RandomTiles) {
    const float runs[][5] = {// tiles, largest side, margin, tight, border
                             {300, 12, 0.0f, 1, 2}, {300, 12, 0.5f, 0, 2}, {120, 30, 0.25f, 1, 3},
                             {120, 30, 1.0f, 0, 0}, {1, 5, 0.0f, 1, 2},    {40, 3, 0.5f, 1, 1},
                             {200, 1, 0.0f, 0, 2}};
    std::mt19937 rng(1);
    for (const auto& run : runs) {
        const int count = int(run[0]), side = int(run[1]), border = int(run[4]);
        SCOPED_TRACE(::testing::Message() << count << " tiles, tight " << run[3]);
        std::vector<FloatImage> tiles(static_cast<size_t>(count));
        std::vector<Image*> images;
        for (int i = 0; i < count; ++i) {
            FloatImage& tile = tiles[size_t(i)];
            tile.setSize(1 + int(rng() % unsigned(side)), 1 + int(rng() % unsigned(side)));
            tile.setWrap(rng() % 2, rng() % 2);
            for (int y = 0; y < tile.getHeight(); ++y)
                for (int x = 0; x < tile.getWidth(); ++x) tile.at(x, y) = tileValue(i, x, y);
            images.push_back(&tile);
        }
        Packing packing(border);
        imagePack(packing, images, run[2], run[3] != 0, true);
        ASSERT_TRUE(packing.atlas && packing.getTileCount() == count);
        const auto& atlas = static_cast<const FloatImage&>(*packing.atlas);
        const int W = atlas.getWidth(), H = atlas.getHeight();
        EXPECT_TRUE(W >= 64 && H >= 64 && packing.xSize() == W && packing.ySize() == H);
        const double e = 0.5 - run[2];
        int covered = 0;
        for (int i = 0; i < count; ++i) {
            const ixUtil::IntRange2d in = packing.getTileInterior(i),
                                     pad = packing.getPaddedTile(i);
            const FloatImage& tile = tiles[size_t(i)];
            ASSERT_TRUE(in.width == tile.getWidth() && in.height == tile.getHeight() &&
                        pad.x == in.x - border && pad.width == in.width + 2 * border &&
                        pad.x >= 0 && pad.y >= 0 && pad.x + pad.width <= W &&
                        pad.y + pad.height <= H)
                << "tile " << i;
            covered += pad.width * pad.height;  // tiles written over others fail the check below
            for (int py = pad.y; py < pad.y + pad.height; ++py)
                for (int px = pad.x; px < pad.x + pad.width; ++px) {
                    const int sx = sourcePosition(px, in.x, in.width, tile.getWrapHorizontal());
                    const int sy = sourcePosition(py, in.y, in.height, tile.getWrapVertical());
                    ASSERT_EQ(atlas.at(px, py), tileValue(i, sx - in.x, sy - in.y))
                        << "tile " << i << " atlas pixel " << px << "," << py;
                }
            const ixUtil::Transform2d& t = packing.getTransform(i);  // in atlas pixels
            EXPECT_FALSE(t.identity);
            EXPECT_NEAR(t.xOffset * W, in.x + e, 1e-6 * W);
            EXPECT_NEAR((t.xOffset + t.xScale) * W, in.x + in.width - e, 1e-6 * W);
            EXPECT_NEAR(t.yOffset * H, in.y + e, 1e-6 * H);
            EXPECT_NEAR((t.yOffset + t.yScale) * H, in.y + in.height - e, 1e-6 * H);
        }
        EXPECT_EQ(W * H - std::count(atlas.data(), atlas.data() + W * H, 1.0f), covered)
            << "pixels outside the padded tiles must stay white";
    }
}

// An empty list, mixed pixel types or a null image leave the packing as it was.
TEST(ImagePackFailures, EmptyListMixedTypesAndNullLeavePackingUnchanged) {
    FloatImage floatTile;
    Byte4Image byteTile;
    Float3Image float3Tile;
    for (Image* image : std::initializer_list<Image*>{&floatTile, &byteTile, &float3Tile})
        image->setSize(4, 4);
    for (const std::vector<Image*>& list : std::vector<std::vector<Image*>>{
             {}, {&float3Tile, &byteTile}, {&floatTile, nullptr}, {nullptr}}) {
        Packing packing;
        imagePack(packing, list, 0.0f, true, true);
        EXPECT_TRUE(packing.getTileCount() == 0 && !packing.atlas) << list.size() << " images";
    }
}
