// The reflectance models as Python classes. Each model is a few lines: a class deriving from
// iximage.Reflectance, its constructor (checking its arguments), its parameters as read-only
// properties and a __repr__.
#include <string>

#include "array_images.h"
#include "bindings.h"
#include "iximage/interfaces/error.h"
#include "iximage/lighting/blinn_phong_reflectance.h"
#include "iximage/lighting/ggx_reflectance.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/measured_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"

namespace ixPython {

namespace py = pybind11;
using ixImage::BlinnPhongReflectance;
using ixImage::GgxReflectance;
using ixImage::LambertReflectance;
using ixImage::MeasuredReflectance;
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

    py::class_<GgxReflectance, ReflectanceFunction>(
        m, "Ggx",
        R"doc(Isotropic microfacet reflectance: Trowbridge-Reitz (GGX) distribution of width alpha
(the square of the perceptual roughness), height-correlated Smith masking-shadowing and
Schlick Fresnel with normal-incidence reflectance f0 (1.0: no Fresnel).

Parameters are quantised to 1/1000 (alpha 0.001..1, f0 0..1); equal quantised parameters share
a cache entry.)doc")
        .def(py::init([](double alpha, double f0) {
                 if (!(alpha > 0.0 && alpha <= 1.0) || !(f0 >= 0.0 && f0 <= 1.0))
                     throw py::value_error("Ggx needs 0 < alpha <= 1 and 0 <= f0 <= 1");
                 return new GgxReflectance(alpha, f0);
             }),
             py::arg("alpha"), py::arg("f0") = 1.0)
        .def_property_readonly("alpha", &GgxReflectance::getAlpha, "alpha after quantisation.")
        .def_property_readonly("f0", &GgxReflectance::getF0, "f0 after quantisation.")
        .def("__repr__", [](const GgxReflectance& ggx) {
            return "iximage.Ggx(" + py::repr(py::float_(ggx.getAlpha())).cast<std::string>() +
                   ", " + py::repr(py::float_(ggx.getF0())).cast<std::string>() + ")";
        });

    py::class_<BlinnPhongReflectance, ReflectanceFunction>(
        m, "BlinnPhong",
        R"doc(Normalised half-vector lobe (n + 8) / (8 pi) (n . h)^n, the exponent quantised to
1/1000 (0 to 16000).)doc")
        .def(py::init([](double n) {
                 if (!(n >= 0.0 && n <= BlinnPhongReflectance::kMaxExponent))
                     throw py::value_error("BlinnPhong exponent must be in 0..16000");
                 return new BlinnPhongReflectance(n);
             }),
             py::arg("n"))
        .def_property_readonly("exponent", &BlinnPhongReflectance::getExponent)
        .def("__repr__", [](const BlinnPhongReflectance& blinn) {
            return "iximage.BlinnPhong(" +
                   py::repr(py::float_(blinn.getExponent())).cast<std::string>() + ")";
        });

    py::class_<MeasuredReflectance, ReflectanceFunction>(
        m, "Measured",
        R"doc(An isotropic measured BRDF table read from a file of the common binary layout of
measured isotropic materials (90 x 90 x 180 half/difference-angle cells per channel).

Raises OSError when the file cannot be read and ValueError when its size or dimensions are
wrong.)doc")
        .def(py::init([](const std::string& path) {
                 ixUtil::Error error;
                 std::unique_ptr<MeasuredReflectance> table;
                 {
                     py::gil_scoped_release release;
                     table = MeasuredReflectance::readFile(path, error);
                 }
                 if (!table) {
                     const std::string message = error.getMessage();
                     if (message.find("open") != std::string::npos) throw OsError(message);
                     throw py::value_error(message);
                 }
                 return table.release();
             }),
             py::arg("path"))
        .def("__repr__", [](const MeasuredReflectance& table) {
            return "<iximage.Measured key=" + std::to_string(table.getKey()) + ">";
        });
}

}  // namespace ixPython
