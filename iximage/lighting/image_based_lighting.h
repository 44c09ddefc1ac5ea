// Image-based lighting: one high-dynamic-range light probe and what a renderer derives from it.
//
// Conventions:
//  - Probe: a TypedImage<FloatPixel3<float>> recognised from its shape as a latitude-longitude
//    map (2 : 1) or a vertical cross (3 : 4 with square cells); sphere maps and other shapes are
//    refused. Directions use the environment-map frame: -Y is the centre of every projection,
//    +Z is up (the last row of a latitude-longitude probe).
//  - Irradiance: three symmetric 4 x 4 matrices (red, green, blue). For a unit normal
//    n = (nx, ny, nz) given in the environment-map frame, evaluate
//        E_c(n) = p^T M_c p   with   p = (-nx, -ny, nz, 1),
//    i.e. the matrices live in the environment frame turned half a turn about +Z. E_c is the
//    cosine-weighted integral of the probe's radiance over the hemisphere around n, divided by
//    pi, in the nine-term (bands 0 to 2) spherical-harmonic approximation: a probe of constant
//    radiance 1 gives 1 for every n, and the outgoing radiance of a Lambertian surface of
//    albedo a is a * E_c(n).
//  - Laziness: setting a probe derives nothing. The first getIrradiance or getSpecularMap
//    computes the irradiance and the order-20 light coefficients together from a 200 x 100
//    latitude-longitude working copy of the probe, and keeps them until the next setLightProbe.
//    They are computed only once the rotation-matrix file (setRotationMatrixFilename) has been
//    loaded; while it cannot be, getIrradiance gives the cleared (all-zero) value and every
//    later request tries again.
//  - Working probe: by default the blur-and-resize step (blur and bilinear resize of a
//    latitude-longitude probe, point remap of a cross; see working_probe.h), accurate only for
//    probes near 1024 x 512. setWorkingProbeFilter(kEnergyPreserving) builds it with
//    solid-angle-weighted footprint means instead, equally accurate at every size and for
//    crosses.
//  - Ownership: the object holds one reference on the probe's environment map (which holds the
//    probe image) and one per cached specular map; the caller may drop its own reference to the
//    probe after setLightProbe. The light coefficients belong to this object alone: a copy gets
//    its own duplicate of them (so a copy of a lit object is lit), never a shared pointer.
//  - Threads: no locking. Use one object from one thread at a time. The rotation-matrix file
//    name and the loaded matrices are process-wide: set them up while no lighting runs.
#pragma once

#include <map>

#include "iximage/envmap/environment_map.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/error.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/interfaces/progress.h"
#include "iximage/interfaces/reference.h"
#include "iximage/interfaces/strings.h"
#include "iximage/lighting/reflectance_function.h"
#include "iximage/lighting/view_dependent_map.h"
#include "iximage/lighting/working_probe.h"
#include "iximage/sh/light_window.h"
#include "iximage/sh/spherical_harmonics.h"

class ioWriteContext;
class ioReadContext;

namespace ixImage {

class IXIMAGE_API ImageBasedLighting {
public:
    // One cached specular map. map is null when the build for its key produced nothing (that
    // failure is remembered); used drives the mark-and-sweep clean-up and starts true.
    struct SpecularMapEntry {
        ix::Reference<EnvironmentMap> map;
        bool used = true;
    };

    ImageBasedLighting();
    // Shares the probe map and the cached specular maps, copies the irradiance and duplicates
    // the light coefficients.
    ImageBasedLighting(const ImageBasedLighting& other);
    ImageBasedLighting& operator=(const ImageBasedLighting& other);
    virtual ~ImageBasedLighting();

    // Names the spherical-harmonic rotation-matrix file. It is read once per process, by the
    // first computation of light coefficients; a name set after a successful load is ignored.
    static void setRotationMatrixFilename(const ixOS::Filename& filename);
    static const ixOS::Filename& getRotationMatrixFilename();

    // Discards everything derived from the previous probe (irradiance, light coefficients,
    // every cached specular map), then installs probe. A null probe removes the probe and sets
    // error to the no-error value. A refused image leaves the object without a probe and sets
    // error (code 1) to "The image you have specified is not a recognized environment map
    // shape.Please consult the documentation for descriptions of the supported types." or
    // "Image based lighting only supports vertical cross and latitude-longitude environment
    // maps."; on success error is left as it was. Hold probe in an ix::Reference of your own
    // while calling: like any counted object, an image that nobody references is destroyed
    // together with a refused sphere map.
    void setLightProbe(TypedImage<FloatPixel3<float>>* probe, ixUtil::Error& error);

