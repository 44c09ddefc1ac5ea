#include "probe_repair.h"

#include <cmath>
#include <vector>

namespace iblBake {

using ixImage::Float3Image;
using ixImage::FloatPixel3;

namespace {

bool isFinite(const FloatPixel3<float>& p) {
    return std::isfinite(p.red) && std::isfinite(p.green) && std::isfinite(p.blue);
}

bool hasNegative(const FloatPixel3<float>& p) {
    return p.red < 0.f || p.green < 0.f || p.blue < 0.f;
}

}  // namespace

ProbeScan scanProbe(const Float3Image& image) {
    ProbeScan scan;
    const int w = image.getWidth(), h = image.getHeight();
    // Reading order is the picture's: the image's last row (the top of the picture) first.
    for (int row = h - 1; row >= 0; --row)
        for (int x = 0; x < w; ++x) {
            const FloatPixel3<float>& p = image.at(x, row);
            if (!isFinite(p)) {
                if (scan.nonFinite++ == 0) {
                    scan.firstX = x;
                    scan.firstY = h - 1 - row;
                }
            } else if (hasNegative(p)) {
                ++scan.negative;
            }
        }
    return scan;
}

int64_t repairNonFinite(Float3Image& image, NonFiniteRepair how) {
    const int w = image.getWidth(), h = image.getHeight();
    std::vector<std::pair<int, int>> bad;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!isFinite(image.at(x, y))) bad.emplace_back(x, y);

    // Means first, writes after: a repaired pixel never feeds a neighbour's mean.
    std::vector<FloatPixel3<float>> fixed(bad.size(), FloatPixel3<float>(0.f, 0.f, 0.f));
    if (how == NonFiniteRepair::kNeighbours) {
        for (size_t i = 0; i < bad.size(); ++i) {
            double sum[3] = {0.0, 0.0, 0.0};
            int count = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int x = bad[i].first + dx, y = bad[i].second + dy;
                    if ((dx == 0 && dy == 0) || x < 0 || y < 0 || x >= w || y >= h) continue;
                    const FloatPixel3<float>& p = image.at(x, y);
                    if (!isFinite(p)) continue;
                    sum[0] += p.red;
                    sum[1] += p.green;
                    sum[2] += p.blue;
                    ++count;
                }
            if (count > 0)
                fixed[i] = FloatPixel3<float>(float(sum[0] / count), float(sum[1] / count),
                                              float(sum[2] / count));
        }
    }
    for (size_t i = 0; i < bad.size(); ++i) image.at(bad[i].first, bad[i].second) = fixed[i];
    return int64_t(bad.size());
}

int64_t clampNegative(Float3Image& image) {
    int64_t changed = 0;
    const int w = image.getWidth(), h = image.getHeight();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            FloatPixel3<float>& p = image.at(x, y);
            if (!isFinite(p) || !hasNegative(p)) continue;
            p.red = std::fmax(p.red, 0.f);
            p.green = std::fmax(p.green, 0.f);
            p.blue = std::fmax(p.blue, 0.f);
            ++changed;
        }
    return changed;
}

std::string describeNonFinite(const ProbeScan& scan) {
    std::string text = std::to_string(scan.nonFinite) +
                       (scan.nonFinite == 1 ? " non-finite pixel" : " non-finite pixels");
    if (scan.nonFinite > 0)
        text += std::string(scan.nonFinite == 1 ? ", at (" : ", the first at (") +
                std::to_string(scan.firstX) + ", " + std::to_string(scan.firstY) + ")";
    return text;
}

}  // namespace iblBake
