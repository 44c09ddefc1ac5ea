#include "iximage/lighting/reflectance_function.h"

namespace ixImage {

// Out of line so that the class's virtual table is emitted once, in the library.
ReflectanceFunction::ReflectanceFunction() = default;
ReflectanceFunction::ReflectanceFunction(const ReflectanceFunction& other) = default;
ReflectanceFunction& ReflectanceFunction::operator=(const ReflectanceFunction& other) = default;
ReflectanceFunction::~ReflectanceFunction() = default;

}  // namespace ixImage
