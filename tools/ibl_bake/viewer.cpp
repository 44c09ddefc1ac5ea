#include "viewer.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "iximage/interfaces/half.h"
#include "iximage/interfaces/linear.h"
#include "json_text.h"

namespace iblBake {

namespace {

// Where the template takes the bake's data (a JSON object).
constexpr const char* kDataMarker = "@BAKE_DATA@";
// The largest finite half: brighter texels would become infinities on the GPU.
constexpr float kMaxHalf = 65504.0f;

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", std::isfinite(value) ? value : 0.0);
    return text;
}

std::string base64(const std::vector<unsigned char>& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const uint32_t triple = uint32_t(bytes[i]) << 16 |
                                (left > 1 ? uint32_t(bytes[i + 1]) << 8 : 0u) |
                                (left > 2 ? uint32_t(bytes[i + 2]) : 0u);
        text += kDigits[triple >> 18 & 63];
        text += kDigits[triple >> 12 & 63];
        text += left > 1 ? kDigits[triple >> 6 & 63] : '=';
        text += left > 2 ? kDigits[triple & 63] : '=';
    }
    return text;
}

// {"width": w, "height": h, "data": base64 of w x h x 3 little-endian halves}.
std::string mapJson(const ixImage::EnvironmentMap* map) {
    const ixImage::Float3Image* image =
        map && map->image && map->image->getPixelType() == ixImage::kPixelFloat3
            ? static_cast<const ixImage::Float3Image*>(map->image.get())
            : nullptr;
    const int width = image ? image->getWidth() : 1;
    const int height = image ? image->getHeight() : 1;
    std::vector<unsigned char> bytes;
    bytes.reserve(size_t(width) * size_t(height) * 6);
    auto put = [&bytes](float value) {
        const float finite =
            std::isfinite(value) ? std::fmin(std::fmax(value, -kMaxHalf), kMaxHalf) : 0.0f;
        const uint16_t bits = ixImage::half(finite).getBits();
        bytes.push_back(static_cast<unsigned char>(bits & 0xFF));
        bytes.push_back(static_cast<unsigned char>(bits >> 8));
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const ixImage::FloatPixel3<float> p =
                image ? image->at(x, y) : ixImage::FloatPixel3<float>(0.0f, 0.0f, 0.0f);
            put(p.red);
            put(p.green);
            put(p.blue);
        }
    return "{\"width\": " + std::to_string(width) + ", \"height\": " + std::to_string(height) +
           ", \"data\": \"" + base64(bytes) + "\"}";
}

std::string matrixJson(const ixLinear::ProjMatrix& matrix) {
    std::string json = "[";
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) json += (r || c ? ", " : "") + number(matrix.m[r][c]);
    return json + "]";
}

}  // namespace

std::string makeViewerPage(const BallScene& scene, const ixImage::ToneControls& tone) {
    std::string data = "{\n";
    data += "\"tileSize\": " + std::to_string(scene.tileSize) + ",\n";
    data += "\"camera\": {\"azimuthDeg\": " + number(scene.camera.azimuthDeg) +
            ", \"elevationDeg\": " + number(scene.camera.elevationDeg) +
            ", \"distance\": " + number(scene.camera.distance) +
            ", \"tanHalfFov\": " + number(scene.camera.tanHalfFov) + "},\n";
    data += "\"tone\": {\"gamma\": " + number(tone.gamma) +
            ", \"exposure\": " + number(tone.exposure) +
            ", \"saturation\": " + number(tone.saturation) +
            ", \"epsilon\": " + number(ixLinear::epsilonTolFlt) + "},\n";
    data += "\"albedo\": " + number(scene.albedo) +
            ", \"specularDiffuse\": " + number(kSpecularBallDiffuse) + ",\n";
    data += "\"irradiance\": [" + matrixJson(scene.irradiance.red) + ",\n  " +
            matrixJson(scene.irradiance.green) + ",\n  " + matrixJson(scene.irradiance.blue) +
            "],\n";
    data += "\"background\": " + mapJson(scene.background) + ",\n";
    data += "\"materials\": [";
    for (size_t i = 0; i < scene.materials.size(); ++i) {
        const BallMaterial& material = scene.materials[i];
        data += i ? ",\n  " : "\n  ";
        data += "{\"label\": " + jsonString(material.label) + ", \"map\": " +
                (material.specular ? mapJson(material.specular) : std::string("null")) + "}";
    }
    data += "]\n}";

    std::string page = viewerTemplate();
    const size_t at = page.find(kDataMarker);
    if (at != std::string::npos) page.replace(at, std::string(kDataMarker).size(), data);
    return page;
}

}  // namespace iblBake
