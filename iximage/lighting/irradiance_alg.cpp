#include "iximage/lighting/irradiance_alg.h"

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/constants.h"

namespace ixImage {

namespace {

// Normalisation constants of the nine real harmonics, in basis order (float, 6 digits):
// sqrt(1 / 4pi), sqrt(3 / 4pi) for the linear band, sqrt(15 / 4pi) for xy, yz, xz,
// sqrt(5 / 16pi) for 3z^2 - 1 and sqrt(15 / 16pi) for x^2 - y^2.
constexpr float kBasisConstant[IrradianceAlg::kCoefficientCount] = {
    0.282095f, 0.488603f, 0.488603f, 0.488603f, 1.092548f,
    1.092548f, 0.315392f, 1.092548f, 0.546274f};

constexpr float kInversePi = static_cast<float>(1.0 / kPi);  // 0.31830987f

// Per-channel weight (omega * L_c) / pi of one pixel. Float pixels multiply in float.
struct ChannelWeights {
    float red, green, blue;
};

inline ChannelWeights pixelWeights(const FloatPixel3<float>& p, float omega) {
    return {(omega * p.red) * kInversePi, (omega * p.green) * kInversePi,
            (omega * p.blue) * kInversePi};
}

// Half pixels keep half precision through both products: each channel times omega rounded to
// half, then times 1/pi rounded to half again, and only the result is read as float.
inline float halfWeight(half channel, float omega) {
    const half scaled(float(channel) * omega);
    return float(half(float(scaled) * kInversePi));
}

inline ChannelWeights pixelWeights(const FloatPixel4<half>& p, float omega) {
    return {halfWeight(p.red, omega), halfWeight(p.green, omega), halfWeight(p.blue, omega)};
}

template <class Pixel>
void accumulatePixels(const EnvironmentMap& map, const TypedImage<Pixel>& image,
                      FloatPixel3<float>* coefficients) {
    const Pixel* pixels = image.data();
    if (!pixels) return;
    const int width = image.getWidth();
    const int height = image.getHeight();
    const float inverseWidth = image.getInverseWidth();
    const float inverseHeight = image.getInverseHeight();

    for (int j = 0; j < height; ++j) {
        const float v = (float(j) + 0.5f) * inverseHeight;
        const Pixel* row = pixels + static_cast<long>(j) * width;
        for (int i = 0; i < width; ++i) {
            const float u = (float(i) + 0.5f) * inverseWidth;
            ixLinear::VectorFlt dir;
            float omega = 0.0f;
            if (!map.coordToDir(u, v, dir, omega, true)) continue;

            // Half turn about +Z into the frame of the coefficients.
            const float x = -dir.x;
            const float y = -dir.y;
            const float z = dir.z;
            const float basis[IrradianceAlg::kCoefficientCount] = {
                1.0f, y, z, x, x * y, y * z, (z * 3.0f * z) - 1.0f, x * z, x * x - y * y};

            const ChannelWeights w = pixelWeights(row[i], omega);
            for (int k = 0; k < IrradianceAlg::kCoefficientCount; ++k) {
                coefficients[k].red += (w.red * kBasisConstant[k]) * basis[k];
                coefficients[k].green += (w.green * kBasisConstant[k]) * basis[k];
                coefficients[k].blue += (w.blue * kBasisConstant[k]) * basis[k];
            }
        }
    }
}

// Constants of the quadratic form: the clamped-cosine factors A0 = pi, A1 = 2pi/3, A2 = pi/4
// times the basis normalisations, c4 = A0 * 0.282095, c2 = A1 * 0.488603 / 2,
// c1 = A2 * 1.092548 / 2 = A2 * 0.546274, c3 = 3 * A2 * 0.315392, c5 = A2 * 0.315392 (the
// halves because each off-diagonal entry appears twice in the symmetric form). The 1/pi already
// in the coefficients makes the form the irradiance divided by pi.
constexpr float c1 = 0.429043f;
constexpr float c2 = 0.511664f;
constexpr float c3 = 0.743125f;
constexpr float c4 = 0.886227f;
constexpr float c5 = 0.247708f;

// L[k] is one channel's coefficient k. Entries are computed in float, stored as doubles.
void fillMatrix(const float (&L)[IrradianceAlg::kCoefficientCount], ixLinear::ProjMatrix& M) {
    const float entries[4][4] = {
        {c1 * L[8], c1 * L[4], c1 * L[7], c2 * L[3]},
        {c1 * L[4], -c1 * L[8], c1 * L[5], c2 * L[1]},
        {c1 * L[7], c1 * L[5], c3 * L[6], c2 * L[2]},
        {c2 * L[3], c2 * L[1], c2 * L[2], c4 * L[0] - c5 * L[6]},
    };
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) M.m[row][column] = entries[row][column];
}

}  // namespace

IrradianceAlg::IrradianceAlg() = default;
IrradianceAlg::IrradianceAlg(const IrradianceAlg& other) = default;
IrradianceAlg& IrradianceAlg::operator=(const IrradianceAlg& other) = default;
IrradianceAlg::~IrradianceAlg() = default;

void IrradianceAlg::accumulate(const EnvironmentMap& map) {
    const Image* image = map.image.get();
    if (!image) return;
    switch (image->getPixelType()) {
        case kPixelFloat3:
            return accumulatePixels(map, static_cast<const TypedImage<FloatPixel3<float>>&>(*image),
                                    coefficients);
        case kPixelHalf4:
            return accumulatePixels(map, static_cast<const TypedImage<FloatPixel4<half>>&>(*image),
                                    coefficients);
        default: return;  // other pixel types carry no light this projection understands
    }
}

void IrradianceAlg::getCoefficients(FloatPixel3<float>* out) const {
    for (int k = 0; k < kCoefficientCount; ++k) out[k] = coefficients[k];
}

void IrradianceAlg::getIrradiance(Irradiance& irr) const {
    getMatrices(irr.red, irr.green, irr.blue);
}

void IrradianceAlg::getMatrices(ixLinear::ProjMatrix& red, ixLinear::ProjMatrix& green,
                                ixLinear::ProjMatrix& blue) const {
    float r[kCoefficientCount], g[kCoefficientCount], b[kCoefficientCount];
    for (int k = 0; k < kCoefficientCount; ++k) {
        r[k] = coefficients[k].red;
        g[k] = coefficients[k].green;
        b[k] = coefficients[k].blue;
    }
    fillMatrix(r, red);
    fillMatrix(g, green);
    fillMatrix(b, blue);
}

FloatPixel3<double> evaluateIrradiance(const Irradiance& irradiance, double nx, double ny,
                                       double nz) {
    const double p[4] = {-nx, -ny, nz, 1.0};
    auto quadraticForm = [&p](const ixLinear::ProjMatrix& m) {
        double sum = 0.0;
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column) sum += p[row] * m.m[row][column] * p[column];
        return sum;
    };
    return FloatPixel3<double>(quadraticForm(irradiance.red), quadraticForm(irradiance.green),
                               quadraticForm(irradiance.blue));
}

}  // namespace ixImage
