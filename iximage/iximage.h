// Everything the library exports, in one include.
//
// Subsystems, from the bottom up: the stand-in interfaces of the base and image-definition
// libraries, typed images and their operations, environment-map projections, spherical-harmonic
// machinery, image-based lighting, tone mapping, mask outlines and diagnostic dumps. Each
// header can also be included on its own.
#pragma once

#include "iximage/interfaces/array_n.h"
#include "iximage/interfaces/atomic_file.h"
#include "iximage/interfaces/checkpoint.h"
#include "iximage/interfaces/color4.h"
#include "iximage/interfaces/constants.h"
#include "iximage/interfaces/error.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/half.h"
#include "iximage/interfaces/image.h"
#include "iximage/interfaces/int_range.h"
#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/large_buffer.h"
#include "iximage/interfaces/linear.h"
#include "iximage/interfaces/packet_context.h"
#include "iximage/interfaces/packet_file.h"
#include "iximage/interfaces/packing.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/interfaces/progress.h"
#include "iximage/interfaces/rect_pack.h"
#include "iximage/interfaces/reference.h"
#include "iximage/interfaces/strings.h"
#include "iximage/interfaces/thread_pool.h"
#include "iximage/interfaces/transform2d.h"

#include "iximage/image/arithmetic.h"
#include "iximage/image/blur.h"
#include "iximage/image/convert_copy.h"
#include "iximage/image/flip_min_max.h"
#include "iximage/image/image_pack.h"
#include "iximage/image/interpolate.h"
#include "iximage/image/resize.h"
#include "iximage/image/sample_bilinear.h"
#include "iximage/image/typed_image.h"

#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/environment_map.h"
#include "iximage/envmap/filtered_remap.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/recognize_remap.h"
#include "iximage/envmap/sphere_map.h"

#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/light_coeffs.h"
#include "iximage/sh/light_window.h"
#include "iximage/sh/order_analysis.h"
#include "iximage/sh/reflection_map.h"
#include "iximage/sh/rotation_matrices.h"
#include "iximage/sh/specular_map.h"
#include "iximage/sh/spherical_harmonics.h"

#include "iximage/lighting/blinn_phong_reflectance.h"
#include "iximage/lighting/brdf_coeff_cache.h"
#include "iximage/lighting/ggx_reflectance.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/irradiance_alg.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/measured_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "iximage/lighting/reflectance_function.h"
#include "iximage/lighting/view_dependent_map.h"
#include "iximage/lighting/working_probe.h"

#include "iximage/tonemap/tone_map.h"

#include "iximage/mask/mask_boundaries.h"

#include "iximage/diagnostics/dumps.h"
