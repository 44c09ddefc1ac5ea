#include "bake.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>

#include "balls.h"
#include "hdr_io.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/lighting/blinn_phong_reflectance.h"
#include "iximage/lighting/ggx_reflectance.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/irradiance_alg.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/measured_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "json_text.h"
#include "output_queue.h"
#include "preview.h"
#include "probe_intake.h"
#include "sky_probe.h"
#include "viewer.h"

namespace iblBake {

using ixImage::Float3Image;
using ixImage::FloatPixel3;

namespace {

constexpr int kDefaultProbeHeight = 256;

std::string formatFloat(double value, int digits) {
    if (!std::isfinite(value)) return "null";  // JSON has no NaN or infinity
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

const char* projectionName(const ixImage::EnvironmentMap* map) {
    if (!map) return "none";
    switch (map->type) {
        case ixImage::EnvironmentMap::kLatLong: return "latitude-longitude";
        case ixImage::EnvironmentMap::kCross: return "vertical cross";
        case ixImage::EnvironmentMap::kSphere: return "sphere";
    }
    return "unknown";
}

// One requested reflectance: the library object and how its outputs are named.
struct Reflectance {
    std::unique_ptr<ixImage::ReflectanceFunction> function;
    std::string name;  // "phong 8", "lambert"
    std::string stem;  // "specular_phong_8"
};

// A parameter as short as it reads back: 0.5, 0.04, 16.
std::string shortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

BakeResult failed(int code, std::string message) {
    BakeResult result;
    result.exitCode = code;
    result.message = std::move(message);
    return result;
}

}  // namespace

// ---- Irradiance helpers ----

Float3Image* makeIrradianceMap(const ixImage::Irradiance& irradiance, int width) {
    const int w = std::max(2, width);
    const int h = w / 2;
    Float3Image* image = new Float3Image;
    image->setSize(w, h);
    const ixImage::LatLongMap projection(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ixLinear::VectorFlt dir;
            projection.coordToDir((x + 0.5f) / float(w), (y + 0.5f) / float(h), dir);
            const FloatPixel3<double> e =
                ixImage::evaluateIrradiance(irradiance, dir.x, dir.y, dir.z);
            image->at(x, y) = FloatPixel3<float>(float(e.red), float(e.green), float(e.blue));
        }
    return image;
}

std::string irradianceJson(const IrradianceCoefficients& coefficients,
                           const ixImage::Irradiance& irradiance, const std::string& source,
                           int probeWidth, int probeHeight, const std::string& projection,
                           const std::vector<std::string>& outputs) {
    std::string json = "{\n";
    json += "  \"frame\": " +
            jsonString(
                "Right-handed, +z up. Coefficients and matrices use (x, y, z) = (-X, -Y, Z) of the "
                "probe frame, in which +Z is up, the centre column of a latitude-longitude probe "
                "looks along -Y, the column at u = 1/4 along +X and the image's top row is the "
                "zenith. Irradiance for a unit normal n = (x, y, z): (x, y, z, 1) M (x, y, z, 1)^T "
                "per channel, the cosine-weighted integral of the light over the hemisphere around "
                "n divided by pi, in the probe's radiance units (1 under a uniform probe of 1).") +
            ",\n";
    json += "  \"source\": " + jsonString(source) + ",\n";
    json += "  \"probe\": {\"width\": " + std::to_string(probeWidth) +
            ", \"height\": " + std::to_string(probeHeight) +
            ", \"projection\": " + jsonString(projection) + "},\n";
    json +=
        "  \"basis\": [\"1\", \"y\", \"z\", \"x\", \"x*y\", \"y*z\", \"3*z^2-1\", \"x*z\", "
        "\"x^2-y^2\"],\n";
    json += "  \"coefficients\": {\n";
    const float* channels[3] = {coefficients.red, coefficients.green, coefficients.blue};
    const char* names[3] = {"red", "green", "blue"};
    for (int c = 0; c < 3; ++c) {
        json += std::string("    \"") + names[c] + "\": [";
        for (int k = 0; k < 9; ++k) json += (k ? ", " : "") + formatFloat(channels[c][k], 9);
        json += c < 2 ? "],\n" : "]\n";
    }
    json += "  },\n  \"matrices\": {\n";
    const ixLinear::ProjMatrix* matrices[3] = {&irradiance.red, &irradiance.green,
                                               &irradiance.blue};
    for (int c = 0; c < 3; ++c) {
        json += std::string("    \"") + names[c] + "\": [";
        for (int r = 0; r < 4; ++r) {
            json += r ? ", [" : "[";
            for (int col = 0; col < 4; ++col)
                json += (col ? ", " : "") + formatFloat(matrices[c]->m[r][col], 17);
            json += "]";
        }
        json += c < 2 ? "],\n" : "]\n";
    }
    json += "  },\n  \"outputs\": [";
    for (size_t i = 0; i < outputs.size(); ++i) json += (i ? ", " : "") + jsonString(outputs[i]);
    json += "]\n}\n";
    return json;
}

std::string defaultRotationMatrixPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || self.empty()) return std::string();
    return (self.parent_path() / ".." / "share" / "iximage" / "sh_rotation_matrices.txt")
        .lexically_normal()
        .string();
}

