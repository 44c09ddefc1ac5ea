// The specular-map cache of ImageBasedLighting and the pipeline that fills it:
//   BRDF sampling -> reflectance coefficients -> order analysis -> SH reflection map (threaded)
//   -> evaluation along each pixel's own axis -> 200 x 100 latitude-longitude map.
//
// Sampling contract of ReflectanceFunction::sampleBrdf, as this pipeline reads it: sample
// [i][j][k] (dims 100 x 100 x 200) is the reflectance times the cosine of the incident angle,
// in the frame of the surface, at incident polar angle theta_i = i pi / 100, outgoing polar
// angle theta_j = j pi / 100 and azimuth difference phi_k = k pi / 100. The map then holds, for
// each pixel direction R, the integral over incident directions w of L(w) times that function
// with the surface frame's axis on R, seen along R (theta_j = 0). norm, per channel, is
//   sum over all samples of sample^2 sin(theta_i) sin(theta_j) (pi / 100)^3,
// the squared norm of the function, against which the order analysis measures the share of its
// energy that the coefficients capture. A component of exactly 0 means "nothing to reflect":
// no map is built and the entry remembers the failure.
#include <memory>
#include <utility>
#include <vector>

#include "iximage/envmap/latlong_map.h"
#include "iximage/interfaces/checkpoint.h"
#include "iximage/interfaces/constants.h"
#include "iximage/lighting/brdf_coeff_cache.h"
#include "iximage/lighting/detail/incident_profile.h"
#include "iximage/lighting/detail/specular_pipeline.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/detail/profile_brdf_coeffs.h"
#include "iximage/sh/order_analysis.h"
#include "iximage/sh/reflection_map.h"
#include "iximage/sh/specular_map.h"

