#include "iximage/image/arithmetic.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <type_traits>

#include "random_image.h"

using namespace ixImage;

namespace {

using Components = std::array<float, 4>;
Components componentsOf(const FloatPixel3<float>& p) { return {p.red, p.green, p.blue, 0.0f}; }
template <class P>
Components componentsOf(const P& p) {
    return {float(p.red), float(p.green), float(p.blue), float(p.alpha)};
}
template <class T>
T pixelOf(const Components& c) {
    return T(c[0], c[1], c[2], c[3]);
}
template <>
FloatPixel3<float> pixelOf<FloatPixel3<float>>(const Components& c) {
    return {c[0], c[1], c[2]};
}

bool sameValue(float x, float y) { return x == y || (std::isnan(x) && std::isnan(y)); }

struct OperationCase {
    const char* name;
    void (*function)(const Image&, const Image&, Image&);
    float (*rule)(float, float);  // the component rule, in float
};
const OperationCase kOperations[] = {
    {"imageAdd", imageAdd, [](float x, float y) { return x + y; }},
    {"imageSub", imageSub, [](float x, float y) { return x - y; }},
    {"imageMult", imageMult, [](float x, float y) { return x * y; }},
    {"imageDiv", imageDiv, [](float x, float y) { return x / y; }},
};

// Plain reference: each component combined in float; half results rounded back to half once.
// Also run in place (result = a), which must give the same pixels.
template <class T>
void checkAgainstReference(const OperationCase& operation, std::mt19937& rng) {
    for (const ixTest::Shape& shape : ixTest::kOddShapes) {
        TypedImage<T> a, b, result;
        for (TypedImage<T>* image : {&a, &b}) {
            image->setSize(shape.width, shape.height);
            for (int i = 0; i < shape.width * shape.height; ++i)
                image->data()[i] = pixelOf<T>({ixTest::randomValue(rng), ixTest::randomValue(rng),
                                               ixTest::randomValue(rng), ixTest::randomValue(rng)});
        }
        result.setSize(2, 3);
        operation.function(a, b, result);
        ASSERT_EQ(result.getWidth(), shape.width);
        ASSERT_EQ(result.getHeight(), shape.height);
        for (int i = 0; i < shape.width * shape.height; ++i) {
            const Components ca = componentsOf(a.data()[i]), cb = componentsOf(b.data()[i]);
            const Components got = componentsOf(result.data()[i]);
            for (int k = 0; k < 4; ++k) {
                float expected = operation.rule(ca[k], cb[k]);
                if (std::is_same_v<T, FloatPixel4<half>>) expected = half(expected);
                if (std::is_same_v<T, FloatPixel3<float>> && k == 3) expected = 0.0f;
                ASSERT_TRUE(sameValue(got[k], expected))
                    << operation.name << " tag " << a.getPixelType() << " " << shape.width << "x"
                    << shape.height << " pixel " << i << ": " << ca[k] << ", " << cb[k] << " gave "
                    << got[k] << ", expected " << expected;
            }
        }
        operation.function(a, b, a);
        for (int i = 0; i < shape.width * shape.height; ++i)
            ASSERT_TRUE(ixTest::sameBits(a.data()[i], result.data()[i])) << operation.name << i;
    }
}

}  // namespace

TEST(ImageArithmetic, MatchesPlainReferenceForEveryFloatTypeAndShape) {
    std::mt19937 rng(1);
    for (const OperationCase& operation : kOperations) {
        checkAgainstReference<FloatPixel3<float>>(operation, rng);
        checkAgainstReference<FloatPixel4<float>>(operation, rng);
        checkAgainstReference<FloatPixel4<half>>(operation, rng);
    }
}

