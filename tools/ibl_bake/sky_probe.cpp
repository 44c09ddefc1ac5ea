#include "sky_probe.h"

#include <algorithm>
#include <cmath>

#include "iximage/envmap/latlong_map.h"
#include "iximage/interfaces/constants.h"

namespace iblBake {

namespace {

using ixImage::kPi;

double radians(float degrees) { return degrees * kPi / 180.0; }

}  // namespace

ixLinear::VectorFlt sunDirection(const SkyParameters& sky) {
    const double elevation = radians(sky.sunElevationDeg);
    const double azimuth = radians(sky.sunAzimuthDeg);
    return ixLinear::VectorFlt(float(std::cos(elevation) * std::cos(azimuth)),
                               float(std::cos(elevation) * std::sin(azimuth)),
                               float(std::sin(elevation)));
}

// The sky is a small analytic model, not a physical atmosphere:
//  - above the horizon, a blue zenith that whitens and brightens towards the horizon
//    (0.5 + (1 - z)^4 grows from 0.5 at the zenith to 1.5 at the horizon), plus a warm
//    forward-scattering glow around the sun, exp(-angle / 0.25 rad) with a wider halo;
//  - the sun itself, a disc of constant radiance and the given angular radius;
//  - below the horizon, a dim grey-brown ground lit by the sky: albedo about 0.2 of the sky.
// Everything is a smooth function of the direction except the disc edge and the horizon,
// which is what a real outdoor probe looks like to the irradiance and specular passes.
ixImage::FloatPixel3<float> skyRadiance(const SkyParameters& sky, const ixLinear::VectorFlt& dir) {
    const ixLinear::VectorFlt sun = sunDirection(sky);
    const double z = dir.z;
    if (z < 0.0) {
        const double fade = 1.0 - 0.5 * std::min(1.0, -z * 4.0);  // darker straight down
        return ixImage::FloatPixel3<float>(float(0.30 * fade), float(0.25 * fade),
                                           float(0.20 * fade));
    }
    const double cosToSun =
        std::clamp(double(dir.x) * sun.x + double(dir.y) * sun.y + z * sun.z, -1.0, 1.0);
    const double angleToSun = std::acos(cosToSun);
    if (angleToSun <= radians(sky.sunRadiusDeg)) {
        const double e = sky.sunRadiance;
        return ixImage::FloatPixel3<float>(float(e), float(e * 0.95), float(e * 0.85));
    }
    const double horizon = 0.5 + 1.0 * std::pow(1.0 - z, 4.0);
    const double glow = 3.0 * std::exp(-angleToSun / 0.25) + 0.4 * std::exp(-angleToSun / 1.0);
    const double red = 0.35 * horizon + glow * 1.00;
    const double green = 0.55 * horizon + glow * 0.85;
    const double blue = 1.00 * horizon + glow * 0.60;
    return ixImage::FloatPixel3<float>(float(red), float(green), float(blue));
}

ixImage::Float3Image* makeSkyProbe(int height, const SkyParameters& sky) {
    const int h = std::max(1, height);
    const int w = 2 * h;
    ixImage::Float3Image* image = new ixImage::Float3Image;
    image->setSize(w, h);
    // Directions come from the library's own projection so that the probe agrees with it.
    const ixImage::LatLongMap projection(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            ixLinear::VectorFlt dir;
            projection.coordToDir((x + 0.5f) / float(w), (y + 0.5f) / float(h), dir);
            image->at(x, y) = skyRadiance(sky, dir);
        }
    }
    return image;
}

}  // namespace iblBake
