// The reflected light of a probe under one reflectance, for any pair of surface normal and
// view direction.
//
// Conventions:
//  - Frame: the environment-map frame of ImageBasedLighting (-Y is the centre of every
//    projection, +Z up). normal and view are unit vectors pointing away from the surface (view
//    points towards the viewer); they need not be normalised exactly (both are normalised).
//  - Content: for every normal of the 200 x 100 latitude-longitude grid (pixel centres, as in
//    the specular map) the light leaving the surface as a function of the view direction,
//    expanded in view bands p = 0..10 (121 real spherical harmonics) in the frame of that
//    normal: local +Z the normal, local +X the direction of increasing latitude (towards +Z),
//    local +Y the direction of increasing u (longitude). evaluate() blends the four grid
//    normals around the requested one bilinearly (the longitude wraps, the latitude clamps
//    at the first and last rows) and sums the expansion at the view's local direction.
//    Negative sums (truncation ringing) are returned as 0.
//  - Views below the horizon (view . normal < 0) are clamped onto it: the view is projected
//    onto the tangent plane (the exact opposite of the normal becomes local +X). The shipped
//    two-direction models hold their samples beyond 80 degrees from the normal at the 80-degree
//    value (isotropic_sampling.h), so grazing views read approximately that.
//  - With view = normal the result is the specular map's value at that normal, interpolated.
//    For reflectances whose samples ignore the outgoing direction (Phong, Lambert) the first
//    argument is the lobe's axis and the result does not depend on the view.
//  - Memory: 200 x 100 x 121 x 3 floats, 29,040,000 bytes per map (kept in single precision;
//    the SH reflection map it comes from holds the same coefficients in double, 58 MB).
//  - Ownership: reference-counted (ix::ReferenceCount), created with a count of 0; the
//    lighting object's cache holds one reference. Threads: evaluate only reads the map and the
//    spherical-harmonic tables, so one map may be evaluated from several threads at once.
#pragma once

#include <cstddef>
#include <vector>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/constants.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/linear.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/interfaces/reference.h"

namespace ixImage {

class IXIMAGE_API ViewDependentMap : public ix::ReferenceCount {
public:
    static constexpr int kWidth = kShGridWidth;
    static constexpr int kHeight = kShGridHeight;
    static constexpr int kCoefficients = 121;  // view bands 0..10

    // Keeps the coefficients of a 200 x 100 SH reflection map in single precision. A map of any
    // other size gives a map that evaluates to 0 everywhere.
    explicit ViewDependentMap(const ShrmImage& reflectionMap);
    ~ViewDependentMap() override;

    // Reflected radiance towards view from a surface with this normal. A zero normal gives 0.
    FloatPixel3<float> evaluate(const ixLinear::VectorFlt& normal,
                                const ixLinear::VectorFlt& view) const;
    // The same for count pairs: out[i] = evaluate(normals[i], views[i]).
    void evaluate(const ixLinear::VectorFlt* normals, const ixLinear::VectorFlt* views,
                  std::size_t count, FloatPixel3<float>* out) const;

    std::size_t memorySize() const { return coefficients.size() * sizeof(float); }

private:
    std::vector<float> coefficients;  // [row][column][coefficient][channel]
};

}  // namespace ixImage
