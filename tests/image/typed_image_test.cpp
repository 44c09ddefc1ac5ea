#include <gtest/gtest.h>

#include <cstring>

#include "iximage/image/typed_image.h"

using namespace ixImage;

namespace {

struct TypeCase {
    PixelTypeId tag;
    int pixelSize;
};
const TypeCase kCreatable[] = {
    {kPixelUnsignedChar, 1}, {kPixelByte4, 4},   {kPixelUnsignedInt, 4},
    {kPixelInt4, 16},        {kPixelHalf4, 8},   {kPixelFloat, 4},
    {kPixelFloat3, 12},      {kPixelFloat4, 16}, {kPixelDouble3, 24},
};

}  // namespace

// Every creatable tag gives an empty image of its pixel size; duplicate() copies shape, wrap
// flags and pixels into a buffer of its own; newEmpty() keeps the type only.
TEST(TypedImage, CreateDuplicateAndNewEmptyForEveryCreatableTag) {
    for (const TypeCase& c : kCreatable) {
        ix::Reference<Image> image(imageCreateByType(c.tag));
        ASSERT_TRUE(image) << "tag " << c.tag;
        EXPECT_EQ(image->getPixelType(), c.tag);
        EXPECT_EQ(image->pixelSize(), c.pixelSize) << "tag " << c.tag;
        EXPECT_TRUE(image->getWidth() == 0 && image->getHeight() == 0 && !image->pixels());
        image->setSize(3, 2);
        image->setWrap(true, false);
        unsigned char* bytes = static_cast<unsigned char*>(image->pixels());
        for (int i = 0; i < 6 * c.pixelSize; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 1);
        ix::Reference<Image> copy(image->duplicate());
        ASSERT_EQ(copy->getPixelType(), c.tag);
        EXPECT_TRUE(copy->getWidth() == 3 && copy->getHeight() == 2) << "tag " << c.tag;
        EXPECT_TRUE(copy->getWrapHorizontal() && !copy->getWrapVertical()) << "tag " << c.tag;
        EXPECT_EQ(std::memcmp(copy->pixels(), bytes, size_t(6 * c.pixelSize)), 0);
        bytes[0] ^= 0xFF;  // the copy must not see later changes
        EXPECT_NE(static_cast<unsigned char*>(copy->pixels())[0], bytes[0]) << "tag " << c.tag;
        ix::Reference<Image> empty(image->newEmpty());
        EXPECT_TRUE(empty->getPixelType() == c.tag && empty->getWidth() == 0 && !empty->pixels());
    }
    for (int tag : {9, 10, -1, 1000})
        EXPECT_EQ(imageCreateByType(PixelTypeId(tag)), nullptr) << tag;
}

TEST(TypedImage, ReflectionMapPixelIsOrderTenWithZeroCoefficients) {
    ShrmImage image;
    EXPECT_EQ(image.pixelSize(), 2912);
    image.setSize(2, 1);
    for (int x = 0; x < 2; ++x) {
        EXPECT_TRUE(image.at(x, 0).order == 10 && image.at(x, 0).count == 121);
        for (const auto& c : image.at(x, 0).coeffs) EXPECT_EQ(c.red + c.green + c.blue, 0.0);
    }
}

TEST(TypedImage, SetSizeReusesAndReleasesBuffers) {
    Float3Image image;
    const int objectSize = image.memorySize();
    image.setSize(0, 5);  // no pixels; a zero side reads as inverse 1
    EXPECT_EQ(image.getInverseWidth(), 1.0f);
    EXPECT_EQ(image.getInverseHeight(), 0.2f);
    EXPECT_EQ(image.data(), nullptr);

    image.setSize(4, 4);
    EXPECT_EQ(image.memorySize(), objectSize + 16 * 12);
    for (int i = 0; i < 16; ++i) image.data()[i] = FloatPixel3<float>(float(i), 0.f, 0.f);
    const FloatPixel3<float>* buffer = image.data();
    image.setSize(2, 8);  // same pixel count: same buffer, same contents
    EXPECT_EQ(image.data(), buffer);
    EXPECT_EQ(image.getInverseWidth(), 0.5f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(image.data()[i].red, float(i));

    image.setSize(0, 0);
    EXPECT_EQ(image.data(), nullptr);
    EXPECT_TRUE(image.getOwnsPixels());
    EXPECT_EQ(image.memorySize(), int(sizeof(Float3Image)));
}
