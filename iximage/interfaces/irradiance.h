// Diffuse irradiance as three quadratic forms: for a unit normal n = (x, y, z, 1), the
// irradiance of channel c is n^T M_c n. See iximage/lighting/irradiance_alg.h for the frame.
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/linear.h"

namespace ixImage {

struct IXIMAGE_API Irradiance {
    ixLinear::ProjMatrix red;
    ixLinear::ProjMatrix green;
    ixLinear::ProjMatrix blue;

    // All zero: the value used when there is no light probe.
    void clear() { *this = Irradiance(); }
};

}  // namespace ixImage
