// Byte-picture dumps: float images and reflection maps seen from a view direction.
#include <cmath>
#include <cstdio>

#include "iximage/diagnostics/detail/dump_support.h"
#include "iximage/diagnostics/dumps.h"

using namespace ixImage;
using namespace ixImage::dumps;

namespace {

using Rgb = FloatPixel3<double>;

// The map's coefficients weighted by the view harmonics over bands 0..lastBand, times scale.
Rgb viewedSum(const ViewHarmonics& view, const Rgb* coeffs, int lastBand, double scale) {
    Rgb sum{0.0, 0.0, 0.0};
    for (int p = 0; p <= lastBand; ++p)
        for (int q = -p; q <= p; ++q) {
            const int k = p * p + p + q;
            sum.red += view.y[k] * coeffs[k].red * scale;
            sum.green += view.y[k] * coeffs[k].green * scale;
            sum.blue += view.y[k] * coeffs[k].blue * scale;
        }
    return sum;
}

void putRgb(std::FILE* file, const Rgb& c) {
    std::fputc(toByte(c.red), file);
    std::fputc(toByte(c.green), file);
    std::fputc(toByte(c.blue), file);
}

void putBlack(std::FILE* file) {
    for (int c = 0; c < 3; ++c) std::fputc(0, file);
}

// Map position of a mirror direction: r_z pulled in by 0.999 when rounding pushed it past 1
// (and clamped, so acos stays defined), theta and phi in grid units.
void mirrorPosition(double rx, double ry, double rz, double& a, double& b) {
    if (std::fabs(rz) > 1.0) rz *= 0.999;
    double theta, phi;
    directionAngles(rx, ry, rz, theta, phi);
    a = theta / kPi * 100.0;
    b = phi / (2.0 * kPi) * 200.0;
}

struct SphereView {
    double radius;
    bool border;
};

// The mirror-sphere picture shared by the three sphere views. emit(row, column, coeffs) is
// called for every pixel inside the sphere with the bilinear coefficients of bands 0..lastBand
// at the mirror direction; black(row, column) for every other pixel.
template <class Emit, class Black>
void traceSphere(const ShrmImage& shrm, const double* d, const SphereView& view, int lastBand,
                 Emit emit, Black black) {
    double thetaD, phiD;
    directionAngles(d[0], d[1], d[2], thetaD, phiD);
    // The picture's frame: theta-hat points down the meridian, phi-hat along the parallel.
    const double thetaHat[3] = {std::cos(thetaD) * std::cos(phiD),
                                std::cos(thetaD) * std::sin(phiD), -std::sin(thetaD)};
    const double phiHat[3] = {-std::sin(phiD), std::cos(phiD), 0.0};
    Rgb coeffs[kMapCoeffs];
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j) {
            const double u = (j - 127.5) / view.radius, v = (127.5 - i) / view.radius;
            const bool outsideBorder = view.border && (i < 31 || i > 224 || j < 31 || j > 224);
            if (outsideBorder || u * u + v * v >= 1.0) {
                black(i, j);
                continue;
            }
            const double w = std::sqrt(1.0 - u * u - v * v);
            double n[3], r[3];
            for (int k = 0; k < 3; ++k) n[k] = u * thetaHat[k] + v * phiHat[k] + w * d[k];
            const double e = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
            for (int k = 0; k < 3; ++k) r[k] = 2.0 * e * n[k] - d[k];
            double a, b;
            mirrorPosition(r[0], r[1], r[2], a, b);
            a = std::fmin(std::fmax(a, 0.0), 99.0);
            b = std::fmin(std::fmax(b, 0.0), 199.0);
            bilinearCoefficients(shrm, a, b, lastBand, coeffs);
            emit(i, j, coeffs);
        }
}

void writeSphere(const char* fileName, const ShrmImage& shrm, const double* d,
                 const SphereView& view, int lastBand, double scale) {
    if (!isReflectionMap(shrm) || d == nullptr) return;
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) return;
    double t, s;
    clampedViewPosition(d, t, s);
    const ViewHarmonics harmonics(t, s);
    writeHeader(file, 256, 256);
    traceSphere(
        shrm, d, view, lastBand,
        [&](int, int, const Rgb* coeffs) {
            putRgb(file, viewedSum(harmonics, coeffs, lastBand, scale));
        },
        [&](int, int) { putBlack(file); });
    std::fclose(file);
}

int clampBand(int order) { return order < 0 ? 0 : (order > kMapBands - 1 ? kMapBands - 1 : order); }

}  // namespace

void dumpImage(const char* name, const TypedImage<FloatPixel3<float>>& image, bool scaleTo255) {
    if (name == nullptr) return;
    char fileName[4096];
    if (std::snprintf(fileName, sizeof fileName, "%s.ppm", name) >=
        static_cast<int>(sizeof fileName))
        return;
    std::FILE* file = std::fopen(fileName, "wb");
    if (file == nullptr) return;
    const int width = image.getWidth(), height = image.getHeight();
    writeHeader(file, width, height);
    const double factor = scaleTo255 ? 255.0 : 1.0;
    // Bottom row first: viewers show the file's first row at the top.
    for (int y = height - 1; y >= 0 && image.data() != nullptr; --y)
        for (int x = 0; x < width; ++x) {
            const FloatPixel3<float>& pixel = image.data()[static_cast<size_t>(y) * width + x];
            putRgb(file, Rgb{double(pixel.red) * factor, double(pixel.green) * factor,
                             double(pixel.blue) * factor});
        }
    std::fclose(file);
}

