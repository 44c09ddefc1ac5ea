// Typed images and every operation on them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

#include "iximage/image/arithmetic.h"
#include "iximage/image/blur.h"
#include "iximage/image/convert_copy.h"
#include "iximage/image/flip_min_max.h"
#include "iximage/image/image_pack.h"
#include "iximage/image/interpolate.h"
#include "iximage/image/resize.h"
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
                         << "tag " << small.getPixelType() << " case " << &c - cases);
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
    ixTest::fillComponents<float, float>(target, 2, 2, [] { return 0.5f; });
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
                for (int x = 0; x < w; ++x) {
                    const int from = (rows ? h - 1 - y : y) * w + (columns ? w - 1 - x : x);
                    ASSERT_TRUE(sameBits(image.at(x, y), before[from])) << image.getPixelType();
                }
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
// trunc(a / b * 255 + 0.5), low 8 bits. Min/max work in place; other shapes write nothing.
TEST(ImageSmallOps, WorkedExamples) {
    const float nan = std::nanf("");
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
    char raw[] = "abcdefghijkl";
    imageSwapRedBlue(raw, 2);
    imageSwapRedBlue(raw, -3);
    imageSwapRedBlue(nullptr, 5);
    EXPECT_STREQ(raw, "cbadgfehijkl");
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

    // Means: Byte4 sums truncated on the 0..255 scale, a half infinity counted as 1, masks in
    // red only; a double image and an empty one give zeros.
    auto same = [](const FloatPixel4<float>& p, float r, float g, float b, float alpha) {
        return p.red == r && p.green == g && p.blue == b && p.alpha == alpha;
    };
    EXPECT_TRUE(same(imageAverage(bytes), 212, 25, 85, 255));  // sums 636, 76, 255, 765
    EXPECT_TRUE(same(imageAverage(a), 467.0f * (1.0f / 7), 0, 0, 0));
    const float inf = std::numeric_limits<float>::infinity();
    FloatPixel4<half> halves[] = {{inf, 2.0f, 0.0f, 0.5f}, {1.0f, 2.0f, 2.0f, 0.5f}};
    Half4Image halfImage;
    halfImage.setExternalPixels(halves, 2, 1);
    EXPECT_TRUE(same(imageAverage(halfImage), 1.0f, 2.0f, 1.0f, 0.5f));
    FloatPixel3<float> plain[] = {{1, 0, 1}, {2, 0, 1}, {3, 0, 1}, {4, 0, 5}};
    colourImage.setExternalPixels(plain, 2, 2);
    EXPECT_TRUE(same(imageAverage(colourImage), 2.5f, 0, 2, 0));
    Double3Image doubles;
    doubles.setSize(2, 2);
    EXPECT_TRUE(same(imageAverage(doubles), 0, 0, 0, 0));
    EXPECT_TRUE(same(imageAverage(Float3Image()), 0, 0, 0, 0));
}

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

// Each component combined in float (for half, rounded back once); in place (result = a) too.
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

TEST(ImageArithmetic, MatchesPlainReferenceForEveryFloatTypeAndShape) {
    std::mt19937 rng(1);
    checkAgainstReference<FloatPixel3<float>, float>(rng);
    checkAgainstReference<FloatPixel4<float>, float>(rng);
    checkAgainstReference<FloatPixel4<half>, half>(rng);
}

// result keeps its sentinel-filled buffer (same pixel count as a), and its shape if tags differ.
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

// Tile pixels differ from each other and from white; borders copy the nearest or, wrapped, the
// period-away interior pixel.
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

using ixTest::kCount;
using Line = std::vector<double>;
using Radii = std::array<int, 4>;  // R4 <= R3 <= R2 <= R1

// The documented radii: r = min(d, 2^24) / 2 + 1/2, R1 = trunc(r), R2..R4 = r * 176, 122, 65
// / 256 rounded half up.
Radii radiiOf(int d) {
    const float r = static_cast<float>(std::min(d, 1 << 24)) * 0.5f + 0.5f;
    auto scaled = [r](float k) { return static_cast<int>(r * k / 256.0f + 0.5f); };
    return {scaled(65), scaled(122), scaled(176), static_cast<int>(r)};
}

// Clipped, the four boxes [x - Rk, x + Rk] summed over the samples inside the line, divided by
// their count; wrapped, the mean of the samples x +- Rk modulo L. Integers truncate the mean.
Line directLine(const Line& line, const Radii& R, bool wrap, bool truncate) {
    const int L = static_cast<int>(line.size());
    Line out(line.size());
    for (int x = 0; x < L; ++x) {
        double sum = 0.0;
        int n = 0;
        for (int r : R) {
            if (wrap)
                sum += line[((x + r) % L + L) % L] + line[((x - r) % L + L) % L];
            else
                for (int p = std::max(0, x - r); p <= std::min(L - 1, x + r); ++p)
                    sum += line[p], ++n;
        }
        const float v = static_cast<float>(sum) * (wrap ? 0.125f : n > 1 ? 1.0f / float(n) : 1.0f);
        out[x] = truncate ? static_cast<double>(static_cast<int>(v)) : v;
    }
    return out;
}

