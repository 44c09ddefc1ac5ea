#include "iximage/interfaces/image.h"

namespace ixImage {

Image::~Image() = default;

void Image::frame(int& x, int& y) const {
    if (x >= width) x = wrapHorizontal ? x - width : width - 1;
    if (y >= height) y = wrapVertical ? y - height : height - 1;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
}

}  // namespace ixImage
