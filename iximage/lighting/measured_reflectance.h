// Measured isotropic reflectance: a tabulated BRDF in the widely used binary layout for
// measured materials, a ReflectanceFunction.
//
// File layout (little-endian): three 32-bit signed integers, the table's dimensions along
// theta_h, theta_d and phi_d, which must be 90, 90 and 180; then 3 x 90 x 90 x 180 doubles,
// the whole red table, then green, then blue. Within a channel, cell (ih, id, ip) is entry
// ip + 180 (id + 90 ih). Stored values times 1/1500 (red), 1.15/1500 (green) and 1.66/1500
// (blue) are the BRDF in 1/sr; negative stored values mark unmeasured cells and read as 0.
//
// Angles (half/difference parametrisation), surface frame with normal +Z:
//   h = normalize(w_i + w_o), theta_h = acos(h.z), phi_h = atan2(h.y, h.x);
//   d = w_i turned by -phi_h about Z, then by -theta_h about Y; theta_d = acos(d.z),
//   phi_d = atan2(d.y, d.x), plus pi when negative (reciprocity folds it into [0, pi)).
// Cell centres of the axes as this class reads them: theta_h = (ih / 90)^2 pi / 2 (dense near
// the specular peak, the inverse of the format's index sqrt(theta_h / (pi/2) 90 90)),
// theta_d = id pi / 180, phi_d = ip pi / 180. evaluate() interpolates linearly between them
// (phi_d wraps with period pi, the other axes clamp at their ends) instead of taking the
// nearest cell: the table is smoother and a sharp highlight is not stepped.
//
// Specular map: as for every reflectance, the map at a direction N is the light reflected by
// a surface with normal N towards the viewer at N (reflectance_function.h); other views come
// from ImageBasedLighting::getViewDependentMap.
//
// Key: 0x70000000 + (28 bits of a 64-bit FNV-1a hash of the scaled table). Tables that differ
// anywhere get distinct keys except by chance: about 1 in 2.7e8 for two tables, k^2 / 5.4e8
// among k tables. Two loads of one file share a key (and so a cache entry).
//
// Memory: the table is kept in single precision, 3 x 1,458,000 floats (17.5 MB).
// Ownership and threads: a plain value object; evaluate and sampleBrdf only read the table.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "iximage/interfaces/error.h"
#include "iximage/interfaces/export.h"
#include "iximage/lighting/reflectance_function.h"

namespace ixImage {

class IXIMAGE_API MeasuredReflectance : public ReflectanceFunction {
public:
    static constexpr int kKeyBase = 0x70000000;
    static constexpr int kThetaH = 90, kThetaD = 90, kPhiD = 180;
    static constexpr int kCells = kThetaH * kThetaD * kPhiD;  // per channel
    static constexpr long long kFileBytes = 12 + 8LL * 3 * kCells;

    // stored: 3 x kCells values as a file holds them (red, green, blue blocks, unscaled,
    // negatives for unmeasured cells). A vector of another size gives an all-zero table.
    explicit MeasuredReflectance(const std::vector<double>& stored);
    ~MeasuredReflectance() override;

    // Reads a table file. On failure returns null and sets error (code 1) to a message that
    // names the file and the fault: cannot be opened, wrong dimensions, truncated or too long.
    static std::unique_ptr<MeasuredReflectance> readFile(const std::string& path,
                                                         ixUtil::Error& error);

    // The BRDF (1/sr, per channel) for unit directions of the surface frame; 0 when either
    // direction is on or below the surface.
    FloatPixel3<double> evaluate(const double wi[3], const double wo[3]) const;

    void sampleBrdf(ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                    FloatPixel3<double>& norm) const override;

private:
    std::vector<float> table;  // BRDF in 1/sr: channel-major, then the file's cell order
};

}  // namespace ixImage