const ixTest::Shape kShapes[] = {{1, 1}, {1, 9}, {9, 1}, {17, 9}, {5, 23}, {2, 3}, {40, 2}};

// Random images, every diameter up to 40 and some past every line, every pair of wrap flags:
// rows then columns of the direct form (integer kernels truncate after the row pass too).
template <class T, class C>
void compareWithReference(double (*draw)(std::mt19937&), double tolerance) {
    const bool truncate = std::is_integral_v<C>;
    std::mt19937 rng(12345);
    std::vector<int> diameters = {4001, 1 << 24, 1 << 30};
    for (int d = 0; d <= 40; ++d) diameters.push_back(d);
    for (const auto& s : kShapes) {
        const int W = s.width, H = s.height;
        TypedImage<T> src, dst;
        ixTest::fillComponents<T, C>(src, W, H, [&] { return float(draw(rng)); });
        for (int d : diameters)
            for (int wrap = 0; wrap < 4; ++wrap) {
                const bool wrapX = wrap & 1, wrapY = wrap & 2;
                imageBlur(src, dst, d, wrapX, wrapY);
                ASSERT_TRUE(dst.getWidth() == W && dst.getHeight() == H);
                for (int c = 0; c < kCount<T, C>; ++c) {
                    Line plane(static_cast<size_t>(W * H)), row(W), column(H);
                    for (int y = 0; y < H; ++y) {
                        for (int x = 0; x < W; ++x) row[x] = componentsOf<T, C>(src.at(x, y))[c];
                        row = directLine(row, radiiOf(d), wrapX, truncate);
                        std::copy(row.begin(), row.end(), plane.begin() + y * W);
                    }
                    for (int x = 0; x < W; ++x) {
                        for (int y = 0; y < H; ++y) column[y] = plane[y * W + x];
                        column = directLine(column, radiiOf(d), wrapY, truncate);
                        for (int y = 0; y < H; ++y)
                            ASSERT_NEAR((componentsOf<T, C>(dst.at(x, y))[c]), column[y], tolerance)
                                << "tag " << src.getPixelType() << " " << W << "x" << H
                                << " d=" << d << " wrap " << wrap << " at " << x << "," << y << " #"
                                << c;
                    }
                }
            }
    }
}

double byteValue(std::mt19937& g) { return g() % 256; }
double unitValue(std::mt19937& g) { return std::uniform_real_distribution<double>(0, 1)(g); }
double quarterValue(std::mt19937& g) { return (g() % 4) * 0.25; }

// Integer kernels are exact. Float sums of 4 L samples in [0, 1] round in 8 L steps: 2 L ulps of
// 1 (L = 40: 5e-6). Half sums step by 2^-4 near 4 L * 0.75: below 2^-6 divided by n.
TEST(BlurReference, EveryKernelMatchesTheDirectSum) {
    compareWithReference<unsigned char, unsigned char>(byteValue, 0.0);
    compareWithReference<Byte4, unsigned char>(byteValue, 0.0);
    compareWithReference<float, float>(unitValue, 5e-6);
    compareWithReference<FloatPixel3<float>, float>(unitValue, 5e-6);
    compareWithReference<FloatPixel4<half>, half>(quarterValue, 1.0 / 64);
}

// No kernel: dst sized, pixels untouched. Types differ: nothing. Empty source: dst emptied.
TEST(BlurFailures, SilentOutcomes) {
    Float4Image src4, dst4;
    FloatImage src, empty, dst;
    MaskImage mask;
    src4.setSize(4, 3);
    ixTest::fillComponents<FloatPixel4<float>, float>(dst4, 3, 4, [] { return -1; });
    src.setSize(4, 4);
    dst.setSize(3, 3);
    imageBlur(src4, dst4, 3, false, false);
    imageBlur(src, mask, 2, false, false);
    imageBlur(empty, dst, 4, true, false);
    EXPECT_TRUE(dst4.getWidth() == 4 && dst4.getHeight() == 3 &&
                std::all_of(dst4.data(), dst4.data() + 12, [](auto p) { return p.red == -1; }));
    EXPECT_TRUE(mask.getWidth() == 0 && dst.getWidth() == 0 && dst.data() == nullptr);
}

// One more than the larger shrink factor, truncated; 0 when growing or for a side below 1.
TEST(SuggestFilterDiamater, Table) {
    const int cases[][5] = {{2000, 1000, 200, 100, 11}, {512, 256, 200, 100, 3},
                            {300, 100, 200, 100, 2},    {2000, 10, 200, 10, 11},
                            {100, 50, 100, 51, 0},      {100, 50, -3, 10, 0}};
    MaskImage image;
    for (const auto& c : cases) {
        image.setSize(c[0], c[1]);
        EXPECT_EQ(suggestFilterDiamater(image, c[2], c[3]), c[4]) << c[0] << " " << c[2];
    }
}

