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
// A derived class writes every sample and all three components of norm:
//  - Frame: the surface's own frame, +Z along its axis. samples[i][j][k] (dims 100 x 100 x 200)
//    is the reflectance times the cosine of the incident angle at incident polar angle
//    theta_i = i pi / 100, outgoing polar angle theta_j = j pi / 100 and azimuth difference
//    phi_k = k pi / 100 (i, j = 0..99, k = 0..199; theta = pi itself is not sampled). Every
//    sample is written; channels are red, green, blue.
//  - Meaning: the specular map at a direction R is the integral over incident directions w of
//    L(w) times that function, with the surface axis on R and the light leaving along R
//    (theta_j = 0). A probe of constant radiance 1 therefore gives the integral of the
//    function over the sphere of incident directions. The map is a 200 x 100
//    latitude-longitude map in the environment-map frame: look it up with dirToCoord.
//  - norm, per channel: sum over all samples of sample^2 sin(theta_i) sin(theta_j) (pi/100)^3,
//    the function's squared norm; the order analysis reports which share of it the
//    spherical-harmonic coefficients capture. A component of exactly 0 means the reflectance
//    reflects nothing in that channel: no map is built and the cache remembers a null map.
#pragma once

#include "iximage/interfaces/array_n.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/pixel_types.h"

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
