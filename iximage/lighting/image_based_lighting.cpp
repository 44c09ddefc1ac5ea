#include "iximage/lighting/image_based_lighting.h"

#include <algorithm>
#include <memory>

#include "iximage/interfaces/checkpoint.h"
#include "iximage/lighting/detail/light_probe_check.h"
#include "iximage/lighting/irradiance_alg.h"
#include "iximage/sh/light_coeffs.h"
#include "iximage/sh/rotation_matrices.h"

namespace ixImage {

namespace {

constexpr int kLightOrder = 20;

using LightCoeffs = SphericalHarmonics<FloatPixel3<double>>;

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
      workingProbeFilter(other.workingProbeFilter),
      viewDependentMaps(other.viewDependentMaps),
      lightWindow(other.lightWindow) {
    std::copy(other.irradianceCoefficients, other.irradianceCoefficients + 9,
              irradianceCoefficients);
}

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
    std::copy(other.irradianceCoefficients, other.irradianceCoefficients + 9,
              irradianceCoefficients);
    specularMaps = other.specularMaps;
    workingProbeFilter = other.workingProbeFilter;
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
    discardDerivedData();
    reflectionMap.reset();
    usable = false;

    if (!probe) {
        error = ixUtil::Error();
        return;
    }
    reflectionMap = makeLightProbeMap(probe, error);
    usable = !reflectionMap.isNull();
}

void ImageBasedLighting::discardDerivedData() {
    delete lightCoeffs;
    lightCoeffs = nullptr;
    irradiance.clear();
    std::fill(irradianceCoefficients, irradianceCoefficients + 9, FloatPixel3<float>());
    specularMaps.clear();
    viewDependentMaps.clear();
}

void ImageBasedLighting::setWorkingProbeFilter(WorkingProbeFilter filter) {
    if (filter == workingProbeFilter) return;
    workingProbeFilter = filter;
    discardDerivedData();
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

void ImageBasedLighting::getIrradianceCoefficients(FloatPixel3<float> out[9],
                                                   ixUtil::Progress* progress) {
    if (usable) updateLightCoeffs(progress);
    std::copy(irradianceCoefficients, irradianceCoefficients + 9, out);
}

void ImageBasedLighting::updateLightCoeffs(ixUtil::Progress* progress) {
    if (lightCoeffs || !reflectionMap) return;

    const char* path = rotationMatrixFilename.asMultibyte(ixString::IString::kMultibyte, nullptr);
    if (!initializeReflectance(path, progress)) return;

    const WorkingProbe probe = makeWorkingProbe(*reflectionMap, workingProbeFilter);
    if (!probe.image || !probe.map) return;

    checkpoint(nullptr);
    IrradianceAlg diffuse;
    diffuse.accumulate(*probe.map);
    diffuse.getIrradiance(irradiance);
    diffuse.getCoefficients(irradianceCoefficients);
    checkpoint("irradiance");

    std::unique_ptr<LightCoeffs> coeffs(new LightCoeffs(kLightOrder));
    computeLightCoeffs(*probe.image, *coeffs);
    lightCoeffs = coeffs.release();
    checkpoint("lighting coeffs");
}

}  // namespace ixImage