    bool haveUsableLightProbe() const { return usable; }

    // The probe map: the probe as an environment map (kLatLong or kCross), or null; no reference
    // is added. Not to be confused with the SH reflection maps of sh/reflection_map.h.
    EnvironmentMap* getReflectionMap() { return reflectionMap.get(); }

    // The irradiance of the current probe (see the frame above), or the cleared value when
    // there is no usable probe or the rotation-matrix file cannot be loaded. progress may be
    // null; it sees the matrix file's loading progress on the first request of the process.
    void getIrradiance(Irradiance& out, ixUtil::Progress* progress);

    // The nine band-0..2 irradiance coefficients per channel (IrradianceAlg order and frame)
    // behind the matrices of getIrradiance, computed together with them (a call derives both
    // when they are absent, as getIrradiance does). All zero when getIrradiance would give the
    // cleared value.
    void getIrradianceCoefficients(FloatPixel3<float> out[9], ixUtil::Progress* progress);

    // How the 200 x 100 working probe is built. Changing it discards everything derived from
    // the probe (irradiance, light coefficients, cached specular maps) as a new probe would;
    // setting the current value changes nothing. The probe itself stays.
    void setWorkingProbeFilter(WorkingProbeFilter filter);
    WorkingProbeFilter getWorkingProbeFilter() const { return workingProbeFilter; }

    // The order-20 light coefficients once computed (null before), owned by this object.
    const SphericalHarmonics<FloatPixel3<double>>* getLightCoeffs() const { return lightCoeffs; }

    // Specular-map cache (implemented in specular_cache.cpp).
    // The cached or newly built 200 x 100 latitude-longitude specular map for rf's key, or
    // null. The cache keeps the reference: the pointer is valid until the entry is deleted, the
    // probe changes or the object is destroyed, unless the caller takes its own reference.
    EnvironmentMap* getSpecularMap(const ReflectanceFunction& rf, ixUtil::Progress* progress);
    void markSpecularMapUsed(int key);
    void markAllSpecularMapsUnused();
    void deleteUnusedSpecularMaps();

    // View-dependent maps (implemented in view_dependent_cache.cpp): the reflected light of the
    // probe under rf for any (normal, view) pair (view_dependent_map.h), built by the same
    // pipeline as the specular map and cached under rf's key beside it. The mark-and-sweep
    // calls above act on both caches alike; setLightProbe empties both. Null without a usable
    // probe, without the rotation-matrix file, or when rf reflects nothing (remembered like a
    // failed specular map). The cache holds the reference, as for specular maps.
    ViewDependentMap* getViewDependentMap(const ReflectanceFunction& rf,
                                          ixUtil::Progress* progress);

    // Ringing control (light_window.h): the window applied to the light coefficients before
    // specular and view-dependent maps are built. Off by default. Changing it discards every
    // cached specular and view-dependent map, since they were built under the old window; the
    // irradiance and the stored light coefficients are not windowed.
    void setLightWindow(const LightWindow& window);
    const LightWindow& getLightWindow() const { return lightWindow; }

    // Persistence in the application's packet files (implemented in persistence.cpp): the
    // usable flag, the irradiance, the probe image and the cached specular images with their
    // keys. Everything else is derived again on demand after a read.
    void writeSubPacket(ioWriteContext& context);
    void readSubPacket(ioReadContext& context);

private:
    // Computes irradiance and lightCoeffs when they are absent and the matrix file loads.
    void updateLightCoeffs(ixUtil::Progress* progress);
    // Frees the light coefficients, clears the irradiance and empties the cache.
    void discardDerivedData();

    struct ViewDependentEntry {
        ix::Reference<ViewDependentMap> map;
        bool used = true;
    };
    void markViewDependentMapUsed(int key);
    void markAllViewDependentMapsUnused();
    void deleteUnusedViewDependentMaps();

    bool usable = false;
    ix::Reference<EnvironmentMap> reflectionMap;  // the probe map
    SphericalHarmonics<FloatPixel3<double>>* lightCoeffs = nullptr;
    Irradiance irradiance;
    FloatPixel3<float> irradianceCoefficients[9];
    std::map<int, SpecularMapEntry> specularMaps;
    WorkingProbeFilter workingProbeFilter = WorkingProbeFilter::kBlurResize;
    std::map<int, ViewDependentEntry> viewDependentMaps;
    LightWindow lightWindow;

    static ixOS::Filename rotationMatrixFilename;
};

}  // namespace ixImage
