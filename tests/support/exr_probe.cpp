#include "exr_probe.h"

#include <ImathBox.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include <algorithm>
#include <exception>

namespace ixTest {

ix::Reference<ixImage::Float3Image> loadProbeExr(const std::string& path) {
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        const int width = window.max.x - window.min.x + 1, height = window.max.y - window.min.y + 1;
        if (width < 1 || height < 1) return nullptr;
        ix::Reference<ixImage::Float3Image> image(new ixImage::Float3Image());
        image->setSize(width, height);
        // Read in file order (first row first), addressed from the data window's origin.
        const size_t pixel = sizeof(ixImage::FloatPixel3<float>), row = pixel * size_t(width);
        char* origin =
            reinterpret_cast<char*>(image->data()) -
            (ptrdiff_t(window.min.x) * ptrdiff_t(pixel) + ptrdiff_t(window.min.y) * ptrdiff_t(row));
        Imf::FrameBuffer frame;
        const char* names[3] = {"R", "G", "B"};
        for (int c = 0; c < 3; ++c)
            frame.insert(names[c], Imf::Slice(Imf::FLOAT, origin + c * sizeof(float), pixel, row));
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        for (int y = 0; y < height / 2; ++y)  // then bottom-up
            std::swap_ranges(&image->at(0, y), &image->at(0, y) + width,
                             &image->at(0, height - 1 - y));
        return image;
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace ixTest
