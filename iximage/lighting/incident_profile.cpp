#include <typeinfo>

#include "iximage/interfaces/constants.h"
#include "iximage/lighting/detail/incident_profile.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"

namespace ixImage {
namespace detail {

bool incidentProfileOf(const ReflectanceFunction& rf, std::vector<double>& values) {
    const std::type_info& type = typeid(rf);
    if (type == typeid(PhongReflectance)) {
        const int n = static_cast<const PhongReflectance&>(rf).getExponent();
        values = profileValues([n](double theta) { return phongProfile(n, theta); }, kShGridHeight);
        return true;
    }
    if (type == typeid(LambertReflectance)) {
        values = profileValues(lambertProfile, kShGridHeight);
        return true;
    }
    return false;
}

}  // namespace detail
}  // namespace ixImage
