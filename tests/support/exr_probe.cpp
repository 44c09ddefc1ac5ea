#include "exr_probe.h"

#include <ImathBox.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include <exception>
#include <vector>

namespace ixTest {

ix::Reference<ixImage::Float3Image> loadProbeExr(const std::string& path) {
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        const int width = window.max.x - window.min.x + 1;
        const int height = window.max.y - window.min.y + 1;
        if (width < 1 || height < 1) return nullptr;

        std::vector<float> planes[3];
        const char* names[3] = {"R", "G", "B"};
        Imf::FrameBuffer frame;
        for (int c = 0; c < 3; ++c) {
            planes[c].assign(static_cast<size_t>(width) * height, 0.0f);
            // Slices are addressed from the data window's origin.
            char* base = reinterpret_cast<char*>(planes[c].data()) -
                         (static_cast<ptrdiff_t>(window.min.x) +
                          static_cast<ptrdiff_t>(window.min.y) * width) *
                             static_cast<ptrdiff_t>(sizeof(float));
            frame.insert(names[c], Imf::Slice(Imf::FLOAT, base, sizeof(float),
                                              sizeof(float) * static_cast<size_t>(width)));
        }
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);

        ix::Reference<ixImage::Float3Image> image(new ixImage::Float3Image());
        image->setSize(width, height);
        for (int fileRow = 0; fileRow < height; ++fileRow) {
            const int y = height - 1 - fileRow;
            for (int x = 0; x < width; ++x) {
                const size_t i = static_cast<size_t>(fileRow) * width + x;
                image->at(x, y) =
                    ixImage::FloatPixel3<float>(planes[0][i], planes[1][i], planes[2][i]);
            }
        }
        return image;
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace ixTest
