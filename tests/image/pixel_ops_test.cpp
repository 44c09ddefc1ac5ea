// Typed images and the pixel-wise operations on them: creation and buffers, copies and
// conversions, flips, minimum and maximum, arithmetic and the mean pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "iximage/image/arithmetic.h"
#include "iximage/image/convert_copy.h"
#include "iximage/image/flip_min_max.h"
#include "iximage/image/typed_image.h"
#include "random_image.h"

using namespace ixImage;
using ixTest::componentsOf;

// Every creatable tag gives an empty image of its pixel size; duplicate() copies shape, wrap
// flags and pixels into a buffer of its own; newEmpty() keeps the type only. Unknown tags: null.
TEST(TypedImage, CreateDuplicateAndNewEmptyForEveryCreatableTag) {
    const int pixelSizes[] = {1, 4, 4, 16, 8, 4, 12, 16, 24};  // by tag, 0 to 8
    for (int tag = 0; tag < 9; ++tag) {
        SCOPED_TRACE(::testing::Message() << "tag " << tag);
        ix::Reference<Image> image(imageCreateByType(PixelTypeId(tag)));
        ASSERT_TRUE(image && image->getPixelType() == tag);
        EXPECT_TRUE(image->pixelSize() == pixelSizes[tag] && image->getWidth() == 0 &&
                    image->getHeight() == 0 && !image->pixels());
        image->setSize(3, 2);
        image->setWrap(true, false);
        unsigned char* bytes = static_cast<unsigned char*>(image->pixels());
        for (int i = 0; i < 6 * pixelSizes[tag]; ++i)
            bytes[i] = static_cast<unsigned char>(i * 7 + 1);
        ix::Reference<Image> copy(image->duplicate()), empty(image->newEmpty());
        ASSERT_EQ(copy->getPixelType(), tag);
        EXPECT_TRUE(copy->getWidth() == 3 && copy->getHeight() == 2 && copy->getWrapHorizontal() &&
                    !copy->getWrapVertical());
        EXPECT_EQ(std::memcmp(copy->pixels(), bytes, size_t(6 * pixelSizes[tag])), 0);
        bytes[0] ^= 0xFF;  // the copy must not see later changes
        EXPECT_NE(static_cast<unsigned char*>(copy->pixels())[0], bytes[0]);
        EXPECT_TRUE(empty->getPixelType() == tag && empty->getWidth() == 0 && !empty->pixels());
    }
    for (int tag : {9, 10, -1, 1000})
        EXPECT_EQ(imageCreateByType(PixelTypeId(tag)), nullptr) << tag;
}

