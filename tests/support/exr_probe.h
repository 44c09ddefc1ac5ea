// Loads a real light probe (OpenEXR, RGB) for the tests. Files store the zenith in their first
// row; the library keeps images bottom-up with +Z at the last row of a latitude-longitude map,
// so the file's first row becomes the image's last row.
#pragma once

#include <string>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/reference.h"

namespace ixTest {

// The probe as a FloatPixel3<float> image, or null when the file cannot be read.
ix::Reference<ixImage::Float3Image> loadProbeExr(const std::string& path);

}  // namespace ixTest
