// ibl-bake: bakes a light probe into diffuse irradiance and specular maps.
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bake.h"
#include "batch.h"

namespace {

using iblBake::kExitSuccess;
using iblBake::kExitUsageError;

const char* const kHelp = R"(Usage: ibl-bake [options] [PROBE...]

Bakes a high-dynamic-range light probe into image-based lighting data: diffuse irradiance
(9 spherical-harmonic coefficients per channel and three 4 x 4 matrices), an irradiance map,
one specular map per reflectance, and tone-mapped PNG previews.

PROBE is an OpenEXR (.exr), Radiance (.hdr) or PFM (.pfm) file, recognised by its content.
Its shape decides the projection unless --projection says: width = 2 x height is
latitude-longitude, width:height = 3:4 a vertical cross, a square an angular map (converted to
latitude-longitude before baking); anything else is refused. The top row of the picture is
the zenith (+Z). Without PROBE a built-in procedural sun-and-sky probe is baked. With several
probes, each is baked into DIR/<file stem>/ in one run; a bad one is reported and skipped.

Pixels that are not light: a probe with NaN or infinite pixels is refused (exit 3) unless
--fix-nonfinite repairs them; negative values are clamped to 0 (and counted in one line).

Options:
  -o, --out DIR              output folder (default: out), created if missing
      --phong N              add a Phong specular map with exponent N (1..100000); repeatable
      --lambert              add a Lambert (diffuse) specular map
      --ggx ALPHA[,F0]       add a GGX microfacet map, width ALPHA in (0, 1], Fresnel
                             reflectance F0 in [0, 1] at normal incidence (default 1: no
                             Fresnel); repeatable
      --blinn N              add a normalised Blinn-Phong map, exponent N (0..16000); repeatable
      --measured FILE        add a map of a measured BRDF table (90 x 90 x 180 binary file)
                             (with no map option: --phong 8 --phong 32 --lambert)
      --window KIND          ringing control on the light: none (default), hann or lanczos
      --exposure STOPS       preview exposure in stops (default 0)
      --gamma G              preview display gamma (default 2.2)
      --saturation S         preview saturation exponent (default 1)
      --rotation-matrices F  spherical-harmonic rotation-matrix file (default: found beside
                             the executable, ../share/iximage/sh_rotation_matrices.txt)
      --no-contact-sheet     skip contact_sheet.png
      --no-viewer            skip viewer.html
      --blur-resize-working-probe
                             build the 200 x 100 working probe the library's default way
                             (blur and bilinear resize, point remap of a cross) instead of
                             the energy-preserving resampling used by default for every
                             size and projection; accurate only near 1024 x 512
      --fix-nonfinite HOW    repair NaN and infinite pixels instead of refusing the probe:
                             black (set to 0) or neighbours (mean of the finite neighbours)
      --projection P         how to read the probe: latlong, cross, angular (square, the
                             centre looks forward along -Y, the rim backward, radius
                             proportional to the angle) or mirror-ball (a square photograph of
                             a chrome ball, radius = sin(angle / 2)); default: from the shape
  -q, --quiet                print nothing but errors (this also silences the library's
                             order-analysis lines on standard output)
  -h, --help                 show this help
      --version              show the version

Outputs (in DIR): irradiance.json, irradiance.exr, specular_phong_N.exr, specular_lambert.exr,
specular_ggx_ALPHA[_F0].exr, specular_blinn_N.exr, specular_measured_NAME.exr,
a .png preview of each and of the probe (probe.png), balls.png (a matte ball and one ball
per specular map, lit by the bake), contact_sheet.png and viewer.html (the balls in a browser,
drag to turn, wheel to zoom). EXR maps are 200 x 100 latitude-longitude float RGB in the
probe's units, top row = zenith. Files are written atomically.

Exit status: 0 success, 1 an output could not be written, 2 usage error, 3 input error (a
probe or the rotation-matrix file refused; with several probes, the others are still baked).

Examples:
  ibl-bake                                        # bake the built-in sky into out/
  ibl-bake --out studio studio.exr                # bake a probe
  ibl-bake --phong 16 --exposure -2 sky.hdr       # one Phong map, darker previews
  ibl-bake --fix-nonfinite neighbours render.exr  # repair NaN pixels, then bake
  ibl-bake --projection mirror-ball ball.hdr      # a chrome-ball photograph
  ibl-bake --out level probes/*.exr               # level/<stem>/ for each probe
)";

// A progress bar on standard error, redrawn in place while a stage runs.
class TerminalProgress : public ixUtil::Progress {
public:
    void begin(const std::string& name) {
        stage = name;
        lastPercent = -1;
        set(0.0);
    }
    void set(double fraction) override {
        Progress::set(fraction);
        const double clamped = fraction < 0.0 ? 0.0 : (fraction > 1.0 ? 1.0 : fraction);
        const int percent = int(clamped * 100.0);
        if (percent == lastPercent) return;
        lastPercent = percent;
        constexpr int kBarWidth = 30;
        const int filled = int(clamped * kBarWidth);
        std::fprintf(stderr, "\r  %-12s [%.*s%*s] %3d%%", stage.c_str(), filled,
                     "##############################", kBarWidth - filled, "", percent);
        std::fflush(stderr);
    }
    void end() {
        set(1.0);
        std::fputc('\n', stderr);
    }

private:
    std::string stage;
    int lastPercent = -1;
};

class ConsoleListener : public iblBake::BakeListener {
public:
    ConsoleListener(bool quiet, bool terminal) : quiet(quiet), terminal(terminal) {}

    ixUtil::Progress* beginStage(const std::string& name) override {
        if (quiet || !terminal) return nullptr;
        bar.begin(name);
        return &bar;
    }
    void endStage() override {
        if (!quiet && terminal) bar.end();
    }
    void wrote(const std::string& path, const std::string& what) override {
        if (!quiet && !terminal)
            std::fprintf(stderr, "ibl-bake: wrote %s (%s)\n", path.c_str(), what.c_str());
    }
    void note(const std::string& line) override {
        if (!quiet) std::fprintf(stderr, "%s\n", line.c_str());
    }
    void problem(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }

private:
    bool quiet;
    bool terminal;
    TerminalProgress bar;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "ibl-bake: %s (try --help)\n", message.c_str());
    return kExitUsageError;
}

bool parseNumber(const char* text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(value);
}

}  // namespace

int main(int argc, char** argv) {
    iblBake::BakeOptions options;
    options.tone.gamma = 2.2f;
    options.tone.exposure = 0.0f;
    options.tone.saturation = 1.0f;
    bool quiet = false;
    std::vector<std::string> probes;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // Options that take a value accept "--name value" and "--name=value".
        std::string name = arg, value;
        bool hasValue = false;
        const size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        auto takeValue = [&]() {
            if (hasValue) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };

        if (name == "-h" || name == "--help") {
            std::fputs(kHelp, stdout);
            return kExitSuccess;
        } else if (name == "--version") {
            std::printf("ibl-bake (iximage) 0.1.0\n");
            return kExitSuccess;
        } else if (name == "-q" || name == "--quiet") {
            quiet = true;
        } else if (name == "--lambert") {
            options.lambert = true;
        } else if (name == "--no-contact-sheet") {
            options.contactSheet = false;
        } else if (name == "--no-viewer") {
            options.viewer = false;
        } else if (name == "--blur-resize-working-probe") {
            options.energyPreservingWorkingProbe = false;
        } else if (name == "-o" || name == "--out") {
            if (!takeValue() || value.empty()) return usageError(name + " needs a folder");
            options.outputDir = value;
        } else if (name == "--rotation-matrices") {
            if (!takeValue() || value.empty()) return usageError(name + " needs a file");
            options.rotationMatrixPath = value;
        } else if (name == "--phong") {
            double exponent = 0.0;
            if (!takeValue() || !parseNumber(value.c_str(), exponent) ||
                exponent != std::floor(exponent) || exponent < 1.0 || exponent > 100000.0)
                return usageError("--phong needs an integer exponent from 1 to 100000, not '" +
                                  value + "'");
            options.phongExponents.push_back(int(exponent));
        } else if (name == "--ggx") {
            // ALPHA or ALPHA,F0
            const size_t comma = takeValue() ? value.find(',') : std::string::npos;
            double alpha = 0.0, f0 = 1.0;
            if (!parseNumber(value.substr(0, comma).c_str(), alpha) || !(alpha > 0.0) ||
                alpha > 1.0 ||
                (comma != std::string::npos &&
                 (!parseNumber(value.substr(comma + 1).c_str(), f0) || f0 < 0.0 || f0 > 1.0)))
                return usageError(
                    "--ggx needs ALPHA in (0, 1] and optionally ,F0 in [0, 1], not '" + value +
                    "'");
            options.ggx.push_back({alpha, f0});
        } else if (name == "--blinn") {
            double exponent = 0.0;
            if (!takeValue() || !parseNumber(value.c_str(), exponent) || exponent < 0.0 ||
                exponent > 16000.0)
                return usageError("--blinn needs an exponent from 0 to 16000, not '" + value + "'");
            options.blinnExponents.push_back(exponent);
        } else if (name == "--measured") {
            if (!takeValue() || value.empty()) return usageError(name + " needs a file");
            options.measuredPath = value;
        } else if (name == "--window") {
            const char* const kinds[] = {"none", "hann", "lanczos"};  // LightWindow::Kind order
            const bool given = takeValue();
            int kind = 0;
            while (kind < 3 && (!given || value != kinds[kind])) ++kind;
            if (kind == 3)
                return usageError("--window needs none, hann or lanczos, not '" + value + "'");
            options.window.kind = ixImage::LightWindow::Kind(kind);
        } else if (name == "--exposure" || name == "--gamma" || name == "--saturation") {
            double number = 0.0;
            if (!takeValue() || !parseNumber(value.c_str(), number))
                return usageError(name + " needs a number, not '" + value + "'");
            if (name == "--gamma" && !(number > 0.0)) return usageError("--gamma must be positive");
            if (name == "--exposure") options.tone.exposure = float(number);
            if (name == "--gamma") options.tone.gamma = float(number);
            if (name == "--saturation") options.tone.saturation = float(number);
        } else if (name == "--fix-nonfinite") {
            if (!takeValue() || !iblBake::parseNonFinitePolicy(value, options.nonFinite))
                return usageError("--fix-nonfinite needs black or neighbours, not '" + value + "'");
        } else if (name == "--projection") {
            if (!takeValue() || !iblBake::parseProbeProjection(value, options.projection))
                return usageError(
                    "--projection needs latlong, cross, angular or mirror-ball, not '" + value +
                    "'");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option '" + arg + "'");
        } else {
            probes.push_back(arg);
        }
    }
    if (options.phongExponents.empty() && !options.lambert && options.ggx.empty() &&
        options.blinnExponents.empty() && options.measuredPath.empty()) {
        options.phongExponents = {8, 32};
        options.lambert = true;
    }

    // The library prints its order analysis on standard output; quiet means quiet.
    if (quiet && !std::freopen("/dev/null", "w", stdout))
        return usageError("cannot silence standard output");
    ConsoleListener listener(quiet, isatty(STDERR_FILENO) != 0);
    return iblBake::bakeProbes(options, probes, listener);
}
