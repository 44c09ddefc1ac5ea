// Shared helpers of the lighting tests: analytic probes and reference formulas, written from the
// geometry and the textbook forms, not from the library's code paths.
#pragma once

#include <cmath>
#include <vector>

#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/recognize_remap.h"
#include "iximage/lighting/blinn_phong_reflectance.h"
#include "iximage/lighting/ggx_reflectance.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/irradiance_alg.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/measured_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "iximage/lighting/working_probe.h"
#include "sh/prefilter_reference.h"

namespace ixTest {

using Rgb = ixImage::FloatPixel3<double>;

template <class P>
double channel(const P& p, int c) {
    return c == 0 ? p.red : c == 1 ? p.green : p.blue;
}

// Normals at the cell centres of a cols x rows latitude-longitude grid.
inline std::vector<Dir> normalGrid(int cols, int rows) {
    std::vector<Dir> normals;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) normals.push_back(pixelDirection(i, j, cols, rows));
    return normals;
}

// The irradiance (divided by pi) of channel c for a unit normal n of the environment frame.
inline double evaluateIrradiance(const ixImage::Irradiance& irr, int c, const Dir& n) {
    return channel(ixImage::evaluateIrradiance(irr, n.x, n.y, n.z), c);
}

inline bool sameIrradiance(const ixImage::Irradiance& a, const ixImage::Irradiance& b) {
    const ixLinear::ProjMatrix *pa[] = {&a.red, &a.green, &a.blue},
                               *pb[] = {&b.red, &b.green, &b.blue};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 16; ++i)
            if (pa[c]->m[i / 4][i % 4] != pb[c]->m[i / 4][i % 4]) return false;
    return true;
}

inline bool isCleared(const ixImage::Irradiance& irr) {
    return sameIrradiance(irr, ixImage::Irradiance());
}

template <class P>
void addRgb(RelativeRms& rms, const P& got, const Rgb& expected) {
    for (int c = 0; c < 3; ++c) rms.add(channel(got, c), channel(expected, c));
}

// Points the library at this build's rotation matrices and installs probe; true when usable.
inline bool useProbe(ixImage::ImageBasedLighting& lighting, ixImage::Float3Image* probe) {
    ixImage::ImageBasedLighting::setRotationMatrixFilename(ixOS::Filename(rotationMatrixFile()));
    ixUtil::Error error;
    lighting.setLightProbe(probe, error);
    return lighting.haveUsableLightProbe();
}

// The pixels of the specular map of rf, or null when it cannot be built.
inline const ixImage::Float3Image* specularImage(ixImage::ImageBasedLighting& lighting,
                                                 const ixImage::ReflectanceFunction& rf) {
    ixImage::EnvironmentMap* map = lighting.getSpecularMap(rf, nullptr);
    return map ? static_cast<const ixImage::Float3Image*>(map->getImage()) : nullptr;
}

// A latitude-longitude probe (or, when cross, a vertical cross of `size`-pixel faces, zero in
// the empty cells) with radiance(direction) at every pixel centre.
template <class Radiance>
ix::Reference<ixImage::Float3Image> makeProbe(int size, Radiance radiance, bool cross = false) {
    ix::Reference<ixImage::Float3Image> image = new ixImage::Float3Image;
    const int w = cross ? 3 * size : size, h = cross ? 4 * size : size / 2;
    image->setSize(w, h);
    const ixImage::CrossMap map(size, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ixLinear::VectorFlt d(0, 0, 0);
            const bool inside = !cross || map.coordToDir((x + 0.5f) / w, (y + 0.5f) / h, d);
            const Dir dir = cross ? Dir{d.x, d.y, d.z} : pixelDirection(x, y, w, h);
            const Rgb L = inside ? radiance(dir) : Rgb();
            image->at(x, y) = {float(L.red), float(L.green), float(L.blue)};
        }
    return image;
}

