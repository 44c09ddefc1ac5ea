// The view-dependent-map cache of ImageBasedLighting and its ringing-control setting. The maps
// come from the same pipeline as the specular maps (specular_pipeline.h); instead of evaluating
// the SH reflection map at each pixel's own axis and discarding it, its coefficients are kept.
#include "iximage/lighting/detail/specular_pipeline.h"
#include "iximage/lighting/image_based_lighting.h"

namespace ixImage {

ViewDependentMap* ImageBasedLighting::getViewDependentMap(const ReflectanceFunction& rf,
                                                          ixUtil::Progress* progress) {
    if (!usable) return nullptr;
    const int key = rf.getKey();
    const auto cached = viewDependentMaps.find(key);
    if (cached != viewDependentMaps.end()) {
        cached->second.used = true;
        return cached->second.map.get();
    }

    updateLightCoeffs(progress);
    if (!lightCoeffs) return nullptr;  // no matrix file yet: nothing to remember

    ViewDependentEntry& entry = viewDependentMaps[key];
    ix::Reference<ShrmImage> shrm =
        detail::buildReflectionCoefficients(rf, lightWindow, lightCoeffs, progress);
    if (shrm) entry.map = new ViewDependentMap(*shrm);
    if (progress) progress->set(1.0);
    return entry.map.get();
}

void ImageBasedLighting::setLightWindow(const LightWindow& window) {
    if (window == lightWindow) return;
    lightWindow = window;
    specularMaps.clear();
    viewDependentMaps.clear();
}

void ImageBasedLighting::markViewDependentMapUsed(int key) {
    const auto found = viewDependentMaps.find(key);
    if (found != viewDependentMaps.end()) found->second.used = true;
}

void ImageBasedLighting::markAllViewDependentMapsUnused() {
    for (auto& keyAndEntry : viewDependentMaps) keyAndEntry.second.used = false;
}

void ImageBasedLighting::deleteUnusedViewDependentMaps() {
    for (auto it = viewDependentMaps.begin(); it != viewDependentMaps.end();) {
        if (it->second.used)
            ++it;
        else
            it = viewDependentMaps.erase(it);
    }
}

}  // namespace ixImage
