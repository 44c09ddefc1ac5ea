#include "iximage/lighting/working_probe.h"

#include "iximage/envmap/filtered_remap.h"
#include "iximage/envmap/recognize_remap.h"
#include "iximage/image/blur.h"
#include "iximage/image/resize.h"

namespace ixImage {

namespace {

// An empty 200 x 100 float RGB latitude-longitude grid, wrapping around the seam only.
WorkingProbe emptyWorkingGrid() {
    WorkingProbe working;
    working.image = new Float3Image;
    working.image->setSize(kWorkingProbeWidth, kWorkingProbeHeight);
    working.map = newEnvironmentMap(*working.image);
    return working;
}

WorkingProbe blurResizeWorkingProbe(const EnvironmentMap& probe, const Image& source) {
    if (probe.type == EnvironmentMap::kLatLong) {
        // A probe wider than twice the working width is pre-filtered so that the bilinear
        // shrink does not alias: diameter trunc(1/s + 1) for the scale s = 200 / width
        // (401 -> 3, 800 -> 5, 1024 -> 6, 2048 -> 11), no wrapping in the blur.
        ix::Reference<const Image> reached = &source;
        const float scale = float(kWorkingProbeWidth) / float(source.getWidth());
        if (scale < 0.5f) {
            const int diameter = int(1.0f / scale + 1.0f);
            ix::Reference<Image> blurred = source.newEmpty();
            imageBlur(source, *blurred, diameter, false, false);
            reached = blurred;
        }
        ix::Reference<Image> resized =
            resize(*reached, kWorkingProbeWidth, kWorkingProbeHeight, true);
        WorkingProbe working;
        if (!resized || resized->getPixelType() != kPixelFloat3) return working;
        working.image = static_cast<Float3Image*>(resized.get());
        working.map = newEnvironmentMap(*working.image);
        return working;
    }
    if (probe.type != EnvironmentMap::kCross) return WorkingProbe();
    WorkingProbe working = emptyWorkingGrid();
    if (working.map) remap(probe, *working.map);
    return working;
}

}  // namespace

WorkingProbe makeWorkingProbe(const EnvironmentMap& probe, WorkingProbeFilter filter) {
    const Image* source = probe.image.get();
    if (!source || source->getPixelType() != kPixelFloat3) return WorkingProbe();
    switch (filter) {
        case WorkingProbeFilter::kBlurResize: return blurResizeWorkingProbe(probe, *source);
        case WorkingProbeFilter::kEnergyPreserving: {
            WorkingProbe working = emptyWorkingGrid();
            if (working.map) remapFiltered(probe, *working.map);
            return working;
        }
    }
    return WorkingProbe();
}

}  // namespace ixImage
