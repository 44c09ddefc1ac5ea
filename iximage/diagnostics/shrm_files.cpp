// printshrms: the coefficients of an SH reflection map, and of its six cube faces, as 16-bit words
// scaled per coefficient by its largest magnitude.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "iximage/diagnostics/detail/dump_support.h"
#include "iximage/diagnostics/dumps.h"

using namespace ixImage;
using namespace ixImage::dumps;

namespace {

using Rgb = FloatPixel3<double>;

constexpr int kFaceSize = 64;
constexpr double kFaceCentre = 31.5;

double channel(const Rgb& value, int c) {
    return c == 0 ? value.red : (c == 1 ? value.green : value.blue);
}

// Writes one coefficient file: pixelCount pixels of coefficientCount coefficients each, stored
// pixel after pixel in coeffs with a stride of stride coefficients.
void writeCoefficientFile(const std::string& fileName, const Rgb* coeffs, int pixelCount,
                          int stride, int coefficientCount, double scale) {
    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    if (file == nullptr) return;

    std::vector<double> largest(3 * static_cast<size_t>(coefficientCount), 0.0);
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < coefficientCount; ++k) {
            double m = 0.0;
            for (int pixel = 0; pixel < pixelCount; ++pixel)
                m = std::fmax(
                    m, std::fabs(channel(coeffs[static_cast<size_t>(pixel) * stride + k], c)));
            largest[c * coefficientCount + k] = m;
        }

    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < coefficientCount; ++k)
            std::fprintf(file, "%lf ", scale * largest[c * coefficientCount + k]);
        std::fprintf(file, "\n");
    }

    for (int pixel = 0; pixel < pixelCount; ++pixel)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < coefficientCount; ++k) {
                const double m = largest[c * coefficientCount + k];
                const double ratio =
                    m == 0.0 ? 0.0
                             : channel(coeffs[static_cast<size_t>(pixel) * stride + k], c) / m;
                // [-1, 1] onto [0, 65535]; 65535.999 lets +M reach the top word after truncation.
                const unsigned u = static_cast<unsigned>((ratio + 1.0) * 0.5 * 65535.999);
                std::fputc(static_cast<int>(u / 256), file);
                std::fputc(static_cast<int>(u % 256), file);
            }
    std::fclose(file);
}

// Direction of the texel (row i, column j) of a cube face, alpha up and beta across the face.
struct Face {
    const char* suffix;
    void (*direction)(double alpha, double beta, double out[3]);
};

const Face kFaces[6] = {
    {"_nx", [](double a, double b, double o[3]) { o[0] = -1.0, o[1] = a, o[2] = b; }},
    {"_px", [](double a, double b, double o[3]) { o[0] = 1.0, o[1] = a, o[2] = -b; }},
    {"_ny", [](double a, double b, double o[3]) { o[0] = b, o[1] = -1.0, o[2] = a; }},
    {"_py", [](double a, double b, double o[3]) { o[0] = b, o[1] = 1.0, o[2] = -a; }},
    {"_nz", [](double a, double b, double o[3]) { o[0] = -b, o[1] = a, o[2] = -1.0; }},
    {"_pz", [](double a, double b, double o[3]) { o[0] = b, o[1] = a, o[2] = 1.0; }},
};

}  // namespace

void printshrms(const char* base, const char*, int order, const ShrmImage& shrm, double scale) {
    if (base == nullptr || !isReflectionMap(shrm)) return;
    const std::string baseName(base);

    // The map itself: every pixel, bands 0..10, gathered into one flat array (a map pixel also
    // carries its order and count ahead of the coefficients).
    std::vector<Rgb> mapCoeffs(static_cast<size_t>(kMapWidth) * kMapHeight * kMapCoeffs);
    for (int pixel = 0; pixel < kMapWidth * kMapHeight; ++pixel)
        for (int k = 0; k < kMapCoeffs; ++k)
            mapCoeffs[static_cast<size_t>(pixel) * kMapCoeffs + k] = shrm.data()[pixel].coeffs[k];
    writeCoefficientFile(baseName + ".shrm", mapCoeffs.data(), kMapWidth * kMapHeight, kMapCoeffs,
                         kMapCoeffs, scale);
    mapCoeffs.clear();
    mapCoeffs.shrink_to_fit();

    const int lastBand = order < 0 ? 0 : (order > kMapBands - 1 ? kMapBands - 1 : order);
    const int faceCoeffs = (lastBand + 1) * (lastBand + 1);
    // One face buffer, reused for the six faces.
    std::vector<Rgb> texels(static_cast<size_t>(kFaceSize) * kFaceSize * faceCoeffs);
    for (const Face& face : kFaces) {
        for (int i = 0; i < kFaceSize; ++i)
            for (int j = 0; j < kFaceSize; ++j) {
                const double alpha = (kFaceCentre - i) / kFaceCentre,
                             beta = (j - kFaceCentre) / kFaceCentre;
                double dir[3];
                face.direction(alpha, beta, dir);
                double length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
                if (length < 1e-6) length = 1.0;
                double theta, phi;
                directionAngles(dir[0] / length, dir[1] / length, dir[2] / length, theta, phi);
                double a = theta / kPi * 100.0, b = phi / (2.0 * kPi) * 200.0;
                if (a > 99.0) a = 98.9999;
                if (b > 199.0) b = 198.9999;
                bilinearCoefficients(
                    shrm, a, b, lastBand,
                    &texels[(static_cast<size_t>(i) * kFaceSize + j) * faceCoeffs]);
            }
        writeCoefficientFile(baseName + face.suffix + ".shrm", texels.data(), kFaceSize * kFaceSize,
                             faceCoeffs, faceCoeffs, scale);
    }
}
