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

TEST(TypedImage, CreateByTypeGivesEmptyImagesOfEveryCreatableTag) {
    for (const TypeCase& c : kCreatable) {
        ix::Reference<Image> image(imageCreateByType(c.tag));
        ASSERT_TRUE(image) << "tag " << c.tag;
        EXPECT_EQ(image->getPixelType(), c.tag);
        EXPECT_EQ(image->pixelSize(), c.pixelSize) << "tag " << c.tag;
        EXPECT_EQ(image->getWidth(), 0);
        EXPECT_EQ(image->getHeight(), 0);
        EXPECT_EQ(image->pixels(), nullptr);
        EXPECT_EQ(image->getRefCount(), 1);
    }
    for (int tag : {9, 10, -1, 1000})
        EXPECT_EQ(imageCreateByType(PixelTypeId(tag)), nullptr) << tag;
}

TEST(TypedImage, ReflectionMapPixelIsOrderTenWithZeroCoefficients) {
    ShrmImage image;
    EXPECT_EQ(image.pixelSize(), 2912);
    image.setSize(2, 1);
    for (int x = 0; x < 2; ++x) {
        EXPECT_EQ(image.at(x, 0).order, 10);
        EXPECT_EQ(image.at(x, 0).count, 121);
        for (const auto& c : image.at(x, 0).coeffs) EXPECT_EQ(c.red + c.green + c.blue, 0.0);
    }
}

TEST(TypedImage, SetSizeReusesAndReleasesBuffers) {
    Float3Image image;
    image.setSize(0, 5);
    EXPECT_EQ(image.getWidth(), 0);
    EXPECT_EQ(image.getInverseWidth(), 1.0f);
    EXPECT_EQ(image.getInverseHeight(), 0.2f);
    EXPECT_EQ(image.data(), nullptr);

    image.setSize(4, 4);
    ASSERT_NE(image.data(), nullptr);
    for (int i = 0; i < 16; ++i) image.data()[i] = FloatPixel3<float>(float(i), 0.f, 0.f);
    const FloatPixel3<float>* buffer = image.data();
    image.setSize(2, 8);  // same pixel count: same buffer, same contents
    EXPECT_EQ(image.data(), buffer);
    EXPECT_EQ(image.getInverseWidth(), 0.5f);
    EXPECT_EQ(image.getInverseHeight(), 0.125f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(image.data()[i].red, float(i));

    image.setSize(0, 0);
    EXPECT_EQ(image.data(), nullptr);
    EXPECT_TRUE(image.getOwnsPixels());
    EXPECT_EQ(image.memorySize(), int(sizeof(Float3Image)));
}

TEST(TypedImage, MemorySizeCountsPixelsOnlyWhenPresent) {
    Float4Image image;
    const int object = image.memorySize();
    image.setSize(3, 5);
    EXPECT_EQ(image.memorySize(), object + 3 * 5 * 16);
}

TEST(TypedImage, DuplicateIsIndependentForEveryType) {
    for (const TypeCase& c : kCreatable) {
        ix::Reference<Image> image(imageCreateByType(c.tag));
        image->setSize(3, 2);
        image->setWrap(true, false);
        unsigned char* bytes = static_cast<unsigned char*>(image->pixels());
        for (int i = 0; i < 3 * 2 * c.pixelSize; ++i)
            bytes[i] = static_cast<unsigned char>(i * 7 + 1);
        ix::Reference<Image> copy(image->duplicate());
        ASSERT_EQ(copy->getPixelType(), c.tag);
        EXPECT_EQ(copy->getWidth(), 3);
        EXPECT_EQ(copy->getHeight(), 2);
        EXPECT_TRUE(copy->getWrapHorizontal());
        EXPECT_FALSE(copy->getWrapVertical());
        EXPECT_NE(copy->pixels(), image->pixels());
        EXPECT_EQ(std::memcmp(copy->pixels(), image->pixels(), size_t(6 * c.pixelSize)), 0);
        bytes[0] ^= 0xFF;  // the copy must not see later changes
        EXPECT_NE(static_cast<unsigned char*>(copy->pixels())[0], bytes[0]) << "tag " << c.tag;
    }
}

TEST(TypedImage, NewEmptyKeepsTheTypeOnly) {
    Half4Image image;
    image.setSize(4, 4);
    ix::Reference<Image> empty(image.newEmpty());
    EXPECT_EQ(empty->getPixelType(), kPixelHalf4);
    EXPECT_EQ(empty->getWidth(), 0);
    EXPECT_EQ(empty->pixels(), nullptr);
}
