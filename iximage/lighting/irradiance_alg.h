// Diffuse irradiance of an environment map in the nine-term spherical-harmonic representation.
//
// The light is projected onto the real spherical harmonics of bands 0 to 2; the irradiance for
// a unit normal is then a quadratic form (x, y, z, 1) M (x, y, z, 1)^T with one symmetric 4 x 4
// matrix per colour channel (the irradiance-environment-map construction of Ramamoorthi and
// Hanrahan, "An Efficient Representation for Irradiance Environment Maps", 2001).
//
// Conventions:
//  - Frame: coefficients and matrices use (x, y, z) = (-dx, -dy, dz) for an environment-map
//    direction (dx, dy, dz), a half turn about +Z. Evaluate a normal given in the environment
//    frame as (-nx, -ny, nz).
//  - Units: the coefficients are (1/pi) * integral of L(w) Y_k(w) dw, so the quadratic form is
//    the cosine-weighted integral over the hemisphere divided by pi (1 for a white probe).
//  - Precision: the accumulation and the matrix entries are computed in float, exactly in the
//    order given in irradiance_alg.cpp; the matrices are stored as doubles.
//  - Threads: a plain value object; one thread per object.
#pragma once

#include "iximage/envmap/environment_map.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/linear.h"
#include "iximage/interfaces/pixel_types.h"

namespace ixImage {

class IXIMAGE_API IrradianceAlg {
public:
    // Basis order of the nine coefficients: 1, y, z, x, xy, yz, 3z^2 - 1, xz, x^2 - y^2.
    static constexpr int kCoefficientCount = 9;

    IrradianceAlg();
    IrradianceAlg(const IrradianceAlg& other);
    IrradianceAlg& operator=(const IrradianceAlg& other);
    ~IrradianceAlg();

    // Adds the projection of map's light. Pixels of FloatPixel3<float> and FloatPixel4<half>
    // images are accumulated (the alpha of the latter ignored); a map without an image or of
    // any other pixel type leaves the coefficients unchanged. Pixels outside the projection
    // (a sphere map's corners, a cross's empty cells) are skipped.
    void accumulate(const EnvironmentMap& map);

    // Copies the nine coefficients to out[0] .. out[8].
    void getCoefficients(FloatPixel3<float>* out) const;

    // The red, green and blue quadratic-form matrices.
    void getIrradiance(Irradiance& irr) const;

private:
    void getMatrices(ixLinear::ProjMatrix& red, ixLinear::ProjMatrix& green,
                     ixLinear::ProjMatrix& blue) const;

    FloatPixel3<float> coefficients[kCoefficientCount];
};

// The irradiance (divided by pi) that `irradiance` gives a unit normal n = (nx, ny, nz) of the
// environment-map frame: E_c(n) = p^T M_c p per channel with p = (-nx, -ny, nz, 1), the
// matrices' frame being the environment frame turned half a turn about +Z. Evaluated in double
// precision; a white probe gives 1 for every normal.
IXIMAGE_API FloatPixel3<double> evaluateIrradiance(const Irradiance& irradiance, double nx,
                                                   double ny, double nz);

}  // namespace ixImage
