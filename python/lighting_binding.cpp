// iximage.Lighting over ixImage::ImageBasedLighting.
//
// Threads: every computation runs with the GIL released, under the object's own mutex (a
// library lighting object is used by one thread at a time). The mutex is taken only after the GIL
// is released, so a thread waiting for it never holds up other Python threads, and it is let go
// before the GIL is taken back. Results are copied into arrays allocated beforehand with the GIL.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "array_images.h"
#include "bake.h"
#include "bindings.h"
#include "iximage/interfaces/packet_context.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/irradiance_alg.h"
#include "probe_repair.h"
#include "rotation_matrix_file.h"

namespace ixPython {

namespace {

using ixImage::EnvironmentMap;
using ixImage::Float3Image;
using ixImage::ImageBasedLighting;
using ixImage::Irradiance;
using ixImage::ReflectanceFunction;

constexpr int kSpecularWidth = 200;  // every specular map is a 200 x 100 latitude-longitude map
constexpr int kSpecularHeight = 100;

// The one place where the module creates its lighting objects: settings that change how the
// library derives the lighting from a probe (such as the working probe it integrates) belong here.
// The working probe is the energy-preserving one, accurate at every probe size and projection.
std::unique_ptr<ImageBasedLighting> newLightingObject() {
    auto lighting = std::make_unique<ImageBasedLighting>();
    lighting->setWorkingProbeFilter(ixImage::WorkingProbeFilter::kEnergyPreserving);
    return lighting;
}

struct Lighting {
    std::unique_ptr<ImageBasedLighting> lighting = newLightingObject();
    std::mutex mutex;
};

// Runs work(lighting) without the GIL, holding the object's mutex.
template <class Work>
auto withoutGil(Lighting& self, Work&& work) {
    py::gil_scoped_release release;
    const std::lock_guard<std::mutex> lock(self.mutex);
    return work(*self.lighting);
}

// The same, for work that needs the rotation matrices (irradiance and specular maps).
template <class Work>
auto computing(Lighting& self, Work&& work) {
    py::gil_scoped_release release;
    ensureRotationMatrices();
    const std::lock_guard<std::mutex> lock(self.mutex);
    return work(*self.lighting);
}

void requireProbe(const ImageBasedLighting& lighting) {
    if (!lighting.haveUsableLightProbe())
        throw std::runtime_error("this Lighting holds no usable light probe");
}

Irradiance computedIrradiance(ImageBasedLighting& lighting) {
    requireProbe(lighting);
    Irradiance irradiance;
    lighting.getIrradiance(irradiance, nullptr);
    if (!lighting.getLightCoeffs())
        throw std::runtime_error("the light coefficients could not be computed");
    return irradiance;
}

// Non-finite pixels would spread through every spherical-harmonic coefficient of their channel:
// they are refused unless the caller names a repair. Negative radiance is clamped to 0.
void cleanProbe(Float3Image& probe, const std::string& fix) {
    const iblBake::ProbeScan scan = iblBake::scanProbe(probe);
    if (scan.nonFinite > 0) {
        if (fix.empty())
            throw py::value_error("probe has " + iblBake::describeNonFinite(scan) +
                                  "; pass fix_nonfinite=\"black\" or \"neighbours\" to repair");
        iblBake::repairNonFinite(probe, fix == "black" ? iblBake::NonFiniteRepair::kBlack
                                                       : iblBake::NonFiniteRepair::kNeighbours);
    }
    iblBake::clampNegative(probe);
}

std::unique_ptr<Lighting> makeLighting(const py::object& probe, const py::object& fixNonFinite) {
    std::string fix;
    if (!fixNonFinite.is_none()) {
        fix = py::str(fixNonFinite);
        if (!py::isinstance<py::str>(fixNonFinite) || (fix != "black" && fix != "neighbours"))
            throw py::value_error("fix_nonfinite must be None, \"black\" or \"neighbours\", not " +
                                  std::string(py::repr(fixNonFinite)));
    }
    ix::Reference<Float3Image> image = imageFromArray(checkedImageArray(probe, "probe"));
    auto result = std::make_unique<Lighting>();
    ixUtil::Error error;
    {
        py::gil_scoped_release release;
        cleanProbe(*image, fix);
        result->lighting->setLightProbe(image.get(), error);
    }
    if (!result->lighting->haveUsableLightProbe()) throw py::value_error(error.getMessage());
    return result;
}

py::array_t<float> irradianceCoefficients(Lighting& self) {
    py::array_t<float> out({3, ixImage::IrradianceAlg::kCoefficientCount});
    float* rows = out.mutable_data();
    computing(self, [&](ImageBasedLighting& lighting) {
        computedIrradiance(lighting);
        ixImage::FloatPixel3<float> c[ixImage::IrradianceAlg::kCoefficientCount];
        lighting.getIrradianceCoefficients(c, nullptr);
        for (int k = 0; k < ixImage::IrradianceAlg::kCoefficientCount; ++k) {
            rows[k] = c[k].red;
            rows[ixImage::IrradianceAlg::kCoefficientCount + k] = c[k].green;
            rows[2 * ixImage::IrradianceAlg::kCoefficientCount + k] = c[k].blue;
        }
        return 0;
    });
    return out;
}

py::array_t<double> irradianceMatrices(Lighting& self) {
    const Irradiance irradiance = computing(self, computedIrradiance);
    py::array_t<double> out({3, 4, 4});
    double* entries = out.mutable_data();
    for (const ixLinear::ProjMatrix* matrix :
         {&irradiance.red, &irradiance.green, &irradiance.blue})
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column) *entries++ = matrix->m[row][column];
    return out;
}

py::array_t<float> irradianceAt(Lighting& self, const py::object& object) {
    if (!py::isinstance<py::array>(object))
        throw py::type_error("normals must be a NumPy array of shape (..., 3)");
    const py::array given = py::reinterpret_borrow<py::array>(object);
    const py::dtype type = given.dtype();
    if (type.kind() != 'f' || (type.itemsize() != 4 && type.itemsize() != 8))
        throw py::value_error("normals must have dtype float32 or float64, not " +
                              std::string(py::str(py::object(type))));
    if (given.ndim() < 1 || given.shape(given.ndim() - 1) != 3)
        throw py::value_error("normals must have shape (..., 3), not " +
                              std::string(py::str(py::getattr(given, "shape"))));
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    const Doubles normals = Doubles::ensure(given);
    if (!normals) throw py::error_already_set();
    py::array_t<float> out(std::vector<py::ssize_t>(given.shape(), given.shape() + given.ndim()));
    const Irradiance irradiance = computing(self, computedIrradiance);

    const double* n = normals.data();
    float* e = out.mutable_data();
    const py::ssize_t count = normals.size() / 3;
    {
        py::gil_scoped_release release;
        for (py::ssize_t i = 0; i < count; ++i, n += 3, e += 3) {
            // Unit normals only: the quadratic form is the irradiance only on the unit sphere.
            const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (!(std::fabs(length - 1.0) <= 1e-3))
                throw py::value_error("normals must be unit vectors; normal " + std::to_string(i) +
                                      " has length " + std::to_string(length));
            const ixImage::FloatPixel3<double> value =
                ixImage::evaluateIrradiance(irradiance, n[0], n[1], n[2]);
            e[0] = float(value.red);
            e[1] = float(value.green);
            e[2] = float(value.blue);
        }
    }
    return out;
}

py::array_t<float> specularMap(Lighting& self, const py::object& reflectanceObject) {
    if (!py::isinstance<ReflectanceFunction>(reflectanceObject))
        throw py::type_error(
            "reflectance must be an iximage.Reflectance (Phong(n), Lambert(), ...)");
    const ReflectanceFunction& reflectance = reflectanceObject.cast<const ReflectanceFunction&>();
    const std::string name = py::repr(reflectanceObject);
    py::array_t<float> out({kSpecularHeight, kSpecularWidth, 3});
    float* pixels = out.mutable_data();
    computing(self, [&](ImageBasedLighting& lighting) {
        requireProbe(lighting);
        const EnvironmentMap* map = lighting.getSpecularMap(reflectance, nullptr);
        // A cached map is served without the light coefficients (after load() they are absent).
        if (!map && !lighting.getLightCoeffs())
            throw std::runtime_error("the light coefficients could not be computed");
        const ixImage::Image* image = map ? map->image.get() : nullptr;
        if (!image || image->getPixelType() != ixImage::kPixelFloat3 ||
            image->getWidth() != kSpecularWidth || image->getHeight() != kSpecularHeight)
            throw std::runtime_error("no specular map could be built for " + name);
        copyImageRows(static_cast<const Float3Image&>(*image), pixels);
    });
    return out;
}

void save(Lighting& self, const py::object& pathObject) {
    const std::string path = pathText(pathObject);
    withoutGil(self, [&](ImageBasedLighting& lighting) {
        ioWriteContext context(path.c_str());
        lighting.writeSubPacket(context);
        if (!context.commit()) throw OsError(path + ": " + context.getErrorMessage());
    });
}

std::unique_ptr<Lighting> load(const py::object& pathObject) {
    const std::string path = pathText(pathObject);
    auto result = std::make_unique<Lighting>();
    py::gil_scoped_release release;
    ioReadContext context(path.c_str());
    if (context.isOk()) result->lighting->readSubPacket(context);
    if (!context.isOk()) throw OsError(path + ": " + context.getErrorMessage());
    return result;
}

py::object projection(Lighting& self) {
    const char* name = withoutGil(self, [](ImageBasedLighting& lighting) -> const char* {
        const EnvironmentMap* map = lighting.getReflectionMap();
        if (!lighting.haveUsableLightProbe() || !map) return nullptr;
        return map->type == EnvironmentMap::kCross ? "cross" : "latlong";
    });
    return name ? py::object(py::str(name)) : py::object(py::none());
}

}  // namespace

