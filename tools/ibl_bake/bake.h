// The ibl-bake pipeline: a light probe in, irradiance and specular maps (with previews) out.
//
// Conventions
//  - Directions: the library's probe frame, +Z up, the latitude-longitude map's centre column
//    looking along -Y, its quarter columns along +X (u = 1/4) and -X (u = 3/4), its edges +Y.
//  - The irradiance coefficients and matrices are in the library's irradiance frame
//    (x, y, z) = (-X, -Y, Z) of the probe frame; irradiance.json states it in its "frame".
//  - Images are bottom-up (row 0 = nadir); files are written top row (zenith) first.
//  - Units: every output is in the probe's radiance units. The irradiance value for a normal
//    is the cosine-weighted integral of the light over the hemisphere divided by pi (1 under a
//    uniform probe of 1), the outgoing radiance of a white Lambertian surface.
//  - Not thread-safe: the library's rotation matrices are process-wide, so bake one probe at
//    a time.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/progress.h"
#include "iximage/sh/light_window.h"
#include "iximage/tonemap/tone_map.h"
#include "probe_projection.h"
#include "probe_repair.h"

namespace iblBake {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitOutputError = 1,  // an output could not be written
    kExitUsageError = 2,   // bad command line
    kExitInputError = 3,   // the probe (or rotation-matrix file) is missing, unreadable or refused
};

struct BakeOptions {
    std::string inputPath;  // empty: the built-in sun-and-sky probe
    std::string outputDir = "out";
    std::vector<int> phongExponents;
    bool lambert = false;
    struct Ggx {
        double alpha, f0;
    };
    std::vector<Ggx> ggx;                // microfacet maps, one per entry
    std::vector<double> blinnExponents;  // half-vector maps
    std::string measuredPath;            // a measured BRDF table file, or empty
    ixImage::LightWindow window;         // ringing control (off by default)
    ixImage::ToneControls tone;          // set by the caller (ibl-bake defaults to gamma 2.2)
    std::string rotationMatrixPath;
    bool contactSheet = true;
    bool viewer = true;  // viewer.html
    // The 200 x 100 working probe by solid-angle-weighted footprint means (accurate at every
    // size and projection); false: the library's default blur-and-resize / point remap.
    bool energyPreservingWorkingProbe = true;
    NonFinitePolicy nonFinite = NonFinitePolicy::kRefuse;  // --fix-nonfinite
    ProbeProjection projection = ProbeProjection::kAuto;   // --projection
};

// What the pipeline tells its caller as it goes; the default does nothing.
class BakeListener {
public:
    virtual ~BakeListener() = default;
    // A long stage starts; the returned Progress (may be null) is handed to the library.
    virtual ixUtil::Progress* beginStage(const std::string& name) {
        (void)name;
        return nullptr;
    }
    virtual void endStage() {}
    // An output file is in place.
    virtual void wrote(const std::string& path, const std::string& what) {
        (void)path;
        (void)what;
    }
    // A line for the user that is not an error: a repair, progress over many probes, a summary.
    virtual void note(const std::string& line) { (void)line; }
    // A one-line error (a probe refused or an output not written).
    virtual void problem(const std::string& line) { (void)line; }
};

struct BakeResult {
    int exitCode = kExitSuccess;
    std::string message;  // one line naming the file and the problem, when exitCode != 0
    std::vector<std::string> outputs;
};

// pendingCheck, when given, is a check still running on another thread (the rotation-matrix
// file's): the bake reads the probe meanwhile and calls it, waiting for its verdict, before it
// writes anything or reports another input error; a non-empty verdict ends the bake with it
// (exit 3).
BakeResult bake(const BakeOptions& options, BakeListener& listener,
                const std::function<std::string()>& pendingCheck = {});

// The nine band-0..2 coefficients per channel (IrradianceAlg order) behind the lighting
// object's matrices.
struct IrradianceCoefficients {
    float red[9] = {};
    float green[9] = {};
    float blue[9] = {};
};

// The irradiance as a width x width/2 latitude-longitude image.
ixImage::Float3Image* makeIrradianceMap(const ixImage::Irradiance& irradiance, int width = 200);

// The JSON document written to irradiance.json.
std::string irradianceJson(const IrradianceCoefficients& coefficients,
                           const ixImage::Irradiance& irradiance, const std::string& source,
                           int probeWidth, int probeHeight, const std::string& projection,
                           const std::vector<std::string>& outputs);

// <folder of this executable>/../share/iximage/sh_rotation_matrices.txt, or "" when unknown.
std::string defaultRotationMatrixPath();

}  // namespace iblBake
