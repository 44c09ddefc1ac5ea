// Process-wide cache of reflectance coefficients.
//
// The spherical-harmonic coefficients of a reflectance (the 21 x 21 x 21 array that
// computeBrdfCoeffs fills from ReflectanceFunction::sampleBrdf, and the norm the sampling
// reports) depend on the reflectance alone, not on the light probe. Every ImageBasedLighting
// in the process therefore shares them: the first specular-map build for a reflectance key
// samples and projects it, and later builds for the same key (another probe, another lighting
// object, or the same one after its maps were deleted) reuse the stored coefficients without
// calling sampleBrdf again.
//
// Conventions:
//  - Which reflectances: those whose samples are a function of their key alone, which the
//    library can vouch for only for its own models. isSharedByKey() is true when the dynamic
//    type of the reflectance is exactly one of the shipped models (PhongReflectance,
//    LambertReflectance, GgxReflectance, BlinnPhongReflectance, MeasuredReflectance, whose keys
//    encode their quantised parameters or their table's content); a caller's class, including one
//    derived from a shipped model, is sampled again on every build, as ReflectanceFunction's
//    contract describes. A new model of the library joins by adding its type to isSharedByKey().
//  - Key: the dynamic type together with ReflectanceFunction::getKey(); distinct parameters
//    carry distinct keys. A reflectance that reflects nothing (a zero norm channel) is
//    remembered as such, with null coefficients.
//  - Bound: at most kBrdfCoeffCacheCapacity entries (about 222 kB each); storing one more evicts
//    the one used least recently.
//  - Ownership: entries hold their arrays through std::shared_ptr, so a build that found an
//    entry keeps using it even if another thread evicts or clears it meanwhile.
//  - Threads: every function here is safe to call from several threads at once (one mutex).
#pragma once

#include <memory>

#include "iximage/interfaces/array_n.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/lighting/reflectance_function.h"

namespace ixImage {

constexpr int kBrdfCoeffCacheCapacity = 32;

using BrdfCoeffArray = ixUtil::ArrayN<3, FloatPixel3<double>>;

// What the cache holds for one key: the norm sampleBrdf wrote and the coefficients, null when
// a norm channel is exactly 0.
struct BrdfCoeffEntry {
    FloatPixel3<double> norm;
    std::shared_ptr<const BrdfCoeffArray> coeffs;
};

// True when rf's coefficients may be shared through this cache (see above).
IXIMAGE_API bool isSharedByKey(const ReflectanceFunction& rf);

// The entry stored for rf, or false when there is none or rf is not shared by key (entry is
// then left as it was).
IXIMAGE_API bool findBrdfCoeffs(const ReflectanceFunction& rf, BrdfCoeffEntry& entry);

// Stores entry for rf, replacing an earlier one; does nothing when rf is not shared by key.
IXIMAGE_API void storeBrdfCoeffs(const ReflectanceFunction& rf, const BrdfCoeffEntry& entry);

// Forgets every entry (the next build of each key samples its reflectance again).
IXIMAGE_API void clearBrdfCoeffCache();

// Number of keys currently stored.
IXIMAGE_API int getBrdfCoeffCacheSize();

}  // namespace ixImage