void bindLighting(py::module_& m) {
    py::class_<Lighting>(m, "Lighting",
                         R"doc(One high-dynamic-range light probe and the lighting derived from it.

Lighting(probe, fix_nonfinite=None) takes a float32 array of shape (height, width, 3), top row
the zenith: a latitude-longitude map (width = 2 x height) or a vertical cross (3:4, square
cells). Other shapes raise ValueError with the library's message. Pixels that are NaN or
infinite raise ValueError (naming how many and the first (x, y), y from the top) unless
fix_nonfinite is "black" (set them to 0) or "neighbours" (the mean of their finite neighbours);
negative values are clamped to 0. The probe is copied.

Directions: +Z is up, the centre column of a latitude-longitude probe looks along -Y, the
column at a quarter of the width along +X. Values are in the probe's radiance units; a probe of
constant radiance 1 gives irradiance 1 and specular maps of 1.

Threads: computations release the GIL, so several probes can be baked from a thread pool; one
object serialises the calls made on it.)doc")
        .def(py::init(&makeLighting), py::arg("probe"), py::arg("fix_nonfinite") = py::none())
        .def_property_readonly("projection", &projection,
                               "\"latlong\" or \"cross\": how the probe was recognised (None "
                               "after loading a state without a probe).")
        .def(
            "irradiance_coefficients", &irradianceCoefficients,
            R"doc(The nine band-0..2 spherical-harmonic coefficients of the light per colour: a float32 array of
shape (3, 9), rows red, green, blue, basis 1, y, z, x, xy, yz, 3z^2 - 1, xz, x^2 - y^2 in the
irradiance frame (x, y, z) = (-X, -Y, Z) of the probe frame, divided by pi.)doc")
        .def(
            "irradiance_matrices", &irradianceMatrices,
            R"doc(The irradiance as three symmetric 4 x 4 quadratic-form matrices (red, green, blue): a float64
array of shape (3, 4, 4). For a unit normal n = (nx, ny, nz) of the probe frame the irradiance
divided by pi is p^T M p with p = (-nx, -ny, nz, 1).)doc")
        .def(
            "irradiance", &irradianceAt, py::arg("normals"),
            R"doc(The irradiance divided by pi (the outgoing radiance of a white Lambertian surface) for unit
normals: normals is a float32 or float64 array of shape (..., 3) in the probe frame; returns a
float32 array of the same shape. A normal whose length is not 1 (within 1e-3) raises
ValueError.)doc")
        .def(
            "specular_map", &specularMap, py::arg("reflectance"),
            R"doc(The view-dependent specular map of a reflectance (Phong(n), Lambert(), ...): a float32
latitude-longitude array of shape (100, 200, 3), top row the zenith. Built on first request and
cached under the reflectance's key until delete_unused() drops it; RuntimeError when it cannot
be built.)doc")
        .def(
            "mark_all_unused",
            [](Lighting& self) {
                withoutGil(self, [](ImageBasedLighting& l) { l.markAllSpecularMapsUnused(); });
            },
            "Marks every cached specular map unused (the start of a mark-and-sweep).")
        .def(
            "mark_used",
            [](Lighting& self, const ReflectanceFunction& reflectance) {
                withoutGil(self, [&](ImageBasedLighting& l) {
                    l.markSpecularMapUsed(reflectance.getKey());
                });
            },
            py::arg("reflectance"), "Marks the cached specular map of a reflectance as used.")
        .def(
            "mark_used",
            [](Lighting& self, int key) {
                withoutGil(self, [&](ImageBasedLighting& l) { l.markSpecularMapUsed(key); });
            },
            py::arg("key"), "Marks the cached specular map with this key as used.")
        .def(
            "delete_unused",
            [](Lighting& self) {
                withoutGil(self, [](ImageBasedLighting& l) { l.deleteUnusedSpecularMaps(); });
            },
            "Drops every cached specular map still marked unused. specular_map marks what it "
            "returns.")
        .def(
            "save", &save, py::arg("path"),
            R"doc(Writes the lighting state to a packet file (written under a temporary name and renamed into
place): the probe, the irradiance and the cached specular maps with their keys. OSError when
the file cannot be written.)doc")
        .def_static(
            "load", &load, py::arg("path"),
            R"doc(A new Lighting restored from a file written by save(); the light coefficients are computed
again on demand. OSError when the file is missing, unreadable or damaged.)doc");
}

}  // namespace ixPython
