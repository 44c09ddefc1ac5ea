// The working probe: a light probe brought to the 200 x 100 latitude-longitude grid on which
// the irradiance and the order-20 light coefficients are computed.
//
// Conventions:
//  - The result is a TypedImage<FloatPixel3<float>> of 200 x 100 pixels in the
//    latitude-longitude projection (pixel (x, y) centred at ((x + 0.5) / 200, (y + 0.5) / 100),
//    row 0 at -Z), wrapping along u only, together with its map.
//  - Two ways to get there:
//      kBlurResize: a latitude-longitude probe wider than 400 pixels is blurred (diameter
//        trunc(width / 200 + 1), computed in float as 1 / s + 1 with s = 200 / width, no
//        wrapping) and then resized bilinearly; a narrower one is only resized; a cross is
//        point-sampled with remap. This keeps energy only near one shrink factor: a source
//        smaller than a working pixel is hit, missed or split by chance.
//      kEnergyPreserving: remapFiltered from any projection and size: every working pixel is
//        the solid-angle-weighted mean of the probe over its footprint, so the probe's power
//        is kept, wherever it is.
//  - Ownership: the result holds the only references to a new image and map; the probe map
//    and its image are only read. Threads: no shared state; one call per probe at a time.
#pragma once

#include "iximage/envmap/environment_map.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/constants.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/reference.h"

namespace ixImage {

enum class WorkingProbeFilter {
    kBlurResize,        // blur and bilinear resize, or point remap of a cross (the default)
    kEnergyPreserving,  // solid-angle-weighted footprint means (remapFiltered)
};

constexpr int kWorkingProbeWidth = kShGridWidth;
constexpr int kWorkingProbeHeight = kShGridHeight;

struct WorkingProbe {
    ix::Reference<Float3Image> image;
    ix::Reference<EnvironmentMap> map;
};

// The probe on the working grid, or an empty result (both null) when the probe has no image,
// its pixels are not float RGB, or its projection is a sphere map under kBlurResize.
IXIMAGE_API WorkingProbe makeWorkingProbe(const EnvironmentMap& probe, WorkingProbeFilter filter);

}  // namespace ixImage
