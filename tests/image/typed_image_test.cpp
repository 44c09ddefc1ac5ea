#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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

// Borrowed pixels are shown and written through, but never released: not when a new size
// needs a buffer of the image's own, and not by the destructor (ASan reports a wrong free).
TEST(TypedImage, ExternalPixelsAreUsedButNeverReleased) {
    std::vector<float> borrowed = {1, 2, 3, 4, 5, 6};
    {
        FloatImage image;
        image.setSize(4, 4);  // an owned buffer, released when the borrowed one comes in
        image.setExternalPixels(borrowed.data(), 3, 2);
        EXPECT_EQ(image.data(), borrowed.data());
        EXPECT_FALSE(image.getOwnsPixels());
        EXPECT_EQ(image.getWidth() * 10 + image.getHeight(), 32);
        EXPECT_EQ(image.getInverseWidth(), 1.0f / 3.0f);
        EXPECT_EQ(image.at(2, 1), 6.0f);
        image.at(0, 1) = 9.0f;
        image.setSize(2, 3);  // same count, but not its own: a fresh owned buffer
        EXPECT_NE(image.data(), borrowed.data());
        EXPECT_TRUE(image.getOwnsPixels());
        image.setExternalPixels(borrowed.data(), 6, 1);
    }
    EXPECT_EQ(borrowed[3], 9.0f);
}