void dumpimageref(const ShrmImage& shrm, const double* d, double scale) {
    if (!isReflectionMap(shrm) || d == nullptr) return;
    std::FILE* file = std::fopen("tmpref.ppm", "wb");
    if (file == nullptr) return;
    double t, s;
    cappedViewPosition(d, t, s);
    const ViewHarmonics view(t, s);
    writeHeader(file, 400, kMapHeight);
    for (int y = 0; y < kMapHeight; ++y)
        for (int x = 0; x < 400; ++x) {
            // Two output columns per map column; odd ones average with the next map column.
            const int k = x / 2;
            int k2 = (x % 2 == 1) ? k + 1 : k;
            if (k2 > kMapWidth - 1) k2 = kMapWidth - 1;
            const ShrmPixel& left = shrm.data()[y * kMapWidth + k];
            const ShrmPixel& right = shrm.data()[y * kMapWidth + k2];
            Rgb sum{0.0, 0.0, 0.0};
            for (int c = 0; c < kMapCoeffs; ++c) {
                const double weight = view.y[c];
                sum.red += weight * (left.coeffs[c].red + right.coeffs[c].red) * (scale * 0.5);
                sum.green +=
                    weight * (left.coeffs[c].green + right.coeffs[c].green) * (scale * 0.5);
                sum.blue += weight * (left.coeffs[c].blue + right.coeffs[c].blue) * (scale * 0.5);
            }
            putRgb(file, sum);
        }
    std::fclose(file);
}

void dumpimage(const ShrmImage& shrm, const double* d, double scale) {
    if (!isReflectionMap(shrm) || d == nullptr) return;
    std::FILE* file = std::fopen("tmp.ppm", "wb");
    if (file == nullptr) return;
    double t, s;
    cappedViewPosition(d, t, s);
    const ViewHarmonics view(t, s);  // also builds the grid tables read below
    const double dv[3] = {d[0], d[1], std::fmin(std::fmax(d[2], -1.0), 1.0)};
    writeHeader(file, kMapWidth, kMapHeight);
    for (int i = 0; i < kMapHeight; ++i)
        for (int j = 0; j < kMapWidth; ++j) {
            const double n[3] = {thetaSin[i] * phiCos[j], thetaSin[i] * phiSin[j], thetaCos[i]};
            const double e = n[0] * dv[0] + n[1] * dv[1] + n[2] * dv[2];
            if (e < 0.0) {
                putBlack(file);
                continue;
            }
            double a, b;
            mirrorPosition(2.0 * e * n[0] - dv[0], 2.0 * e * n[1] - dv[1], 2.0 * e * n[2] - dv[2],
                           a, b);
            const int row = static_cast<int>(std::fmin(a, 99.0));
            const int column = static_cast<int>(std::fmin(b, 199.0));
            putRgb(file, viewedSum(view, shrm.data()[row * kMapWidth + column].coeffs,
                                   kMapBands - 1, scale));
        }
    std::fclose(file);
}

void dumpktsphere(const ShrmImage& shrm, const double* d, int order, double scale) {
    writeSphere("tmpktsphere.ppm", shrm, d, SphereView{127.5, false}, clampBand(order), scale);
}

void dumpimagesphere(const double (*)[100][100][200], const double (*)[21][41],
                     const double (*)[21][21][21], const ShrmImage& shrm, const double* d,
                     int threeD, int, double scale) {
    writeSphere(threeD != 0 ? "tmp3D.ppm" : "tmpfreq.ppm", shrm, d, SphereView{96.5, true},
                kMapBands - 1, scale);
}

void dumpimagesphereall(const double (*)[100][100][200], const double (*)[21][41],
                        const double (*)[21][21][21], const ShrmImage& shrm, const double* d,
                        int threeD, int, double scale) {
    if (!isReflectionMap(shrm) || d == nullptr) return;
    std::FILE* files[kMapBands] = {};
    bool allOpen = true;
    for (int k = 0; k < kMapBands && allOpen; ++k) {
        char fileName[32];
        std::snprintf(fileName, sizeof fileName, threeD != 0 ? "tmp3D%d.ppm" : "tmpfreq%d.ppm", k);
        files[k] = std::fopen(fileName, "wb");
        allOpen = files[k] != nullptr;
    }
    if (allOpen) {
        double t, s;
        clampedViewPosition(d, t, s);
        const ViewHarmonics view(t, s);
        for (std::FILE* file : files) writeHeader(file, 256, 256);
        traceSphere(
            shrm, d, SphereView{96.5, true}, kMapBands - 1,
            [&](int, int, const Rgb* coeffs) {
                // File k gets the running sum through band k.
                Rgb sum{0.0, 0.0, 0.0};
                for (int p = 0; p < kMapBands; ++p) {
                    for (int q = -p; q <= p; ++q) {
                        const int k = p * p + p + q;
                        sum.red += view.y[k] * coeffs[k].red * scale;
                        sum.green += view.y[k] * coeffs[k].green * scale;
                        sum.blue += view.y[k] * coeffs[k].blue * scale;
                    }
                    putRgb(files[p], sum);
                }
            },
            [&](int, int) {
                for (std::FILE* file : files) putBlack(file);
            });
    }
    for (std::FILE* file : files)
        if (file != nullptr) std::fclose(file);
}
