#include "iximage/image/arithmetic.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "random_image.h"

using namespace ixImage;

namespace {

using ixTest::componentsOf;
using ixTest::kCount;

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

// Each component combined in float and, for half, rounded back once; run in place as well
// (result = a), which must give the same pixels.
template <class T, class C>
void checkAgainstReference(const OperationCase& operation, std::mt19937& rng) {
    for (const ixTest::Shape& shape : ixTest::kOddShapes) {
        const int n = shape.width * shape.height;
        TypedImage<T> a, b, result;
        for (TypedImage<T>* image : {&a, &b})
            ixTest::fillComponents<T, C>(*image, shape.width, shape.height,
                                         [&rng] { return ixTest::randomValue(rng); });
        result.setSize(2, 3);
        operation.function(a, b, result);
        ASSERT_TRUE(result.getWidth() == shape.width && result.getHeight() == shape.height);
        for (int i = 0; i < n; ++i) {
            const auto ca = componentsOf<T, C>(a.data()[i]), cb = componentsOf<T, C>(b.data()[i]);
            const auto got = componentsOf<T, C>(result.data()[i]);
            for (int k = 0; k < kCount<T, C>; ++k) {
                const float expected = float(C(operation.rule(ca[k], cb[k])));
                ASSERT_TRUE(sameValue(got[k], expected))
                    << operation.name << " tag " << a.getPixelType() << " pixel " << i << ": "
                    << ca[k] << ", " << cb[k] << " gave " << got[k] << ", expected " << expected;
            }
        }
        operation.function(a, b, a);
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(ixTest::sameBits(a.data()[i], result.data()[i])) << operation.name << i;
    }
}

}  // namespace

TEST(ImageArithmetic, MatchesPlainReferenceForEveryFloatTypeAndShape) {
    std::mt19937 rng(1);
    for (const OperationCase& operation : kOperations) {
        checkAgainstReference<FloatPixel3<float>, float>(operation, rng);
        checkAgainstReference<FloatPixel4<float>, float>(operation, rng);
        checkAgainstReference<FloatPixel4<half>, half>(operation, rng);
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

// Sums in storage order, scaled by the float reciprocal of the count, bytes truncated. Random
// half bits include infinities and NaNs, which count as 1.
TEST(ImageAverage, MatchesPlainReferenceOnRandomImages) {
    std::mt19937 rng(100);
    for (const ixTest::Shape& shape : ixTest::kOddShapes) {
        const int n = shape.width * shape.height;
        Byte4Image bytes;
        Half4Image halves;
        ixTest::fillRandomBytes(bytes, shape.width, shape.height, rng);
        ixTest::fillRandomBytes(halves, shape.width, shape.height, rng);
        std::array<float, 4> byteSums{}, halfSums{}, byteMean, halfMean;
        for (int i = 0; i < n; ++i)
            for (int k = 0; k < 4; ++k) {
                const float h = componentsOf<FloatPixel4<half>, half>(halves.data()[i])[k];
                byteSums[k] += componentsOf<Byte4, unsigned char>(bytes.data()[i])[k];
                halfSums[k] += std::isfinite(h) ? h : 1.0f;
            }
        for (int k = 0; k < 4; ++k) byteMean[k] = std::trunc(byteSums[k] * (1.0f / float(n)));
        for (int k = 0; k < 4; ++k) halfMean[k] = halfSums[k] * (1.0f / float(n));
        const FloatPixel4<float> byteAverage = imageAverage(bytes),
                                 halfAverage = imageAverage(halves);
        EXPECT_EQ((componentsOf<FloatPixel4<float>, float>(byteAverage)), byteMean) << n;
        EXPECT_EQ((componentsOf<FloatPixel4<float>, float>(halfAverage)), halfMean) << n;
    }
}
