#include "iximage/envmap/environment_map.h"

namespace ixImage {

EnvironmentMap::EnvironmentMap(Type t) : type(t) {}

// The base copy constructor gives the copy a fresh count of 0; the image is shared.
EnvironmentMap::EnvironmentMap(const EnvironmentMap& other)
    : ix::ReferenceCount(other), type(other.type), image(other.image) {}

EnvironmentMap::~EnvironmentMap() { image.reset(); }

}  // namespace ixImage
