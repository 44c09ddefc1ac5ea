#include "iximage/lighting/image_based_lighting.h"

#include <memory>

#include "iximage/diagnostics/checkpoint.h"
#include "iximage/envmap/recognize_remap.h"
#include "iximage/image/blur.h"
#include "iximage/image/resize.h"
#include "iximage/lighting/irradiance_alg.h"
#include "iximage/lighting/light_probe_check.h"
#include "iximage/sh/light_coeffs.h"
#include "iximage/sh/rotation_matrices.h"

namespace ixImage {

namespace {

// The working resolution of the diffuse and SH passes: the 200 x 100 latitude-longitude grid.
constexpr int kWorkingWidth = 200;
constexpr int kWorkingHeight = 100;
constexpr int kLightOrder = 20;

using LightCoeffs = SphericalHarmonics<FloatPixel3<double>>;

// The probe brought to the 200 x 100 latitude-longitude working grid, with its map.
struct WorkingProbe {
    ix::Reference<Float3Image> image;
    ix::Reference<EnvironmentMap> map;
};

// Empty when the probe's image is missing or not of float RGB pixels.
WorkingProbe makeWorkingProbe(const EnvironmentMap& probe) {
    WorkingProbe working;
    const Image* source = probe.image.get();
    if (!source || source->getPixelType() != kPixelFloat3) return working;

    if (probe.type == EnvironmentMap::kLatLong) {
        // A probe wider than twice the working width is pre-filtered so that the bilinear
        // shrink does not alias: diameter trunc(1/s + 1) for the scale s = 200 / width
        // (401 -> 3, 800 -> 5, 1024 -> 6, 2048 -> 11), no wrapping in the blur.
        ix::Reference<const Image> reached = source;
        const float scale = float(kWorkingWidth) / float(source->getWidth());
        if (scale < 0.5f) {
            const int diameter = int(1.0f / scale + 1.0f);
            ix::Reference<Image> blurred = source->newEmpty();
            imageBlur(*source, *blurred, diameter, false, false);
            reached = blurred;
        }
        ix::Reference<Image> resized = resize(*reached, kWorkingWidth, kWorkingHeight, true);
        if (!resized || resized->getPixelType() != kPixelFloat3) return working;
        working.image = static_cast<Float3Image*>(resized.get());
        working.map = newEnvironmentMap(*working.image);
        return working;
    }

    // A cross: sample it into a latitude-longitude grid that wraps around the seam only.
    working.image = new Float3Image;
    working.image->setSize(kWorkingWidth, kWorkingHeight);
    working.image->setWrap(true, false);
    working.map = newEnvironmentMap(*working.image);
    if (working.map) remap(probe, *working.map);
    return working;
}

}  // namespace

ixOS::Filename ImageBasedLighting::rotationMatrixFilename;

// ---- Construction, copies, destruction ----

ImageBasedLighting::ImageBasedLighting() = default;

ImageBasedLighting::ImageBasedLighting(const ImageBasedLighting& other)
    : usable(other.usable),
      reflectionMap(other.reflectionMap),
      lightCoeffs(other.lightCoeffs ? new LightCoeffs(*other.lightCoeffs) : nullptr),
      irradiance(other.irradiance),
      specularMaps(other.specularMaps),
      viewDependentMaps(other.viewDependentMaps),
      lightWindow(other.lightWindow) {}

ImageBasedLighting& ImageBasedLighting::operator=(const ImageBasedLighting& other) {
    if (this == &other) return *this;
    // The duplicate is made first so that an allocation failure leaves *this unchanged.
    std::unique_ptr<LightCoeffs> coeffs(other.lightCoeffs ? new LightCoeffs(*other.lightCoeffs)
                                                          : nullptr);
    usable = other.usable;
    reflectionMap = other.reflectionMap;
    delete lightCoeffs;
    lightCoeffs = coeffs.release();
    irradiance = other.irradiance;
    specularMaps = other.specularMaps;
    viewDependentMaps = other.viewDependentMaps;
    lightWindow = other.lightWindow;
    return *this;
}

ImageBasedLighting::~ImageBasedLighting() {
    delete lightCoeffs;
    specularMaps.clear();
}

// ---- Probe ----

void ImageBasedLighting::setRotationMatrixFilename(const ixOS::Filename& filename) {
    rotationMatrixFilename = filename;
}

const ixOS::Filename& ImageBasedLighting::getRotationMatrixFilename() {
    return rotationMatrixFilename;
}

void ImageBasedLighting::setLightProbe(TypedImage<FloatPixel3<float>>* probe,
                                       ixUtil::Error& error) {
    // Everything derived from the old probe goes first, so a refused probe leaves nothing.
    delete lightCoeffs;
    lightCoeffs = nullptr;
    reflectionMap.reset();
    irradiance.clear();
    specularMaps.clear();
    viewDependentMaps.clear();
    usable = false;

    if (!probe) {
        error = ixUtil::Error();
        return;
    }
    reflectionMap = makeLightProbeMap(probe, error);
    usable = !reflectionMap.isNull();
}

// ---- Irradiance and light coefficients ----

void ImageBasedLighting::getIrradiance(Irradiance& out, ixUtil::Progress* progress) {
    if (!usable) {
        out.clear();
        return;
    }
    updateLightCoeffs(progress);
    out = irradiance;
}

void ImageBasedLighting::updateLightCoeffs(ixUtil::Progress* progress) {
    if (lightCoeffs || !reflectionMap) return;

    const char* path = rotationMatrixFilename.asMultibyte(ixString::IString::kMultibyte, nullptr);
    if (!initializeReflectance(path, progress)) return;

    const WorkingProbe probe = makeWorkingProbe(*reflectionMap);
    if (!probe.image || !probe.map) return;

    checkpoint(nullptr);
    IrradianceAlg diffuse;
    diffuse.accumulate(*probe.map);
    diffuse.getIrradiance(irradiance);
    checkpoint("irradiance");

    std::unique_ptr<LightCoeffs> coeffs(new LightCoeffs(kLightOrder));
    computeLightCoeffs(*probe.image, *coeffs);
    lightCoeffs = coeffs.release();
    checkpoint("lighting coeffs");
}

}  // namespace ixImage