// The exact irradiance / pi of bands 0 to 2 of a latitude-longitude image: L_k = sum of L Y_k
// omega (exact pixel areas), E(n) / pi = sum (A_l / pi) L_k Y_k(n), A_l = pi, 2 pi / 3, pi / 4.
class NineTermIrradiance {
public:
    explicit NineTermIrradiance(const ixImage::Float3Image& image) {
        const int w = image.getWidth(), h = image.getHeight();
        for (int y = 0; y < h; ++y) {
            const double omega = (2.0 * kPi / w) * (std::sin((double(y + 1) / h - 0.5) * kPi) -
                                                    std::sin((double(y) / h - 0.5) * kPi));
            for (int x = 0; x < w; ++x) {
                double Y[9];
                basis(pixelDirection(x, y, w, h), Y);
                const ixImage::FloatPixel3<float>& L = image.at(x, y);
                for (int k = 0; k < 9; ++k)
                    for (int c = 0; c < 3; ++c) coefficient[k][c] += channel(L, c) * Y[k] * omega;
            }
        }
    }
    double evaluate(const Dir& n, int c) const {
        static const double kLobe[9] = {1, 2.0 / 3, 2.0 / 3, 2.0 / 3, 0.25, 0.25, 0.25, 0.25, 0.25};
        double Y[9], sum = 0.0;
        basis(n, Y);
        for (int k = 0; k < 9; ++k) sum += kLobe[k] * coefficient[k][c] * Y[k];
        return sum;
    }

private:
    static void basis(const Dir& d, double (&Y)[9]) {
        const double a = std::sqrt(3.0 / (4.0 * kPi)), b = 0.5 * std::sqrt(15.0 / kPi);
        Y[0] = 0.5 / std::sqrt(kPi), Y[1] = a * d.y, Y[2] = a * d.z, Y[3] = a * d.x;
        Y[4] = b * d.x * d.y, Y[5] = b * d.y * d.z, Y[7] = b * d.x * d.z;
        Y[6] = 0.25 * std::sqrt(5.0 / kPi) * (3.0 * d.z * d.z - 1.0);
        Y[8] = 0.5 * b * (d.x * d.x - d.y * d.y);
    }
    double coefficient[9][3] = {};
};

// Relative RMS over a grid of normals of irr against the nine-term series of the image the
// pipeline works on (the default blur-and-resize working probe of probe).
inline double nineTermRms(ixImage::Float3Image& probe, const ixImage::Irradiance& irr) {
    ix::Reference<ixImage::EnvironmentMap> map = ixImage::newEnvironmentMap(probe);
    const NineTermIrradiance exact(
        *ixImage::makeWorkingProbe(*map, ixImage::WorkingProbeFilter::kBlurResize).image);
    RelativeRms rms;
    for (const Dir& n : normalGrid(64, 32))
        for (int c = 0; c < 3; ++c) rms.add(evaluateIrradiance(irr, c, n), exact.evaluate(n, c));
    return rms.value();
}

// A caller's Phong class (never shared by key) counting its samplings. A dark one has a zero
// green norm: the cache remembers a null map for its key without building.
class CountingPhong : public ixImage::PhongReflectance {
public:
    explicit CountingPhong(int exponent, bool dark = false)
        : PhongReflectance(exponent), dark(dark) {}
    void sampleBrdf(ixUtil::ArrayN<3, Rgb>& samples, Rgb& norm) const override {
        ++samplings;
        PhongReflectance::sampleBrdf(samples, norm);
        if (dark) norm.green = 0.0;
    }
    const bool dark;
    mutable int samplings = 0;
};

inline Rgb whiteRadiance(const Dir&) { return Rgb(1.0, 1.0, 1.0); }

// A smooth sky with a soft sun, different in each channel and positive everywhere.
inline Rgb skyRadiance(const Dir& d) {
    const double s = std::fmax(0.0, dot(d, Dir{0.3, -0.5, 0.8}) / std::sqrt(0.98));
    const double lobe = s * s * s * s;
    return Rgb(1.0 + 0.5 * d.z + 3.0 * lobe, 0.8 + 0.3 * d.x + 2.0 * lobe,
               0.6 - 0.3 * d.z + 0.2 * d.y * d.x + lobe);
}

// f(wi, wo) cos(theta_i) of GGX (alpha, f0) when alpha > 0, with Smith height-correlated
// masking (through Lambda, not a folded visibility) and Schlick Fresnel; else of Blinn-Phong f0.
inline double modelCos(double alpha, double f0, const double* wi, const double* wo) {
    if (wi[2] <= 0.0 || wo[2] <= 0.0) return 0.0;
    const double h[3] = {wi[0] + wo[0], wi[1] + wo[1], wi[2] + wo[2]};
    const double len = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
    const double cosH = h[2] / len, cosD = (wi[0] * h[0] + wi[1] * h[1] + wi[2] * h[2]) / len;
    if (alpha <= 0) return (f0 + 8.0) / (8.0 * kPi) * std::pow(cosH, f0) * wi[2];
    const double a2 = alpha * alpha, tan2H = (1.0 - cosH * cosH) / (cosH * cosH);
    const double D = 1.0 / (kPi * a2 * std::pow(cosH, 4.0) * std::pow(1.0 + tan2H / a2, 2.0));
    auto lambda = [a2](double c) { return (std::sqrt(1 + a2 * (1 - c * c) / (c * c)) - 1) / 2; };
    const double G = 1.0 / (1.0 + lambda(wi[2]) + lambda(wo[2]));
    return D * G * (f0 + (1.0 - f0) * std::pow(1.0 - cosD, 5.0)) / (4.0 * wo[2]);
}

