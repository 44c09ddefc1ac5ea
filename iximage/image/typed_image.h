// Typed images: an Image whose pixels are one contiguous array of T.
//
// Ten instantiations exist, one per PixelTypeId (pixel_types.h); they are compiled into the
// library, so callers use them without seeing the member definitions. New images are created
// empty (0 x 0, no pixels) and sized with setSize.
//
// Ownership: an image that allocated its buffer owns it (ownsPixels) and releases it when
// resized or destroyed. Thread safety: none; an image is used by one thread at a time, except
// that several threads may read one image whose size does not change.
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/image.h"
#include "iximage/interfaces/pixel_types.h"

namespace ixImage {

template <class T>
class IXIMAGE_API TypedImage : public Image {
public:
    using PixelType = T;

    TypedImage();
    ~TypedImage() override;

    TypedImage(const TypedImage&) = delete;
    TypedImage& operator=(const TypedImage&) = delete;

    int pixelSize() const override;
    int memorySize() const override;
    Image* newEmpty() const override;
    Image* duplicate() const override;

    // Gives the image width x height pixels. When the pixel count changes (or the image does
    // not own its pixels) the owned buffer is released and, for a positive count, a new one is
    // allocated; with the same count and an owned buffer, buffer and contents are kept even if
    // the shape changes. The inverse width and height follow (1.0 for a side below 1).
    void setSize(int width, int height) override;

    void* pixels() override { return pixelData; }
    const void* pixels() const override { return pixelData; }

    // Typed access to the pixel array (null when the image has no pixels).
    T* data() { return pixelData; }
    const T* data() const { return pixelData; }
    T& at(int x, int y) { return pixelData[y * width + x]; }
    const T& at(int x, int y) const { return pixelData[y * width + x]; }

    bool getOwnsPixels() const { return ownsPixels; }

    // Lets the image show pixels that someone else owns (count = width * height elements,
    // alive as long as the image uses them). The image never releases them.
    void setExternalPixels(T* external, int w, int h);

private:
    T* pixelData = nullptr;
    bool ownsPixels = true;
};

extern template class IXIMAGE_API TypedImage<unsigned char>;
extern template class IXIMAGE_API TypedImage<Byte4>;
extern template class IXIMAGE_API TypedImage<unsigned int>;
extern template class IXIMAGE_API TypedImage<Int4>;
extern template class IXIMAGE_API TypedImage<FloatPixel4<half>>;
extern template class IXIMAGE_API TypedImage<float>;
extern template class IXIMAGE_API TypedImage<FloatPixel3<float>>;
extern template class IXIMAGE_API TypedImage<FloatPixel4<float>>;
extern template class IXIMAGE_API TypedImage<FloatPixel3<double>>;
extern template class IXIMAGE_API TypedImage<ShrmPixel>;

using MaskImage = TypedImage<unsigned char>;
using Byte4Image = TypedImage<Byte4>;
using Half4Image = TypedImage<FloatPixel4<half>>;
using FloatImage = TypedImage<float>;
using Float3Image = TypedImage<FloatPixel3<float>>;
using Float4Image = TypedImage<FloatPixel4<float>>;
using Double3Image = TypedImage<FloatPixel3<double>>;
using ShrmImage = TypedImage<ShrmPixel>;

// A new, empty TypedImage of the tag's pixel type (count 0), for tags 0 to 8; null for tag 9
// (SHRM pixels are only made by the SHRM builder) and any other value.
IXIMAGE_API Image* imageCreateByType(PixelTypeId type);

}  // namespace ixImage
