#include "iximage/sh/light_window.h"

#include <cmath>

#include "iximage/interfaces/constants.h"

namespace ixImage {

double lightWindowFactor(const LightWindow& window, int band) {
    if (window.kind == LightWindow::kNone || band <= 0) return 1.0;
    const double pi = kPi;
    const double width = window.width > 0.0 ? window.width : 21.0;
    const double x = band / width;  // 1 at the window's end
    if (x >= 1.0) return 0.0;
    switch (window.kind) {
        case LightWindow::kHann: return 0.5 * (1.0 + std::cos(pi * x));
        case LightWindow::kLanczos: return std::sin(pi * x) / (pi * x);
        default: return 1.0;  // an unknown kind leaves the light as it is
    }
}

void applyLightWindow(const LightWindow& window, SphericalHarmonics<FloatPixel3<double>>& coeffs) {
    if (window.kind == LightWindow::kNone) return;
    for (int l = 0; l <= coeffs.getOrder(); ++l) {
        const double sigma = lightWindowFactor(window, l);
        for (int m = -l; m <= l; ++m) {
            FloatPixel3<double>& c = coeffs[l * l + l + m];
            c = FloatPixel3<double>(c.red * sigma, c.green * sigma, c.blue * sigma);
        }
    }
}

}  // namespace ixImage
