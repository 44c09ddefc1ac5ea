// Library-internal: making a concrete image of a pixel type from this layer.
//
// Concrete images are TypedImage<T>, which lives one layer up, but packet files restore images
// here, below it. So the typed-image layer hands this layer one maker function when the library
// is loaded (iximage/image/typed_image.cpp), and code here calls makeImage. Until a maker is
// set, and for tags the maker does not know, makeImage answers null.
#pragma once

#include "iximage/interfaces/pixel_types.h"

namespace ixImage {

class Image;

using ImageMaker = Image* (*)(PixelTypeId type);

// A new image of the tag's pixel type, width and height 0, reference count 0; or null.
Image* makeImage(PixelTypeId type);

void setImageMaker(ImageMaker maker);

}  // namespace ixImage
