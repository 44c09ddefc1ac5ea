// A caller-supplied description of a surface's reflectance, named by an integer key.
//
// Conventions:
//  - Identity: the key alone names the reflectance. Two objects with equal keys are the same
//    reflectance for the specular-map cache of ImageBasedLighting: the map built for one is
//    returned for the other. operator== and operator< compare the keys only (signed).
//  - flag: free for derived classes; copied with the object, never read by the library. It
//    starts false.
//  - Ownership: a plain polymorphic object owned by its creator; the lighting object only
//    borrows it for the duration of one call.
//  - Threads: sampleBrdf is called on the thread that requests the specular map.
//
// Sampling contract (sampleBrdf): the library calls it once per specular-map build with a
// freshly allocated, uninitialised 100 x 100 x 200 sample array and an uninitialised norm.
// A derived class writes every sample and all three components of norm. The sample layout,
// the meaning of norm and of a zero component are documented with the specular-map pipeline
// (see specular_cache.cpp and the SH projection computeBrdfCoeffs).
#pragma once

#include "iximage/image/pixel_types.h"
#include "iximage/interfaces/array_n.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

class IXIMAGE_API ReflectanceFunction {
public:
    ReflectanceFunction();
    ReflectanceFunction(const ReflectanceFunction& other);
    ReflectanceFunction& operator=(const ReflectanceFunction& other);
    virtual ~ReflectanceFunction();

    // Fills samples (dims 100, 100, 200) and writes the per-channel norm; see the contract
    // above. Const because the cache hands reflectances around by const reference.
    virtual void sampleBrdf(ixUtil::ArrayN<3, FloatPixel3<double>>& samples,
                            FloatPixel3<double>& norm) const = 0;

    void setKey(int newKey) { key = newKey; }
    int getKey() const { return key; }

    bool operator<(const ReflectanceFunction& other) const { return key < other.key; }
    bool operator==(const ReflectanceFunction& other) const { return key == other.key; }

protected:
    int key = 0;
    bool flag = false;
};

}  // namespace ixImage
