#include "iximage/image/typed_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace ixImage;

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