// A new size of the same pixel count keeps the buffer and its contents; a zero side frees it and
// reads as inverse size 1.
TEST(TypedImage, SetSizeReusesAndReleasesBuffers) {
    Float3Image image;
    const int objectSize = image.memorySize();
    image.setSize(0, 5);
    EXPECT_TRUE(image.getInverseWidth() == 1.0f && image.getInverseHeight() == 0.2f &&
                !image.data());
    image.setSize(4, 4);
    EXPECT_EQ(image.memorySize(), objectSize + 16 * 12);
    for (int i = 0; i < 16; ++i) image.data()[i] = FloatPixel3<float>(float(i), 0.f, 0.f);
    const FloatPixel3<float>* buffer = image.data();
    image.setSize(2, 8);
    EXPECT_TRUE(image.data() == buffer && image.getInverseWidth() == 0.5f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(image.data()[i].red, float(i));
    image.setSize(0, 0);
    EXPECT_TRUE(!image.data() && image.getOwnsPixels() && image.memorySize() == objectSize);
}

// Borrowed pixels are shown and written through, but never released: not when a new size
// needs a buffer of the image's own, and not by the destructor (ASan reports a wrong free).
TEST(TypedImage, ExternalPixelsAreUsedButNeverReleased) {
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

// A small image pasted into (imageCopyIn) and cut out of (imageCopyOut) a larger one, for every
// pixel size: the whole window moves, bit for bit, when it fits; nothing moves otherwise (far
// edge past the border, negative offsets) or when the two pixel types differ.
TEST(ImageCopy, WholeWindowOrNothing) {
    const int cases[][7] = {
        // small w, h, large w, h, x, y, fits
        {2, 2, 4, 4, 2, 2, 1},    {2, 2, 4, 4, 3, 2, 0},    {2, 2, 4, 4, 2, 3, 0},
        {4, 4, 4, 4, 0, 0, 1},    {4, 4, 4, 4, 0, 1, 0},    {1, 1, 4, 4, 3, 3, 1},
        {2, 2, 4, 4, -1, 0, 0},   {2, 2, 4, 4, 0, -1, 0},   {1, 7, 3, 9, 2, 2, 1},
        {17, 9, 20, 11, 3, 2, 1}, {17, 9, 20, 11, 4, 2, 0}, {7, 1, 7, 2, 0, 1, 1},
    };
    std::mt19937 rng(1);
    auto check = [&](auto small, auto large) {
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
                    ASSERT_TRUE(
                        ixTest::sameBits(pasted.at(x, y), in ? small.at(sx, sy) : large.at(x, y)));
                    ASSERT_TRUE(!in || ixTest::sameBits(cut.at(sx, sy), large.at(x, y)));
                }
            for (int i = 0; i < c[0] * c[1] && !c[6]; ++i)
                ASSERT_TRUE(ixTest::sameBits(cut.data()[i], small.data()[i]))
                    << "copied out although it does not fit";
        }
    };
    check(MaskImage(), MaskImage());
    check(Byte4Image(), Byte4Image());
    check(Half4Image(), Half4Image());
    check(Float3Image(), Float3Image());
    check(Double3Image(), Double3Image());
    check(ShrmImage(), ShrmImage());
    Byte4Image source;
    FloatImage target;  // same pixel size, different type
    source.setSize(1, 1);
    source.data()[0] = Byte4(1, 2, 3, 4);
    target.setSize(2, 2);
    std::fill(target.data(), target.data() + 4, 0.5f);
    imageCopyIn(source, target, 0, 0);
    imageCopyOut(target, source, 0, 0);
    EXPECT_TRUE(std::count(target.data(), target.data() + 4, 0.5f) == 4 &&
                source.data()[0] == Byte4(1, 2, 3, 4));
}

// Float to mask truncates without clamping (low 8 bits of the integer); Float3 to Byte4
// clamps, then truncates, with alpha 255.
TEST(ImageConvert, FloatToMaskAndFloat3ToByte4Truncate) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float values[] = {0.0f, 0.5f, 1.0f, 0.999f, -0.001f, 2.0f, -1.0f, nan};
    const int expected[] = {0, 127, 255, 254, 0, 254 /* 510 mod 256 */, 1 /* -255 mod 256 */, 0};
    FloatImage source;
    MaskImage target;
    source.setSize(8, 1);
    std::copy(values, values + 8, source.data());
    imageConvert(source, target);
    ASSERT_EQ(target.getWidth(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(int(target.data()[i]), expected[i]) << values[i];
    const FloatPixel3<float> colours[] = {
        {1.5f, -0.2f, 0.5f}, {nan, 0.2f, 1e30f}, {-1e30f, 0.1f, 0.999f}};
    const Byte4 bytes[] = {Byte4(255, 0, 127, 255), Byte4(0, 51, 255, 255), Byte4(0, 25, 254, 255)};
    Float3Image colourImage;
    Byte4Image byteImage;
    colourImage.setSize(3, 1);
    std::copy(colours, colours + 3, colourImage.data());
    imageConvert(colourImage, byteImage);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(byteImage.data()[i] == bytes[i]) << "colour " << i;
}

namespace {

// Flips random images of every odd shape and compares each pixel, bit for bit, with the one
// the definition puts there: rows reversed, columns reversed, or (no horizontal flip for the
// type) nothing moved.
enum class Expect { kRowsReversed, kColumnsReversed, kUnchanged };
template <class... T>
void checkFlips(void (*flip)(Image&), Expect expect, std::mt19937& rng) {
    auto check = [&](auto image) {
        for (const ixTest::Shape& s : ixTest::kOddShapes) {
            const int w = s.width, h = s.height;
            ixTest::fillRandomBytes(image, w, h, rng);
            const auto before = std::vector(image.data(), image.data() + w * h);
            flip(image);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int sx = expect == Expect::kColumnsReversed ? w - 1 - x : x;
                    const int sy = expect == Expect::kRowsReversed ? h - 1 - y : y;
                    ASSERT_TRUE(ixTest::sameBits(image.at(x, y), before[sy * w + sx]))
                        << "tag " << image.getPixelType() << " " << w << "x" << h << " at (" << x
                        << ", " << y << ")";
                }
        }
    };
    (check(TypedImage<T>()), ...);
}

}  // namespace

