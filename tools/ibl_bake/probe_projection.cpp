#include "probe_projection.h"

#include <algorithm>
#include <cmath>

#include "iximage/envmap/recognize_remap.h"
#include "iximage/envmap/sphere_map.h"

namespace iblBake {

using ixImage::Float3Image;

bool parseProbeProjection(const std::string& name, ProbeProjection& projection) {
    const struct {
        const char* name;
        ProbeProjection value;
    } names[] = {{"latlong", ProbeProjection::kLatLong},
                 {"cross", ProbeProjection::kCross},
                 {"angular", ProbeProjection::kAngular},
                 {"mirror-ball", ProbeProjection::kMirrorBall}};
    for (const auto& entry : names)
        if (name == entry.name) {
            projection = entry.value;
            return true;
        }
    return false;
}

// ---- Mirror ball ----

MirrorBallMap::MirrorBallMap(int w, int h)
    : EnvironmentMap(kSphere), omegaFactor(4.0f * (2.0f / float(w)) * (2.0f / float(h))) {}

bool MirrorBallMap::isValidCoord(float u, float v) const {
    return (v - 0.5f) * (v - 0.5f) + (u - 0.5f) * (u - 0.5f) <= 0.25f;
}

// Reflection off the ball: the camera looks along d = +Y; at disc point (x, y) the ball's
// normal is n = (x, -s, y) with s = sqrt(1 - r^2), and the reflected ray d - 2 (d.n) n is
// (2 s x, 1 - 2 s^2, 2 s y). Its angle from -Y has cos(theta) = 2 s^2 - 1 = 1 - 2 r^2, that is
// r = sin(theta / 2).
bool MirrorBallMap::coordToDir(float u, float v, ixLinear::VectorFlt& dir, float& omega,
                               bool computeOmega) const {
    const double x = 2.0 * u - 1.0, y = 2.0 * v - 1.0;
    const double r2 = x * x + y * y;
    if (r2 > 1.0) {
        omega = 0.0f;
        return false;
    }
    const double s = std::sqrt(1.0 - r2);
    dir = ixLinear::VectorFlt(float(2.0 * s * x), float(1.0 - 2.0 * s * s), float(2.0 * s * y));
    if (computeOmega) omega = omegaFactor;
    return true;
}

bool MirrorBallMap::coordToDir(float u, float v, ixLinear::VectorFlt& dir) const {
    float omega = 0.0f;
    return coordToDir(u, v, dir, omega, false);
}

// The inverse: r = sin(theta / 2) = sqrt((1 - cos theta) / 2) with cos(theta) = -y, and the
// disc point lies along (x, z) of the direction.
void MirrorBallMap::dirToCoord(const ixLinear::VectorFlt& dir, float& u, float& v) const {
    const double rho = std::sqrt(double(dir.x) * dir.x + double(dir.z) * dir.z);
    const double r = std::sqrt(std::fmax(0.0, (1.0 + double(dir.y)) * 0.5));
    if (rho == 0.0) {
        // Straight at the camera is the centre; straight behind the ball is the whole rim.
        u = dir.y > 0.0f ? 1.0f : 0.5f;
        v = 0.5f;
        return;
    }
    u = float(0.5 + 0.5 * r * dir.x / rho);
    v = float(0.5 + 0.5 * r * dir.z / rho);
}

// ---- Conversion ----

namespace {

std::string sizeText(const Float3Image& image) {
    return std::to_string(image.getWidth()) + " x " + std::to_string(image.getHeight());
}

// Fills every pixel whose centre lies outside the disc with the pixel straight inwards on the
// outermost ring of pixels inside it. Whatever surrounds the disc of a photograph (a black
// border, the studio behind the ball) is not light from the probe; without this, bilinear
// samples at the rim, which stands for the whole backward direction (+Y), would mix it in.
void extendDiscToCorners(Float3Image& image) {
    const int side = image.getWidth();
    const double centre = 0.5 * side;
    // Radius of the outermost pixel centres inside the disc, in pixels.
    const double inner = std::fmax(0.0, centre - 1.0);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const double dx = x + 0.5 - centre, dy = y + 0.5 - centre;
            const double r = std::sqrt(dx * dx + dy * dy);
            if (r <= centre) continue;
            const int sx = int(std::floor(centre + dx * inner / r));
            const int sy = int(std::floor(centre + dy * inner / r));
            image.at(x, y) =
                image.at(std::min(std::max(sx, 0), side - 1), std::min(std::max(sy, 0), side - 1));
        }
}

}  // namespace

ProjectedProbe toLightingProjection(Float3Image& probe, ProbeProjection projection) {
    ProjectedProbe result;
    const int w = probe.getWidth(), h = probe.getHeight();
    const bool square = w == h && w > 0;
    const bool isLatLong = h > 0 && w == 2 * h;
    const bool isCross = w > 0 && w % 3 == 0 && h % 4 == 0 && w / 3 == h / 4;
    const char* needs = nullptr;
    switch (projection) {
        case ProbeProjection::kAuto:
            // Every shape but the square goes to the library as it is: it recognises
            // latitude-longitude maps and crosses and refuses the rest with its own message.
            if (square) break;
            result.image = &probe;
            return result;
        case ProbeProjection::kLatLong:
            if (isLatLong) result.image = &probe;
            needs = "latlong needs a 2:1";
            break;
        case ProbeProjection::kCross:
            if (isCross) result.image = &probe;
            needs = "cross needs a 3:4";
            break;
        case ProbeProjection::kAngular: needs = "angular needs a square"; break;
        case ProbeProjection::kMirrorBall: needs = "mirror-ball needs a square"; break;
    }
    if (result.image) return result;
    if (!square || projection == ProbeProjection::kLatLong ||
        projection == ProbeProjection::kCross) {
        result.error = std::string("--projection ") + needs + " image, not " + sizeText(probe);
        return result;
    }

    const bool ball = projection == ProbeProjection::kMirrorBall;

    // No wrapping: a sample at the rim of the disc clamps to the image instead of reading the
    // opposite side of the square.
    probe.setWrap(false, false);
    extendDiscToCorners(probe);
    ix::Reference<ixImage::EnvironmentMap> source;
    if (ball)
        source = new MirrorBallMap(w, h);
    else
        source = new ixImage::SphereMap(w);
    source->setImage(&probe);

    const int width = w + w % 2;
    ix::Reference<Float3Image> latLong(new Float3Image);
    latLong->setSize(width, width / 2);
    ix::Reference<ixImage::EnvironmentMap> target(ixImage::newEnvironmentMap(*latLong));
    if (!target) {
        result.error = "cannot convert a " + sizeText(probe) + " image";
        return result;
    }
    ixImage::remap(*source, *target);
    result.image = latLong;
    result.converted = ball ? "mirror ball" : "angular";
    return result;
}

}  // namespace iblBake
