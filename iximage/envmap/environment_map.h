// Environment maps: projections of the sphere of directions onto an image.
//
// Conventions shared by every projection:
//  - Directions are ixLinear::VectorFlt, unit length on output and expected unit length on
//    input (a longer vector is not normalised; acos/asin of a component past +-1 gives NaN).
//  - -Y is the centre of every projection; +Z is "up" (the lat-long pole at v = 1).
//  - Image coordinates (u, v) run from 0 to 1 across the width and height of the whole image,
//    v = 0 being the side of the first pixel row; pixel (x, y) has its centre at
//    ((x + 0.5) / width, (y + 0.5) / height).
//  - omega is the solid angle in steradians of one pixel at (u, v); over a map it sums to ~4 pi.
//  - Geometry is single precision; sqrt and the trigonometric functions are evaluated in
//    double on float operands and rounded back; pi is the float 3.1415927.
//
// Ownership: a map is reference counted (count 0 at creation, keep it in an ix::Reference) and
// holds one reference to its image, which may be null. A copy of a map shares the image. The
// conversions use only the projection and its constants, never the pixels, so a map can
// convert coordinates before an image is attached.
//
// Thread safety: the conversions are const and touch no shared state; many threads may convert
// on one map at once. Taking or dropping references is not thread safe (plain int counts).
#pragma once

#include <cstdint>

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/image.h"
#include "iximage/interfaces/linear.h"
#include "iximage/interfaces/reference.h"

namespace ixImage {

class IXIMAGE_API EnvironmentMap : public ix::ReferenceCount {
public:
    // The projection of a map; the values are stored and never change.
    enum Type : std::int32_t {
        kSphere = 0,   // SphereMap: angular (equal-angle) disc
        kLatLong = 1,  // LatLongMap: latitude-longitude rectangle
        kCross = 2,    // CrossMap: six cube faces laid out as a cross
    };

    // Count 0, no image.
    explicit EnvironmentMap(Type t);
    // Copies the projection; the copy shares the image (one more reference) and starts at 0.
    EnvironmentMap(const EnvironmentMap& other);
    // Releases the image.
    ~EnvironmentMap() override;

    // Whether (u, v) lies on the projected sphere.
    virtual bool isValidCoord(float u, float v) const = 0;
    // Direction of (u, v) and, when computeOmega is true, the solid angle of one pixel there.
    // Outside the projection: false, omega = 0 (whatever computeOmega says), dir untouched.
    virtual bool coordToDir(float u, float v, ixLinear::VectorFlt& dir, float& omega,
                            bool computeOmega) const = 0;
    // Direction only; the same result as the five-argument form.
    virtual bool coordToDir(float u, float v, ixLinear::VectorFlt& dir) const = 0;
    // Image coordinates of a direction. Never fails.
    virtual void dirToCoord(const ixLinear::VectorFlt& dir, float& u, float& v) const = 0;

    Type getType() const { return type; }
    Image* getImage() const { return image.get(); }
    // Attaches (or, with null, detaches) the image; the map keeps one reference to it.
    void setImage(Image* newImage) { image = newImage; }

    // Public data members: the class's published layout has them so, and code compiled against
    // it reads the tag and attaches the image directly. New code uses getType, getImage and
    // setImage. The tag never changes after construction.
    Type type;
    ix::Reference<Image> image;
};

}  // namespace ixImage