// Channel tints of the synthetic measured table: the file's channels differ on purpose.
constexpr double kTableTint[3] = {1.0, 0.6, 0.3};

// The measured file's values (red, green, blue blocks, times 1500 / channel factor, -1 below the
// surface) of tint_c x GGX(alpha, f0) at theta_h = (ih / 90)^2 90, theta_d = id, phi_d = ip deg.
inline std::vector<double> ggxTable(double alpha, double f0) {
    const double scale[3] = {1500.0, 1500.0 / 1.15, 1500.0 / 1.66};
    const int cells = 90 * 90 * 180;
    std::vector<double> stored(3 * size_t(cells));
    for (int ih = 0; ih < 90; ++ih)
        for (int id = 0; id < 90; ++id)
            for (int ip = 0; ip < 180; ++ip) {
                const double th = (ih / 90.0) * (ih / 90.0) * kPi / 2, td = id * kPi / 180,
                             pd = ip * kPi / 180, ct = std::cos(th), st = std::sin(th);
                // d in the half-vector frame turned by theta_h about Y; wo mirrors d about it.
                const double d[3] = {std::sin(td) * std::cos(pd), std::sin(td) * std::sin(pd),
                                     std::cos(td)};
                const double wi[3] = {d[0] * ct + d[2] * st, d[1], -d[0] * st + d[2] * ct};
                const double wo[3] = {-d[0] * ct + d[2] * st, -d[1], d[0] * st + d[2] * ct};
                const double f = wi[2] > 0 && wo[2] > 0 ? modelCos(alpha, f0, wi, wo) / wi[2] : -1;
                const size_t cell = size_t(ip + 180 * (id + 90 * ih));
                for (int c = 0; c < 3; ++c)
                    stored[size_t(c) * cells + cell] = f < 0 ? -1.0 : f * kTableTint[c] * scale[c];
            }
    return stored;
}

// A model and its brute-force prefilter: Phong n about the axis when phong > 0 (Lambert is
// n = 1), else modelCos (alpha, f0), grey or tinted like the measured table.
struct Model {
    const char* name;
    const ixImage::ReflectanceFunction* rf;
    int phong;
    double alpha, f0;
    bool tinted;
    Rgb bruteForce(const WeightedSamples& s, const Dir& n, const Dir& v) const {
        if (phong > 0) return phongPrefilter(s, n, phong);
        return brdfPrefilter(s, n, v, [this](const double* wi, const double* wo) {
            const double f = modelCos(alpha, f0, wi, wo);
            return tinted ? Rgb(f * kTableTint[0], f * kTableTint[1], f * kTableTint[2])
                          : Rgb(f, f, f);
        });
    }
};

// Every model of the library: Lambert, Phong, GGX, Blinn-Phong and a measured table of GGX.
inline const std::vector<Model>& allModels() {
    static const ixImage::LambertReflectance lambert;
    static const ixImage::PhongReflectance phong4(4), phong16(16), phong64(64);
    static const ixImage::GgxReflectance ggx3(0.3), ggx6(0.6, 0.04);
    static const ixImage::BlinnPhongReflectance blinn16(16), blinn64(64);
    static const ixImage::MeasuredReflectance measured(ggxTable(0.4, 0.1));
    static const std::vector<Model> models = {{"Lambert", &lambert, 1, 0, 0, false},
                                              {"Phong 4", &phong4, 4, 0, 0, false},
                                              {"Phong 16", &phong16, 16, 0, 0, false},
                                              {"Phong 64", &phong64, 64, 0, 0, false},
                                              {"GGX 0.3", &ggx3, 0, 0.3, 1.0, false},
                                              {"GGX 0.6 f0 0.04", &ggx6, 0, 0.6, 0.04, false},
                                              {"Blinn-Phong 16", &blinn16, 0, 0, 16, false},
                                              {"Blinn-Phong 64", &blinn64, 0, 0, 64, false},
                                              {"measured", &measured, 0, 0.4, 0.1, true}};
    return models;
}

}  // namespace ixTest
