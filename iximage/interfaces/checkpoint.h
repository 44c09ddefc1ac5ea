// Stage marker. The lighting and spherical-harmonic pipelines call checkpoint(nullptr) when a
// stage starts and checkpoint("stage name") when it ends ("irradiance", "lighting coeffs",
// "brdf sampling", "brdf coeffs", "order analysis", "convolution", "create shrm",
// "warped shrm", "view-dependent texture", "spherical harmonics setup"). It has no effect; it
// is exported so that a profiler or debugger can break on it.
#pragma once

#include "iximage/interfaces/export.h"

IXIMAGE_API void checkpoint(const char* label);
