// Ringing control: a per-band window on the light's spherical-harmonic coefficients.
//
// Truncating the light's expansion at band 20 is a sharp cut-off in frequency; a small, very
// bright source (a sun) then overshoots: rings and negative lobes around it in sharp specular
// maps. Multiplying band l by a factor sigma_l that falls smoothly to 0 trades a little
// sharpness for much less ringing (the classic remedy for Gibbs oscillations in truncated
// series). With w the window's width in bands (w <= 0 means the default 21, one past band 20):
//   kNone:    sigma_l = 1                                   (the truncated series as it is)
//   kHann:    sigma_l = (1 + cos(pi l / w)) / 2 for l < w, else 0
//   kLanczos: sigma_l = sin(pi l / w) / (pi l / w) for l < w, else 0   (sigma_0 = 1)
// sigma_0 = 1 in every kind, so the mean of the light (and a constant probe's result) is kept.
//
// Ownership and threads: plain values and pure functions.
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/sh/spherical_harmonics.h"

namespace ixImage {

struct LightWindow {
    enum Kind {
        kNone = 0,     // no window (the default): results as without ringing control
        kHann = 1,     // raised cosine: strongest suppression of rings
        kLanczos = 2,  // Lanczos sigma factors: milder, keeps more sharpness
    };
    Kind kind = kNone;
    double width = 0.0;  // in bands; <= 0 selects 21

    bool operator==(const LightWindow& o) const { return kind == o.kind && width == o.width; }
    bool operator!=(const LightWindow& o) const { return !(*this == o); }
};

// sigma_l of the window for band l >= 0.
IXIMAGE_API double lightWindowFactor(const LightWindow& window, int band);

// Multiplies every coefficient (l, m) of coeffs by sigma_l.
IXIMAGE_API void applyLightWindow(const LightWindow& window,
                                  SphericalHarmonics<FloatPixel3<double>>& coeffs);

}  // namespace ixImage