// Vertical flips work on every type; horizontal ones on tags 0 to 7 only.
TEST(ImageFlip, VerticalForEveryTypeHorizontalForTagsZeroToSeven) {
    std::mt19937 rng(1);
    checkFlips<unsigned char, Int4, FloatPixel3<double>, ShrmPixel>(imageFlipVertical,
                                                                    Expect::kRowsReversed, rng);
    checkFlips<unsigned char, Byte4, unsigned int, Int4, FloatPixel4<half>, float,
               FloatPixel3<float>, FloatPixel4<float>>(imageFlipHorizontal,
                                                       Expect::kColumnsReversed, rng);
    checkFlips<FloatPixel3<double>, ShrmPixel>(imageFlipHorizontal, Expect::kUnchanged, rng);
    Float4Image empty;  // no pixels: left alone
    empty.setSize(0, 5);
    imageFlipVertical(empty);
    imageFlipHorizontal(empty);
    EXPECT_TRUE(empty.data() == nullptr && empty.getHeight() == 5);
}

// Byte4 images and raw 4-byte pixels (count pixels, none for a count below 1 or null) swap
// bytes 0 and 2; other types are left alone.
TEST(ImageSwapRedBlue, SwapsBytesZeroAndTwoOfByte4Only) {
    Byte4Image bytes, empty;
    Float4Image colours;
    bytes.setSize(1, 1);
    colours.setSize(1, 1);
    bytes.data()[0] = Byte4(10, 20, 30, 40);
    colours.data()[0] = {1.0f, 2.0f, 3.0f, 4.0f};
    imageSwapRedBlue(bytes);
    imageSwapRedBlue(colours);
    imageSwapRedBlue(empty);
    EXPECT_TRUE(bytes.data()[0] == Byte4(30, 20, 10, 40) && colours.data()[0].red == 1.0f);
    char pixels[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    imageSwapRedBlue(pixels, 2);
    imageSwapRedBlue(pixels, -3);
    imageSwapRedBlue(nullptr, 5);
    const char expected[12] = {3, 2, 1, 4, 7, 6, 5, 8, 9, 10, 11, 12};
    EXPECT_TRUE(std::equal(pixels, pixels + 12, expected));
}

// Pixel-wise minimum and maximum, also in place; images of different shapes leave the result
// as it was.
TEST(ImageMinMax, WorkedExamplesAndMismatch) {
    MaskImage a, b, low, high, tall, untouched;
    a.setSize(3, 1);
    b.setSize(3, 1);
    a.data()[0] = 0, a.data()[1] = 200, a.data()[2] = 17;
    b.data()[0] = 5, b.data()[1] = 100, b.data()[2] = 17;
    imageMin(a, b, low);
    imageMax(a, b, high);
    using Values = std::vector<int>;
    EXPECT_EQ(Values(low.data(), low.data() + 3), Values({0, 100, 17}));
    EXPECT_EQ(Values(high.data(), high.data() + 3), Values({5, 200, 17}));
    imageMax(a, b, a);
    EXPECT_EQ(Values(a.data(), a.data() + 3), Values({5, 200, 17}));
    tall.setSize(1, 3);
    untouched.setSize(2, 2);
    untouched.data()[0] = 9;
    imageMin(a, tall, untouched);
    imageMax(a, tall, untouched);
    EXPECT_TRUE(untouched.getWidth() == 2 && untouched.data()[0] == 9);
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
                ASSERT_TRUE(ixTest::sameBits(a.data()[i], result.data()[i]))
                    << op.name << " in place";
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
    const struct {
        const char* what;
        PixelTypeId tagA, tagB;
        int widthB, operation;
    } cases[] = {
        {"tags differ", kPixelFloat3, kPixelFloat4, 4, 0},
        {"sizes differ", kPixelFloat4, kPixelFloat4, 5, 0},
        {"no mask product", kPixelUnsignedChar, kPixelUnsignedChar, 4, 2},
        {"no mask sum", kPixelUnsignedChar, kPixelUnsignedChar, 4, 0},
        {"no float division", kPixelFloat, kPixelFloat, 4, 3},
    };
    for (const auto& c : cases) {
        ix::Reference<Image> a(imageCreateByType(c.tagA)), b(imageCreateByType(c.tagB)),
            result(imageCreateByType(c.tagA));
        a->setSize(4, 4);
        b->setSize(c.widthB, 4);
        fillWhite(*a);
        fillWhite(*b);
        result->setSize(8, 2);
        std::memset(result->pixels(), 0x5A, 16 * std::size_t(result->pixelSize()));
        kOperations[c.operation].function(*a, *b, *result);
        EXPECT_EQ(result->getWidth(), c.tagA == c.tagB ? 4 : 8) << c.what;
        const unsigned char* bytes = static_cast<const unsigned char*>(result->pixels());
        for (int i = 0; i < 16 * result->pixelSize(); ++i) ASSERT_EQ(bytes[i], 0x5A) << c.what;
    }
}

// Masks: b = 0 passes a through; else trunc(a / b * 255 + 0.5) in float, low 8 bits kept.
TEST(ImageDiv, MaskRuleOnEveryPair) {
    MaskImage a, b, result;
    int i = 0, j = 0;
    ixTest::fillComponents<unsigned char, unsigned char>(a, 256, 256, [&i] { return i++ % 256; });
    ixTest::fillComponents<unsigned char, unsigned char>(b, 256, 256, [&j] { return j++ / 256; });
    imageDiv(a, b, result);
    for (int p = 0; p < 256; ++p)
        for (int q = 0; q < 256; ++q)
            ASSERT_EQ(int(result.at(p, q)),
                      q == 0 ? p : int(float(p) / float(q) * 255.0f + 0.5f) % 256)
                << p << " / " << q;
}

// Sums in storage order, scaled by the float reciprocal of the count, bytes truncated. Random
// half bits include infinities and NaNs, which count as 1.
TEST(ImageAverage, MatchesPlainReferenceOnRandomImages) {
    std::mt19937 rng(100);
    for (const ixTest::Shape& s : ixTest::kOddShapes) {
        const int n = s.width * s.height;
        Byte4Image bytes;
        Half4Image halves;
        ixTest::fillRandomBytes(bytes, s.width, s.height, rng);
        ixTest::fillRandomBytes(halves, s.width, s.height, rng);
        std::array<float, 4> byteMean{}, halfMean{};
        for (int i = 0; i < n; ++i)
            for (int k = 0; k < 4; ++k) {
                const float h = componentsOf<FloatPixel4<half>, half>(halves.data()[i])[k];
                byteMean[k] += componentsOf<Byte4, unsigned char>(bytes.data()[i])[k];
                halfMean[k] += std::isfinite(h) ? h : 1.0f;
            }
        for (int k = 0; k < 4; ++k) byteMean[k] = std::trunc(byteMean[k] * (1.0f / float(n)));
        for (int k = 0; k < 4; ++k) halfMean[k] = halfMean[k] * (1.0f / float(n));
        const FloatPixel4<float> byteAverage = imageAverage(bytes),
                                 halfAverage = imageAverage(halves);
        EXPECT_EQ((componentsOf<FloatPixel4<float>, float>(byteAverage)), byteMean) << n;
        EXPECT_EQ((componentsOf<FloatPixel4<float>, float>(halfAverage)), halfMean) << n;
    }
}
