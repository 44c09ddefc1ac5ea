// Finding and repairing pixels that are not light: non-finite values (NaN, +inf, -inf), which
// renderers and stitching tools leave behind, and negative values, which ringing filters and
// colour conversions produce. One non-finite pixel would spread through every spherical-harmonic
// coefficient of its channel, so a probe holding any is refused unless the caller asks for a
// repair; negative values are simply clamped to 0.
//
// Conventions
//  - Images are the library's Float3Image, rows bottom-up. Positions reported to people are in
//    picture coordinates: x from the left, y from the top row (the first row of a file).
//  - A pixel counts once however many of its channels are bad.
//  - Thread safety: plain functions over the caller's image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "iximage/image/typed_image.h"

namespace iblBake {

struct ProbeScan {
    int64_t nonFinite = 0;  // pixels with a NaN or infinite channel
    int64_t negative = 0;   // finite pixels with a negative channel
    int firstX = -1;        // the first non-finite pixel in reading order (top row first),
    int firstY = -1;        // in picture coordinates; -1 when there is none
};

ProbeScan scanProbe(const ixImage::Float3Image& image);

enum class NonFiniteRepair {
    kBlack,       // set the pixel to 0
    kNeighbours,  // the mean of the finite pixels among its eight neighbours (0 if none)
};

// Repairs every non-finite pixel; returns how many pixels changed. Neighbour means are taken
// from the image as it was before the repair, so the result does not depend on the scan order.
int64_t repairNonFinite(ixImage::Float3Image& image, NonFiniteRepair how);

// Sets negative channels of finite pixels to 0; returns how many pixels changed.
int64_t clampNegative(ixImage::Float3Image& image);

// "N non-finite pixels, the first at (x, y)" for messages.
std::string describeNonFinite(const ProbeScan& scan);

// What ibl-bake does with a probe's non-finite pixels: refuse the probe (the default) or repair
// them in one of the two ways above.
enum class NonFinitePolicy { kRefuse, kBlack, kNeighbours };

// "black" and "neighbours" (the names of --fix-nonfinite); false for anything else.
bool parseNonFinitePolicy(const std::string& name, NonFinitePolicy& policy);

// The tool's rules for a loaded probe, in this order: non-finite pixels refuse the probe or are
// repaired as `policy` says, then negative channels are clamped to 0. Returns "" when the probe
// may be baked (repaired in place), otherwise the reason it is refused, naming the count and
// the first position. Each repair adds one line for the user to `notes`.
std::string applyNonFinitePolicy(ixImage::Float3Image& image, NonFinitePolicy policy,
                                 std::vector<std::string>& notes);

}  // namespace iblBake
