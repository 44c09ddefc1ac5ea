#include "balls.h"

#include <algorithm>
#include <cmath>

#include "iximage/envmap/recognize_remap.h"
#include "iximage/image/blur.h"
#include "iximage/image/resize.h"
#include "iximage/image/sample_bilinear.h"
#include "iximage/interfaces/constants.h"
#include "iximage/interfaces/thread_pool.h"
#include "iximage/lighting/irradiance_alg.h"

namespace iblBake {

using ixImage::Float3Image;
using ixImage::FloatPixel3;
using ixLinear::VectorFlt;

namespace {

constexpr float kDegToRad = ixImage::kPiFloat / 180.0f;
// The camera never reaches the poles, where "up" (+Z) and the view direction would coincide.
constexpr float kMaxElevationDeg = 89.0f;

VectorFlt operator+(const VectorFlt& a, const VectorFlt& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
VectorFlt operator*(float s, const VectorFlt& a) { return {s * a.x, s * a.y, s * a.z}; }
VectorFlt cross(const VectorFlt& a, const VectorFlt& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The map's image when it holds float RGB pixels, otherwise null.
const Float3Image* floatImage(const ixImage::EnvironmentMap* map) {
    if (!map || !map->image || map->image->getPixelType() != ixImage::kPixelFloat3) return nullptr;
    return static_cast<const Float3Image*>(map->image.get());
}

// Radiance of a map in a direction, through the map's own projection and bilinear sampling.
FloatPixel3<float> lookUp(const ixImage::EnvironmentMap* map, const VectorFlt& dir) {
    FloatPixel3<float> value(0.0f, 0.0f, 0.0f);
    if (const Float3Image* image = floatImage(map)) {
        float u = 0.0f, v = 0.0f;
        map->dirToCoord(dir, u, v);
        ixImage::sampleBilinear(*image, u, v, value);
    }
    return value;
}

// Radiance along one camera ray: the ball where the ray meets it, the probe elsewhere.
FloatPixel3<float> traceRay(const BallScene& scene, const BallMaterial& material,
                            const VectorFlt& eye, const VectorFlt& dir) {
    // |eye + t dir|^2 = 1 with |dir| = 1: t^2 + 2 b t + c = 0, b = eye.dir, c = |eye|^2 - 1.
    const float b = eye.dot(dir);
    const float c = eye.dot(eye) - 1.0f;
    const float discriminant = b * b - c;
    const float t = discriminant >= 0.0f ? -b - std::sqrt(discriminant) : -1.0f;
    if (t <= 0.0f) return lookUp(scene.background, dir);

    const VectorFlt n = eye + t * dir;
    const VectorFlt r = dir + (-2.0f * dir.dot(n)) * n;
    const FloatPixel3<double> e = ixImage::evaluateIrradiance(scene.irradiance, n.x, n.y, n.z);
    const float kd = material.specular ? kSpecularBallDiffuse * scene.albedo : scene.albedo;
    FloatPixel3<float> radiance(kd * float(e.red), kd * float(e.green), kd * float(e.blue));
    if (material.specular) {
        const FloatPixel3<float> s = lookUp(material.specular, r);
        radiance.red += s.red;
        radiance.green += s.green;
        radiance.blue += s.blue;
    }
    return radiance;
}

}  // namespace

CameraFrame cameraFrame(const BallCamera& camera) {
    const float elevation =
        std::clamp(camera.elevationDeg, -kMaxElevationDeg, kMaxElevationDeg) * kDegToRad;
    const float azimuth = camera.azimuthDeg * kDegToRad;
    const float cosEl = std::cos(elevation);
    CameraFrame frame;
    frame.forward =
        VectorFlt(std::sin(azimuth) * cosEl, -std::cos(azimuth) * cosEl, -std::sin(elevation));
    frame.eye = -camera.distance * frame.forward;
    frame.right = cross(frame.forward, VectorFlt(0.0f, 0.0f, 1.0f));
    frame.right.normalize();
    frame.up = cross(frame.right, frame.forward);
    return frame;
}

Float3Image* renderBallRow(const BallScene& scene) {
    const int tile = std::max(1, scene.tileSize);
    const int count = int(scene.materials.size());
    Float3Image* row = new Float3Image;
    row->setSize(std::max(1, count * tile), tile);
    const CameraFrame frame = cameraFrame(scene.camera);
    const float pixelToPlane = 2.0f * scene.camera.tanHalfFov / float(tile);

    // One picture row per work item on the library's thread pool: every pixel is traced alone
    // and written once, so the picture is the same however the rows are shared out.
    class Rows : public ixUtil::ThreadedAlg {
    public:
        Rows(const BallScene& scene, const CameraFrame& frame, float pixelToPlane, int tile,
             Float3Image& row)
            : scene(scene), frame(frame), pixelToPlane(pixelToPlane), tile(tile), row(row) {}
        void work(int y, int) override {
            for (int m = 0; m < int(scene.materials.size()); ++m) {
                const BallMaterial& material = scene.materials[size_t(m)];
                for (int x = 0; x < tile; ++x) {
                    FloatPixel3<float> sum(0.0f, 0.0f, 0.0f);
                    for (const auto& offset : kBallSampleOffsets) {
                        // Image-plane position at distance 1, the tile's centre on the axis.
                        const float a =
                            (float(x) + 0.5f + offset[0]) * pixelToPlane - scene.camera.tanHalfFov;
                        const float b =
                            (float(y) + 0.5f + offset[1]) * pixelToPlane - scene.camera.tanHalfFov;
                        VectorFlt dir = frame.forward + a * frame.right + b * frame.up;
                        dir.normalize();
                        const FloatPixel3<float> value = traceRay(scene, material, frame.eye, dir);
                        sum.red += value.red;
                        sum.green += value.green;
                        sum.blue += value.blue;
                    }
                    constexpr float kMean = 1.0f / float(kBallSamples);
                    row.at(m * tile + x, y) =
                        FloatPixel3<float>(sum.red * kMean, sum.green * kMean, sum.blue * kMean);
                }
            }
        }

    private:
        const BallScene& scene;
        const CameraFrame& frame;
        const float pixelToPlane;
        const int tile;
        Float3Image& row;
    } rows(scene, frame, pixelToPlane, tile, *row);
    if (count > 0) ixUtil::ThreadPool::get().run(rows, tile);
    return row;
}

ix::Reference<ixImage::EnvironmentMap> makeBackgroundMap(Float3Image& probe, int maxWidth) {
    ix::Reference<ixImage::EnvironmentMap> probeMap(ixImage::newEnvironmentMap(probe));
    if (!probeMap) return nullptr;
    const int width = std::max(2, maxWidth) / 2 * 2;
    if (probeMap->type == ixImage::EnvironmentMap::kLatLong) {
        if (probe.getWidth() <= width) return probeMap;
        // Bilinear resizing reads four pixels per output pixel: below half size it would
        // alias, so the probe is first blurred over about one output pixel.
        ix::Reference<const ixImage::Image> reached(&probe);
        const float scale = float(width) / float(probe.getWidth());
        if (scale < 0.5f) {
            ix::Reference<ixImage::Image> blurred(probe.newEmpty());
            ixImage::imageBlur(probe, *blurred, int(1.0f / scale + 1.0f), false, false);
            reached = blurred;
        }
        ix::Reference<ixImage::Image> resized(ixImage::resize(*reached, width, width / 2, true));
        return resized ? ixImage::newEnvironmentMap(*resized) : nullptr;
    }
    if (probeMap->type != ixImage::EnvironmentMap::kCross) return nullptr;
    // A cross of faces f pixels wide (3f wide in all) keeps its detail in a 4f-wide map.
    const int latLongWidth = std::min(width, std::max(2, probe.getWidth() * 4 / 3 / 2 * 2));
    ix::Reference<Float3Image> latLong(new Float3Image);
    latLong->setSize(latLongWidth, latLongWidth / 2);
    latLong->setWrap(true, false);
    ix::Reference<ixImage::EnvironmentMap> latLongMap(ixImage::newEnvironmentMap(*latLong));
    if (latLongMap) ixImage::remap(*probeMap, *latLongMap);
    return latLongMap;
}

}  // namespace iblBake
