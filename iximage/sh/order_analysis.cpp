#include "iximage/sh/order_analysis.h"

#include <algorithm>
#include <cstdio>

#include "iximage/interfaces/checkpoint.h"

namespace ixImage {

namespace {

constexpr double kEnergyThreshold = 0.97;
constexpr int kMaxViewBand = 10;
constexpr int kMaxLightBand = 20;

double channel(const FloatPixel3<double>& v, int c) {
    return c == 0 ? v.red : (c == 1 ? v.green : v.blue);
}

}  // namespace

void computeOrder(const SphericalHarmonics<FloatPixel3<double>>& /*light*/,
                  const ixUtil::ArrayN<3, FloatPixel3<double>>& brdf, FloatPixel3<double> norm,
                  int& lightOrder, int& brdfOrder) {
    checkpoint(nullptr);
    lightOrder = 0;
    brdfOrder = 0;
    const double total[3] = {norm.red, norm.green, norm.blue};

    // View bands. An order of 0 means "not reached yet": a channel that passes the threshold
    // while p = 0 is latched at p = 1, its ratio never shrinks.
    double E[3] = {0.0, 0.0, 0.0};
    int viewOrder[3] = {0, 0, 0};
    for (int p = 0; p <= kMaxViewBand; ++p)
        for (int q = 0; q <= p; ++q)
            for (int l = q; l <= kMaxLightBand; ++l) {
                const FloatPixel3<double>& b = brdf(l, p, q);
                for (int c = 0; c < 3; ++c) E[c] += channel(b, c) * channel(b, c);
                for (int c = 0; c < 3; ++c)
                    if (viewOrder[c] == 0 && E[c] / total[c] > kEnergyThreshold) viewOrder[c] = p;
            }

    std::printf("BRDF coefficient norm is %lf %lf %lf\n", E[0], E[1], E[2]);
    std::printf("Percentage accuracy is %lf %lf %lf\n", 100.0 * E[0] / total[0],
                100.0 * E[1] / total[1], 100.0 * E[2] / total[2]);
    std::printf("brdfOrder is %d %d %d\n", viewOrder[0], viewOrder[1], viewOrder[2]);

    brdfOrder = std::max({viewOrder[0], viewOrder[1], viewOrder[2]});
    if (brdfOrder == 0) brdfOrder = kMaxViewBand;

    // Lighting bands, per channel, over the view bands that channel needs.
    double G[3] = {0.0, 0.0, 0.0};
    int lightBand[3] = {0, 0, 0};
    for (int c = 0; c < 3; ++c)
        for (int l = 0; l <= kMaxLightBand; ++l)
            for (int p = 0; p <= viewOrder[c]; ++p)
                for (int q = 0; q <= viewOrder[c] && q <= p && q <= l; ++q) {
                    const double v = channel(brdf(l, p, q), c);
                    G[c] += v * v;
                    if (lightBand[c] == 0 && G[c] / total[c] > kEnergyThreshold) lightBand[c] = l;
                }

    std::printf("Light coefficient norm is %lf %lf %lf\n", G[0], G[1], G[2]);
    std::printf("lightOrder is %d %d %d\n", lightBand[0], lightBand[1], lightBand[2]);

    lightOrder = kMaxLightBand;
    checkpoint("order analysis");
}

}  // namespace ixImage