namespace ixImage {

namespace {

using Rgb = FloatPixel3<double>;
using BrdfArray = ixUtil::ArrayN<3, Rgb>;

constexpr int kPolarSamples = kShGridHeight;
constexpr int kAzimuthSamples = kShGridWidth;
constexpr int kBands = 21;
constexpr int kBrdfOrder = 10;
constexpr int kMapWidth = kShGridWidth;
constexpr int kMapHeight = kShGridHeight;

// Samples the reflectance and projects it onto SH; null when its norm has a zero channel.
// (A NaN component is not zero and goes on.) The result depends on the reflectance alone, so
// for the library's own models it comes from the process-wide cache (brdf_coeff_cache.h) when
// another build already made it.
std::shared_ptr<const BrdfArray> sampleAndProjectBrdf(const ReflectanceFunction& rf, Rgb& norm) {
    BrdfCoeffEntry entry;
    if (findBrdfCoeffs(rf, entry)) {
        norm = entry.norm;
        return entry.coeffs;
    }
    std::unique_ptr<BrdfArray> coeffs;
    std::vector<double> profile;
    checkpoint(nullptr);
    if (detail::incidentProfileOf(rf, profile)) {
        // The library's incident-angle models: the same coefficients from the 100 profile
        // values, without the 48 MB sample array.
        norm = detail::profileNorm(profile, kPolarSamples, kAzimuthSamples);
        checkpoint("brdf sampling");
        if (norm.red != 0.0 && norm.green != 0.0 && norm.blue != 0.0) {
            coeffs.reset(new BrdfArray({kBands, kBands, kBands}));
            detail::computeBrdfCoeffsOfProfile(profile.data(), *coeffs, kBrdfOrder);
            checkpoint("brdf coeffs");
        }
    } else {
        BrdfArray samples({kPolarSamples, kPolarSamples, kAzimuthSamples});
        rf.sampleBrdf(samples, norm);
        checkpoint("brdf sampling");
        if (norm.red != 0.0 && norm.green != 0.0 && norm.blue != 0.0) {
            coeffs.reset(new BrdfArray({kBands, kBands, kBands}));
            computeBrdfCoeffs(samples, *coeffs, kBrdfOrder);
            checkpoint("brdf coeffs");
        }
    }  // the 48 MB of samples go before the SH reflection map is built
    entry.norm = norm;
    entry.coeffs = std::move(coeffs);
    storeBrdfCoeffs(rf, entry);
    return entry.coeffs;
}

}  // namespace

namespace detail {

ix::Reference<ShrmImage> buildReflectionCoefficients(const ReflectanceFunction& rf,
                                                     const LightWindow& window,
                                                     const SphericalHarmonics<Rgb>* lightCoeffs,
                                                     ixUtil::Progress* progress) {
    // A window works on a copy: the stored coefficients stay those of the probe.
    std::unique_ptr<SphericalHarmonics<Rgb>> windowed;
    if (window.kind != LightWindow::kNone) {
        windowed.reset(new SphericalHarmonics<Rgb>(*lightCoeffs));
        applyLightWindow(window, *windowed);
        lightCoeffs = windowed.get();
    }
    if (progress) progress->set(0.1);
    Rgb norm;
    std::shared_ptr<const BrdfArray> coeffs = sampleAndProjectBrdf(rf, norm);
    if (!coeffs) return nullptr;
    if (progress) progress->set(0.4);

    int lightOrder = 0;
    int brdfOrder = 0;
    computeOrder(*lightCoeffs, *coeffs, norm, lightOrder, brdfOrder);

    ix::Reference<ShrmImage> shrm(new ShrmImage());
    computeReflectionCoeffs(*lightCoeffs, *coeffs, lightOrder, brdfOrder, *shrm, progress);
    coeffs.reset();
    checkpoint(nullptr);
    return shrm;
}

}  // namespace detail

EnvironmentMap* ImageBasedLighting::getSpecularMap(const ReflectanceFunction& rf,
                                                   ixUtil::Progress* progress) {
    if (!usable) return nullptr;

    const int key = rf.getKey();
    const auto cached = specularMaps.find(key);
    if (cached != specularMaps.end()) {
        cached->second.used = true;
        return cached->second.map.get();
    }

    updateLightCoeffs(progress);
    // Without the matrix file there are no light coefficients to build from. Nothing is
    // remembered: a later request, once the file loads, builds the map.
    if (!lightCoeffs) return nullptr;

    ix::Reference<ShrmImage> shrm =
        detail::buildReflectionCoefficients(rf, lightWindow, lightCoeffs, progress);
    if (!shrm) {
        specularMaps[key] = SpecularMapEntry();
        return nullptr;
    }

    ix::Reference<Float3Image> image(new Float3Image());
    image->setSize(kMapWidth, kMapHeight);
    // The light leaving along each pixel's own axis, all view bands, unscaled.
    const double view[3] = {0.0, 0.0, 1.0};
    computeSpecularMap(*shrm, view, kBrdfOrder, 1.0, *image);
    checkpoint("view-dependent texture");
    if (progress) progress->set(1.0);
    shrm.reset();

    ix::Reference<EnvironmentMap> map(new LatLongMap(kMapWidth, kMapHeight));
    map->setImage(image.get());

    SpecularMapEntry& entry = specularMaps[key];
    entry.map = map;
    entry.used = true;
    return map.get();
}

void ImageBasedLighting::markSpecularMapUsed(int key) {
    const auto found = specularMaps.find(key);
    if (found != specularMaps.end()) found->second.used = true;
    markViewDependentMapUsed(key);
}

void ImageBasedLighting::markAllSpecularMapsUnused() {
    for (auto& keyAndEntry : specularMaps) keyAndEntry.second.used = false;
    markAllViewDependentMapsUnused();
}

void ImageBasedLighting::deleteUnusedSpecularMaps() {
    for (auto it = specularMaps.begin(); it != specularMaps.end();) {
        if (it->second.used)
            ++it;
        else
            it = specularMaps.erase(it);
    }
    deleteUnusedViewDependentMaps();
}

}  // namespace ixImage