// Silent outcomes. result is pre-sized to the pixel count of a, so its buffer (holding a
// sentinel) survives the resize; "untouched" also keeps its shape.
TEST(ImageArithmetic, MismatchesAndUnsupportedTypesWriteNothing) {
    struct Case {
        const char* what;
        PixelTypeId tagA, tagB;
        int widthB, op;  // op indexes kOperations
        bool resized;
    };
    const Case cases[] = {
        {"tags differ", kPixelFloat3, kPixelFloat4, 4, 0, false},
        {"sizes differ", kPixelFloat4, kPixelFloat4, 5, 0, true},
        {"no mask product", kPixelUnsignedChar, kPixelUnsignedChar, 4, 2, true},
        {"no mask sum", kPixelUnsignedChar, kPixelUnsignedChar, 4, 0, true},
        {"no float division", kPixelFloat, kPixelFloat, 4, 3, true},
    };
    for (const Case& c : cases) {
        ix::Reference<Image> a(imageCreateByType(c.tagA)), b(imageCreateByType(c.tagB));
        ix::Reference<Image> result(imageCreateByType(c.tagA));
        a->setSize(4, 4);
        b->setSize(c.widthB, 4);
        fillWhite(*a);
        fillWhite(*b);
        result->setSize(8, 2);
        std::memset(result->pixels(), 0x5A, 16 * std::size_t(result->pixelSize()));
        kOperations[c.op].function(*a, *b, *result);
        EXPECT_EQ(result->getWidth(), c.resized ? 4 : 8) << c.what;
        const unsigned char* bytes = static_cast<const unsigned char*>(result->pixels());
        for (int i = 0; i < 16 * result->pixelSize(); ++i)
            ASSERT_EQ(bytes[i], 0x5A) << c.what << " byte " << i;
    }
}

TEST(ImageDiv, MaskRuleOnEveryPair) {
    // b = 0 passes a through; else trunc(a / b * 255 + 0.5) in float, low 8 bits kept.
    MaskImage a, b, result;
    a.setSize(256, 256);
    b.setSize(256, 256);
    for (int i = 0; i < 256 * 256; ++i) {
        a.data()[i] = static_cast<unsigned char>(i % 256);
        b.data()[i] = static_cast<unsigned char>(i / 256);
    }
    imageDiv(a, b, result);
    for (int i = 0; i < 256 * 256; ++i) {
        const int p = i % 256, q = i / 256;
        const int expected = q == 0 ? p : int(float(p) / float(q) * 255.0f + 0.5f) % 256;
        ASSERT_EQ(int(result.data()[i]), expected) << p << " / " << q;
    }
}

// Plain references: sums in storage order, scaled by the float reciprocal of the count, bytes
// truncated. Random half bits include infinities and NaNs, which count as 1.
TEST(ImageAverage, MatchesPlainReferenceOnRandomImages) {
    std::mt19937 rng(100);
    for (const ixTest::Shape& shape : ixTest::kOddShapes) {
        const float inverse = 1.0f / float(shape.width * shape.height);
        Byte4Image bytes;
        Half4Image halves;
        ixTest::fillRandomBytes(bytes, shape.width, shape.height, rng);
        ixTest::fillRandomBytes(halves, shape.width, shape.height, rng);
        unsigned byteSums[4] = {};
        Components halfSums{}, byteMean, halfMean;
        for (int i = 0; i < shape.width * shape.height; ++i) {
            const Byte4& p = bytes.data()[i];
            const unsigned channels[4] = {p.red, p.green, p.blue, p.alpha};
            const Components h = componentsOf(halves.data()[i]);
            for (int k = 0; k < 4; ++k) byteSums[k] += channels[k];
            for (int k = 0; k < 4; ++k) halfSums[k] += std::isfinite(h[k]) ? h[k] : 1.0f;
        }
        for (int k = 0; k < 4; ++k) byteMean[k] = std::trunc(float(byteSums[k]) * inverse);
        for (int k = 0; k < 4; ++k) halfMean[k] = halfSums[k] * inverse;
        EXPECT_EQ(componentsOf(imageAverage(bytes)), byteMean)
            << shape.width << "x" << shape.height;
        EXPECT_EQ(componentsOf(imageAverage(halves)), halfMean)
            << shape.width << "x" << shape.height;
    }
}
