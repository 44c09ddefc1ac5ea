#include "iximage/lighting/measured_reflectance.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "iximage/interfaces/constants.h"
#include "iximage/lighting/detail/isotropic_sampling.h"

namespace ixImage {

namespace {

// The format's per-channel factors from stored values to 1/sr.
constexpr double kChannelScale[3] = {1.0 / 1500.0, 1.15 / 1500.0, 1.66 / 1500.0};

// A fractional position on one axis: the lower cell and the weight of the next one.
struct AxisPosition {
    int lower, upper;
    double weight;
};

AxisPosition clampedAxis(double index, int count) {
    if (!(index > 0.0)) return {0, 0, 0.0};
    if (index >= count - 1) return {count - 1, count - 1, 0.0};
    const int lower = int(index);
    return {lower, lower + 1, index - lower};
}

AxisPosition wrappedAxis(double index, int count) {
    double wrapped = std::fmod(index, double(count));
    if (wrapped < 0.0) wrapped += count;
    const int lower = std::min(int(wrapped), count - 1);
    return {lower, (lower + 1) % count, wrapped - lower};
}

// Rotation about Z, then about Y, by the given angles (right-handed, counter-clockwise).
void rotateZ(double v[3], double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    const double x = v[0] * c - v[1] * s, y = v[0] * s + v[1] * c;
    v[0] = x;
    v[1] = y;
}

void rotateY(double v[3], double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    const double x = v[0] * c + v[2] * s, z = -v[0] * s + v[2] * c;
    v[0] = x;
    v[2] = z;
}

uint64_t fnv1a(const std::vector<float>& values) {
    uint64_t hash = 1469598103934665603ull;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(values.data());
    for (size_t i = 0; i < values.size() * sizeof(float); ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

int32_t readInt32LittleEndian(const unsigned char* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24);
}

double readDoubleLittleEndian(const unsigned char* p) {
    uint64_t bits = 0;
    for (int b = 7; b >= 0; --b) bits = bits << 8 | p[b];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

MeasuredReflectance::MeasuredReflectance(const std::vector<double>& stored)
    : table(size_t(3) * kCells, 0.0f) {
    if (stored.size() == table.size())
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < kCells; ++i) {
                const double v = stored[size_t(c) * kCells + size_t(i)];
                // Negative (unmeasured) and non-finite cells read as no reflection.
                table[size_t(c) * kCells + size_t(i)] =
                    v > 0.0 && std::isfinite(v) ? float(v * kChannelScale[c]) : 0.0f;
            }
    setKey(kKeyBase + int(fnv1a(table) & 0x0FFFFFFFu));
}

MeasuredReflectance::~MeasuredReflectance() = default;

std::unique_ptr<MeasuredReflectance> MeasuredReflectance::readFile(const std::string& path,
                                                                   ixUtil::Error& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = ixUtil::Error(1, "Cannot open the measured BRDF file %s.", path.c_str());
        return nullptr;
    }
    in.seekg(0, std::ios::end);
    const long long size = static_cast<long long>(in.tellg());
    in.seekg(0, std::ios::beg);

    unsigned char header[12];
    if (size < 12 || !in.read(reinterpret_cast<char*>(header), 12)) {
        error = ixUtil::Error(1, "The measured BRDF file %s is truncated: %lld bytes.",
                              path.c_str(), size);
        return nullptr;
    }
    const int dims[3] = {readInt32LittleEndian(header), readInt32LittleEndian(header + 4),
                         readInt32LittleEndian(header + 8)};
    if (dims[0] != kThetaH || dims[1] != kThetaD || dims[2] != kPhiD) {
        error = ixUtil::Error(1,
                              "The measured BRDF file %s has dimensions %d x %d x %d; "
                              "expected 90 x 90 x 180.",
                              path.c_str(), dims[0], dims[1], dims[2]);
        return nullptr;
    }
    if (size != kFileBytes) {
        error = ixUtil::Error(1, "The measured BRDF file %s is %s: %lld bytes, expected %lld.",
                              path.c_str(), size < kFileBytes ? "truncated" : "too long", size,
                              kFileBytes);
        return nullptr;
    }

    std::vector<unsigned char> bytes(size_t(kFileBytes - 12));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()))) {
        error = ixUtil::Error(1, "Cannot read the measured BRDF file %s.", path.c_str());
        return nullptr;
    }
    std::vector<double> stored(size_t(3) * kCells);
    for (size_t i = 0; i < stored.size(); ++i) stored[i] = readDoubleLittleEndian(&bytes[8 * i]);
    return std::unique_ptr<MeasuredReflectance>(new MeasuredReflectance(stored));
}

FloatPixel3<double> MeasuredReflectance::evaluate(const double wi[3], const double wo[3]) const {
    if (wi[2] <= 0.0 || wo[2] <= 0.0) return FloatPixel3<double>(0.0, 0.0, 0.0);
    double h[3] = {wi[0] + wo[0], wi[1] + wo[1], wi[2] + wo[2]};
    const double length = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
    for (double& c : h) c /= length;
    const double thetaH = std::acos(std::min(1.0, h[2]));
    const double phiH = std::atan2(h[1], h[0]);
    double d[3] = {wi[0], wi[1], wi[2]};
    rotateZ(d, -phiH);
    rotateY(d, -thetaH);
    const double thetaD = std::acos(std::max(-1.0, std::min(1.0, d[2])));
    double phiD = std::atan2(d[1], d[0]);
    if (phiD < 0.0) phiD += kPi;

    // Fractional cell positions: theta_h = (index / 90)^2 pi / 2 inverted, then the linear axes.
    const AxisPosition ah = clampedAxis(std::sqrt(thetaH / kHalfPi) * kThetaH, kThetaH);
    const AxisPosition ad = clampedAxis(thetaD / kHalfPi * kThetaD, kThetaD);
    const AxisPosition ap = wrappedAxis(phiD / kPi * kPhiD, kPhiD);

    double rgb[3] = {0.0, 0.0, 0.0};
    for (int corner = 0; corner < 8; ++corner) {
        const int ih = corner & 1 ? ah.upper : ah.lower;
        const int id = corner & 2 ? ad.upper : ad.lower;
        const int ip = corner & 4 ? ap.upper : ap.lower;
        const double w = (corner & 1 ? ah.weight : 1.0 - ah.weight) *
                         (corner & 2 ? ad.weight : 1.0 - ad.weight) *
                         (corner & 4 ? ap.weight : 1.0 - ap.weight);
        if (w == 0.0) continue;
        const size_t cell = size_t(ip + kPhiD * (id + kThetaD * ih));
        for (int c = 0; c < 3; ++c) rgb[c] += w * table[size_t(c) * kCells + cell];
    }
    return FloatPixel3<double>(rgb[0], rgb[1], rgb[2]);
}

void MeasuredReflectance::sampleBrdf(ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                                     FloatPixel3<double>& norm) const {
    detail::sampleIsotropic(
        [this](const double* wi, const double* wo) {
            const FloatPixel3<double> f = evaluate(wi, wo);
            const double cosI = wi[2];
            return FloatPixel3<double>(f.red * cosI, f.green * cosI, f.blue * cosI);
        },
        samples, norm);
}

}  // namespace ixImage
