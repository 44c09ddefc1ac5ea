// The reflectance models as Python classes. Each model is a few lines: a class deriving from
// iximage.Reflectance, its constructor (checking its arguments), its parameters as read-only
// properties and a __repr__.
#include <string>

#include "bindings.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"

namespace ixPython {

namespace py = pybind11;
using ixImage::LambertReflectance;
using ixImage::PhongReflectance;
using ixImage::ReflectanceFunction;

void bindReflectanceModels(py::module_& m) {
    py::class_<ReflectanceFunction>(
        m, "Reflectance",
        R"doc(A surface reflectance that Lighting.specular_map turns into a specular map.

Not constructed directly: use one of the models (Phong, Lambert). Two reflectances with the
same key are the same reflectance for a Lighting's cache of specular maps.)doc")
        .def_property_readonly("key", &ReflectanceFunction::getKey,
                               "The integer that names this reflectance in the cache.")
        .def(
            "__eq__",
            [](const ReflectanceFunction& a, const ReflectanceFunction& b) { return a == b; },
            py::is_operator())
        .def("__hash__", &ReflectanceFunction::getKey);

    py::class_<PhongReflectance, ReflectanceFunction>(
        m, "Phong",
        R"doc(Normalised Phong lobe (n + 1) / (2 pi) max(0, cos a)^n about the reflection direction.

Its specular map, looked up at the view direction mirrored about the normal, is the probe
prefiltered by the lobe; a probe of constant radiance 1 gives 1. Larger n is sharper;
n = 0 is a uniform hemisphere.)doc")
        .def(py::init([](int n) {
                 if (n < 0 || n > PhongReflectance::kMaxExponent)
                     throw py::value_error("Phong exponent must be in 0.." +
                                           std::to_string(PhongReflectance::kMaxExponent) +
                                           ", not " + std::to_string(n));
                 return new PhongReflectance(n);
             }),
             py::arg("n"), "Phong reflectance of exponent n (0 to 16777215).")
        .def_property_readonly("exponent", &PhongReflectance::getExponent, "The exponent n.")
        .def("__repr__", [](const PhongReflectance& phong) {
            return "iximage.Phong(" + std::to_string(phong.getExponent()) + ")";
        });

    py::class_<LambertReflectance, ReflectanceFunction>(
        m, "Lambert", R"doc(Lambertian reflectance max(0, cos a) / pi.

Its specular map, looked up at the surface normal, is the outgoing radiance of a white
Lambertian surface (the irradiance divided by pi); a probe of constant radiance 1 gives 1.)doc")
        .def(py::init<>())
        .def("__repr__",
             [](const LambertReflectance&) { return std::string("iximage.Lambert()"); });
}

}  // namespace ixPython