// ---- The pipeline ----

BakeResult bake(const BakeOptions& options, BakeListener& listener,
                const std::function<std::string()>& pendingCheck) {
    // The rotation matrices first: without them nothing can be computed.
    const std::string matrixPath = options.rotationMatrixPath.empty() ? defaultRotationMatrixPath()
                                                                      : options.rotationMatrixPath;
    if (std::FILE* file = std::fopen(matrixPath.c_str(), "rb")) {
        std::fclose(file);
    } else {
        return failed(kExitInputError,
                      "ibl-bake: " + (matrixPath.empty() ? std::string("<unknown>") : matrixPath) +
                          ": cannot read the rotation-matrix file (use --rotation-matrices FILE)");
    }
    ixImage::ImageBasedLighting::setRotationMatrixFilename(ixOS::Filename(matrixPath));
    // An input error found while the pending check runs yields to the check's own verdict, so
    // a bad rotation-matrix file is reported first, as when it is checked before the bake.
    auto refuse = [&pendingCheck](std::string message) {
        const std::string verdict = pendingCheck ? pendingCheck() : std::string();
        return failed(kExitInputError, verdict.empty() ? std::move(message) : verdict);
    };

    // A measured table is read before anything is written, so a bad file leaves no outputs.
    std::unique_ptr<ixImage::MeasuredReflectance> measuredTable;
    if (!options.measuredPath.empty()) {
        ixUtil::Error error;
        measuredTable = ixImage::MeasuredReflectance::readFile(options.measuredPath, error);
        if (!measuredTable) return refuse("ibl-bake: " + error.getMessage());
    }

    // The probe.
    ix::Reference<Float3Image> probe;
    std::string source;
    int fileWidth = 0, fileHeight = 0;  // as the file holds it, before any conversion
    std::string converted;              // the file's projection when it was converted
    if (options.inputPath.empty()) {
        probe = makeSkyProbe(kDefaultProbeHeight);
        source = "built-in sun-and-sky probe";
    } else {
        const IntakeResult intake = takeProbe(options, listener);
        if (!intake.probe) return refuse("ibl-bake: " + options.inputPath + ": " + intake.error);
        probe = intake.probe;
        source = options.inputPath;
        fileWidth = intake.fileWidth;
        fileHeight = intake.fileHeight;
        converted = intake.converted;
    }

    ixImage::ImageBasedLighting lighting;
    lighting.setWorkingProbeFilter(options.energyPreservingWorkingProbe
                                       ? ixImage::WorkingProbeFilter::kEnergyPreserving
                                       : ixImage::WorkingProbeFilter::kBlurResize);
    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
    if (!lighting.haveUsableLightProbe())
        return refuse("ibl-bake: " + (options.inputPath.empty() ? source : options.inputPath) +
                      ": " + error.getMessage());
    // What needs no rotation matrices is made while the check may still run: the probe's
    // preview and the background the balls and the viewer page are drawn against.
    ixImage::ToneMap toneMap;
    toneMap.calculate(options.tone);
    Rgb8Image probePreview = tonemapPreview(*probe, toneMap);
    // Declared before the output queue so that it outlives the queue: the viewer page is built
    // on the queue's thread from this map.
    const ix::Reference<ixImage::EnvironmentMap> background = makeBackgroundMap(*probe);
    if (pendingCheck) {
        const std::string verdict = pendingCheck();
        if (!verdict.empty()) return failed(kExitInputError, verdict);
    }
    const std::string projection = converted.empty()
                                       ? projectionName(lighting.getReflectionMap())
                                       : converted + ", converted to latitude-longitude " +
                                             std::to_string(probe->getWidth()) + " x " +
                                             std::to_string(probe->getHeight());
    if (fileWidth == 0) {
        fileWidth = probe->getWidth();
        fileHeight = probe->getHeight();
    }

    std::error_code folderError;
    std::filesystem::create_directories(options.outputDir, folderError);
    if (folderError)
        return failed(kExitOutputError, "ibl-bake: " + options.outputDir +
                                            ": cannot create the output folder (" +
                                            folderError.message() + ")");
    const std::string folder = options.outputDir + (options.outputDir.back() == '/' ? "" : "/");

    BakeResult result;
    std::vector<SheetTile> tiles;

    // Files are encoded and written on the queue's thread while the next map is computed; a
    // failed write is reported at the next file queued (or at the end).
    OutputQueue queue;
    // Queues the file `name` of the output folder; write receives its path and must own what it
    // reads. Returns the problem of an earlier file, if one failed.
    auto queueFile = [&](const std::string& name, const std::string& what,
                         std::function<std::string(const std::string& path)> write) {
        const std::string path = folder + name;
        queue.add(name, path, what, [write, path] { return write(path); });
        return queue.collect(listener, result.outputs);
    };
    auto queuePreview = [&](Rgb8Image preview, const std::string& name, const std::string& label) {
        auto pixels = std::make_shared<std::vector<unsigned char>>(preview.pixels);
        const int width = preview.width, height = preview.height;
        tiles.push_back(SheetTile{label, std::move(preview)});
        return queueFile(name + ".png",
                         "preview, " + std::to_string(width) + " x " + std::to_string(height),
                         [pixels, width, height](const std::string& path) {
                             return writePng(*pixels, width, height, path);
                         });
    };
    auto writePreview = [&](const Float3Image& image, const std::string& name,
                            const std::string& label) {
        return queuePreview(tonemapPreview(image, toneMap), name, label);
    };
    auto writeMap = [&](const Float3Image& image, const std::string& name,
                        const std::string& what) {
        // The queue's own copy: counted images must not be shared between threads.
        auto copy = std::make_shared<Float3Image>();
        copy->setSize(image.getWidth(), image.getHeight());
        std::copy(image.data(), image.data() + size_t(image.getWidth()) * image.getHeight(),
                  copy->data());
        return queueFile(name + ".exr",
                         what + ", " + std::to_string(image.getWidth()) + " x " +
                             std::to_string(image.getHeight()) + " float RGB",
                         [copy](const std::string& path) { return writeExr(*copy, path); });
    };

    std::string problem = queuePreview(std::move(probePreview), "probe", "PROBE");
    if (!problem.empty()) return failed(kExitOutputError, problem);

    // Irradiance.
    ixImage::Irradiance irradiance;
    lighting.getIrradiance(irradiance, listener.beginStage("irradiance"));
    listener.endStage();
    if (!lighting.getLightCoeffs())
        return failed(kExitInputError,
                      "ibl-bake: " + matrixPath + ": the rotation-matrix file could not be loaded");
    FloatPixel3<float> computed[ixImage::IrradianceAlg::kCoefficientCount];
    lighting.getIrradianceCoefficients(computed, nullptr);
    IrradianceCoefficients coefficients;
    for (int k = 0; k < ixImage::IrradianceAlg::kCoefficientCount; ++k) {
        coefficients.red[k] = computed[k].red;
        coefficients.green[k] = computed[k].green;
        coefficients.blue[k] = computed[k].blue;
    }
    ix::Reference<Float3Image> irradianceMap(makeIrradianceMap(irradiance));
    problem = writeMap(*irradianceMap, "irradiance", "irradiance map");
    if (problem.empty()) problem = writePreview(*irradianceMap, "irradiance", "IRRADIANCE");
    if (!problem.empty()) return failed(kExitOutputError, problem);

    // Specular maps.
    std::vector<Reflectance> reflectances;
    for (int exponent : options.phongExponents) {
        Reflectance phong;
        phong.function.reset(new ixImage::PhongReflectance(exponent));
        phong.name = "phong " + std::to_string(exponent);
        phong.stem = "specular_phong_" + std::to_string(exponent);
        reflectances.push_back(std::move(phong));
    }
    if (options.lambert) {
        Reflectance lambert;
        lambert.function.reset(new ixImage::LambertReflectance);
        lambert.name = "lambert";
        lambert.stem = "specular_lambert";
        reflectances.push_back(std::move(lambert));
    }
    for (const BakeOptions::Ggx& parameters : options.ggx) {
        Reflectance ggx;
        auto* model = new ixImage::GgxReflectance(parameters.alpha, parameters.f0);
        ggx.function.reset(model);
        const std::string alpha = shortNumber(model->getAlpha());
        const bool fresnel = model->getF0() != 1.0;
        ggx.name = "ggx " + alpha + (fresnel ? " f0 " + shortNumber(model->getF0()) : "");
        ggx.stem = "specular_ggx_" + alpha + (fresnel ? "_" + shortNumber(model->getF0()) : "");
        reflectances.push_back(std::move(ggx));
    }
    for (double exponent : options.blinnExponents) {
        Reflectance blinn;
        auto* model = new ixImage::BlinnPhongReflectance(exponent);
        blinn.function.reset(model);
        blinn.name = "blinn-phong " + shortNumber(model->getExponent());
        blinn.stem = "specular_blinn_" + shortNumber(model->getExponent());
        reflectances.push_back(std::move(blinn));
    }
    if (measuredTable) {
        Reflectance measured;
        measured.function = std::move(measuredTable);
        std::string stem = options.measuredPath.substr(options.measuredPath.find_last_of('/') + 1);
        stem = stem.substr(0, stem.find('.'));
        measured.name = "measured " + stem;
        measured.stem = "specular_measured_" + stem;
        reflectances.push_back(std::move(measured));
    }
    lighting.setLightWindow(options.window);
    std::vector<BallMaterial> ballMaterials = {{"MATTE", nullptr}};
    for (const Reflectance& reflectance : reflectances) {
        ixImage::EnvironmentMap* map =
            lighting.getSpecularMap(*reflectance.function, listener.beginStage(reflectance.name));
        listener.endStage();
        const Float3Image* image =
            map && map->image && map->image->getPixelType() == ixImage::kPixelFloat3
                ? static_cast<const Float3Image*>(map->image.get())
                : nullptr;
        if (!image)
            return failed(
                kExitInputError,
                "ibl-bake: " + source + ": no specular map could be built for " + reflectance.name);
        problem = writeMap(*image, reflectance.stem, "specular map (" + reflectance.name + ")");
        std::string label = reflectance.name;
        for (char& c : label) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (problem.empty()) problem = writePreview(*image, reflectance.stem, label);
        if (!problem.empty()) return failed(kExitOutputError, problem);
        ballMaterials.push_back({label, map});
    }

    // Material balls lit by the bake (balls.png, the contact sheet's second row, the viewer).
    BallScene scene;
    scene.background = background.get();
    scene.irradiance = irradiance;
    scene.materials = ballMaterials;
    const ix::Reference<Float3Image> ballRow(renderBallRow(scene));
    const Rgb8Image balls = tonemapPreview(*ballRow, toneMap);
    std::vector<std::string> ballLabels;
    for (const BallMaterial& material : ballMaterials) ballLabels.push_back(material.label);
    auto ballPixels = std::make_shared<std::vector<unsigned char>>(balls.pixels);
    problem = queueFile(
        "balls.png",
        "material balls, " + std::to_string(balls.width) + " x " + std::to_string(balls.height),
        [ballPixels, width = balls.width, height = balls.height](const std::string& path) {
            return writePng(*ballPixels, width, height, path);
        });
    if (!problem.empty()) return failed(kExitOutputError, problem);
    if (options.viewer) {
        // The page (the maps as half floats in base64) is built on the queue's thread too;
        // it only reads maps that the lighting object and the background keep alive.
        problem = queueFile("viewer.html", "interactive viewer page",
                            [scene, tone = options.tone](const std::string& path) {
                                return writeText(makeViewerPage(scene, tone), path);
                            });
        if (!problem.empty()) return failed(kExitOutputError, problem);
    }

    if (options.contactSheet) {
        auto sheet =
            std::make_shared<Rgb8Image>(makeContactSheet(tiles, 200, splitRow(balls, ballLabels)));
        problem = queueFile("contact_sheet.png",
                            "contact sheet, " + std::to_string(sheet->width) + " x " +
                                std::to_string(sheet->height),
                            [sheet](const std::string& path) {
                                return writePng(sheet->pixels, sheet->width, sheet->height, path);
                            });
        if (!problem.empty()) return failed(kExitOutputError, problem);
    }
    problem = queue.finish(listener, result.outputs);
    if (!problem.empty()) return failed(kExitOutputError, problem);

    // The JSON last, listing everything else, so that its presence means the bake completed.
    std::vector<std::string> listed = result.outputs;
    listed.push_back("irradiance.json");
    const std::string jsonPath = folder + "irradiance.json";
    problem = writeText(
        irradianceJson(coefficients, irradiance, source, fileWidth, fileHeight, projection, listed),
        jsonPath);
    if (!problem.empty()) return failed(kExitOutputError, "ibl-bake: " + jsonPath + ": " + problem);
    listener.wrote(jsonPath, "irradiance coefficients and matrices");
    result.outputs.push_back("irradiance.json");
    return result;
}

}  // namespace iblBake
