// The image base class.
//
// Conventions shared by every image of the library:
//  - Pixels are one contiguous row-major array: pixel (x, y) is element y * width + x, rows
//    follow each other with no gap. Row 0 is the bottom of a picture (the dumps write the last
//    row first); for latitude-longitude maps row 0 looks towards -Z.
//  - An image is reference counted (ix::ReferenceCount): created on the heap with a count of 0
//    and held through ix::Reference<Image>.
//  - The concrete class is always TypedImage<T> (iximage/image/typed_image.h); getPixelType()
//    names T.
//  - Wrap flags say whether the picture is periodic across its left/right edges (horizontal)
//    and its first/last rows (vertical); sampling and padding honour them.
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/int_range.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/interfaces/reference.h"

namespace ixImage {

class IXIMAGE_API Image : public ix::ReferenceCount {
public:
    explicit Image(PixelTypeId type) : pixelType(type) {}
    ~Image() override;

    PixelTypeId getPixelType() const { return pixelType; }
    int getWidth() const { return width; }
    int getHeight() const { return height; }
    // 1 / width and 1 / height as floats, or 1.0 for a side smaller than 1.
    float getInverseWidth() const { return inverseWidth; }
    float getInverseHeight() const { return inverseHeight; }
    bool getWrapHorizontal() const { return wrapHorizontal; }
    bool getWrapVertical() const { return wrapVertical; }

    void setWrap(bool horizontal, bool vertical) {
        wrapHorizontal = horizontal;
        wrapVertical = vertical;
    }

    // Brings a right/lower neighbour position (at most one past the last column or row) back
    // inside the image: wrapping to 0 where the image wraps in that direction, clamping to the
    // last column or row otherwise. Positions already inside are unchanged.
    void frame(int& x, int& y) const;

    // Origin (0, 0), size (width, height).
    void range(ixUtil::IntRange2d& r) const { r = ixUtil::IntRange2d(0, 0, width, height); }

    // Bytes per pixel.
    virtual int pixelSize() const = 0;
    // Size of the image object plus, when it has pixels, width * height * pixelSize (32-bit).
    virtual int memorySize() const = 0;
    // A new empty image of the same pixel type (count 0, no pixels).
    virtual Image* newEmpty() const = 0;
    // A new image (count 0) with the same size, wrap flags and a copy of the pixel bytes.
    virtual Image* duplicate() const = 0;
    // Gives the image this size; see TypedImage::setSize for buffer reuse.
    virtual void setSize(int width, int height) = 0;
    virtual void* pixels() = 0;
    virtual const void* pixels() const = 0;

protected:
    PixelTypeId pixelType;
    int width = 0;
    int height = 0;
    float inverseWidth = 1.0f;
    float inverseHeight = 1.0f;
    bool wrapHorizontal = false;
    bool wrapVertical = false;
};

// Sets every pixel of a sized image to white: 255 for 8-bit channels, all bits for unsigned
// int, 255 per channel for Int4 (the 8-bit scale), 1.0 for float and half components (alpha
// included), and for SHRM pixels the expansion of a constant radiance of 1 (only the
// band-0 coefficient, sqrt(4 pi), per channel).
IXIMAGE_API void fillWhite(Image& image);

}  // namespace ixImage