// Every channel against the blend, in double, of the four source pixels around the target pixel
// centre: X = (1 - eps) u W, no half-pixel recentring, the right and lower neighbours wrapping or
// clamping as the source says. Half rounds every step; Byte4 truncates each product (4 levels).
template <class T, class C>
void checkBilinear(double abs, double rel, float scale) {
    const int cases[][6] = {// source w, h, target w, h, wrap horizontally, vertically
                            {1, 1, 5, 3, 0, 0},   {17, 9, 5, 4, 0, 0}, {17, 9, 40, 21, 1, 0},
                            {9, 17, 9, 17, 0, 1}, {1, 7, 6, 6, 1, 1},  {8, 1, 3, 3, 1, 0},
                            {23, 5, 200, 2, 0, 0}};
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> value(0.0f, scale);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "tag " << PixelTraits<T>::kTag << " case " << &c - cases);
        TypedImage<T> src;
        ixTest::fillComponents<T, C>(src, c[0], c[1], [&] { return value(rng); });
        src.setWrap(c[4], c[5]);
        ix::Reference<Image> out(resize(src, c[2], c[3], true));
        ASSERT_TRUE(out && out->getWidth() == c[2] && out->getHeight() == c[3]);
        const auto& got = static_cast<const TypedImage<T>&>(*out);
        const float k = 1.0f - ixLinear::epsilonTolFlt;
        auto next = [](int i, int n, bool wrap) { return i + 1 < n ? i + 1 : wrap ? 0 : i; };
        for (int y = 0; y < c[3]; ++y)
            for (int x = 0; x < c[2]; ++x) {
                const float X = k * ((x + 0.5f) * (1.0f / c[2])) * float(c[0]),
                            Y = k * ((y + 0.5f) * (1.0f / c[3])) * float(c[1]);
                const int x0 = int(X), y0 = int(Y);
                const int x1 = next(x0, c[0], c[4]), y1 = next(y0, c[1], c[5]);
                const double fx = X - x0, fy = Y - y0;
                for (int ch = 0; ch < ixTest::kCount<T, C>; ++ch) {
                    auto at = [&](int i, int j) {
                        return ixTest::componentsOf<T, C>(src.at(i, j))[ch];
                    };
                    const double want = (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x1, y0)) +
                                        fy * ((1 - fx) * at(x0, y1) + fx * at(x1, y1));
                    const float value = ixTest::componentsOf<T, C>(got.at(x, y))[ch];
                    ASSERT_NEAR(value, want, abs + rel * std::fabs(want))
                        << x << "," << y << " #" << ch;
                }
            }
    }
}

TEST(ResizeBilinear, EveryTypeMatchesTheBlend) {
    checkBilinear<float, float>(1e-6, 0, 1);
    checkBilinear<FloatPixel3<float>, float>(1e-6, 0, 1);
    checkBilinear<FloatPixel4<float>, float>(1e-6, 0, 1);
    checkBilinear<FloatPixel4<half>, half>(0, 4e-3, 100);
    checkBilinear<Byte4, unsigned char>(4, 0, 255);
}

// Nearest enlarging by k repeats pixels in k x k blocks; shrinking by k picks one of each block.
TEST(ResizeNearest, WholeFactorRoundTripIsExact) {
    std::mt19937 rng(7);
    auto roundTrip = [&rng](auto image) {
        for (const ixTest::Shape& s : ixTest::kOddShapes)
            for (int k : {1, 2, 3, 4}) {
                ixTest::fillRandomBytes(image, s.width, s.height, rng);
                ix::Reference<Image> big(resize(image, k * s.width, k * s.height, false));
                ix::Reference<Image> back(big ? resize(*big, s.width, s.height, false) : nullptr);
                ASSERT_TRUE(back && std::memcmp(back->pixels(), image.data(),
                                                sizeof(image.data()[0]) * s.width * s.height) == 0)
                    << "tag " << image.getPixelType() << " " << s.width << "x" << s.height << " k "
                    << k;
            }
    };
    ixTest::forEachImageType<Byte4Image, Half4Image, FloatImage, Float3Image, Float4Image>(
        roundTrip);
}

// Unsupported types and empty sources give null; a side below 1, an unsampled image (count 0).
TEST(ResizeFailures, SilentOutcomes) {
    MaskImage mask;
    TypedImage<Int4> ints;
    ShrmImage shrm;
    Float3Image empty;  // no pixels
    const std::initializer_list<Image*> sources = {&mask, &ints, &shrm, &empty};
    for (Image* image : sources) image->setSize(image == &empty ? 0 : 2, 2);
    for (Image* image : sources)
        for (bool bilinear : {false, true})
            EXPECT_EQ(resize(*image, 4, 4, bilinear), nullptr) << "tag " << image->getPixelType();
    FloatImage src;
    src.setSize(3, 3);
    for (const auto& size : {std::array{0, 5}, std::array{5, 0}, std::array{-2, 3}})
        for (bool bilinear : {false, true}) {
            ix::Reference<Image> out(resize(src, size[0], size[1], bilinear));
            EXPECT_TRUE(out && out->getRefCount() == 1 && out->getPixelType() == kPixelFloat &&
                        out->getWidth() == size[0] && out->getHeight() == size[1] && !out->pixels())
                << size[0] << "x" << size[1];
        }
}
