// A spherical-harmonic expansion of variable order held on the heap.
//
// order and count = (order + 1)^2, then count coefficients cleared to zero at construction.
// Coefficient (l, m), -l <= m <= l, is entry l^2 + l + m. The light of a probe is held at
// order 20 (441 coefficients) of FloatPixel3<double>. The expansion owns its array.
#pragma once

#include <cstddef>

#include "iximage/interfaces/pixel_types.h"

namespace ixImage {

template <class T>
class SphericalHarmonics {
public:
    explicit SphericalHarmonics(int order)
        : order(order < 0 ? 0 : order),
          count((this->order + 1) * (this->order + 1)),
          coeffs(new T[static_cast<std::size_t>(count)]()) {}
    ~SphericalHarmonics() { delete[] coeffs; }

    SphericalHarmonics(const SphericalHarmonics& other)
        : order(other.order), count(other.count), coeffs(new T[static_cast<std::size_t>(count)]) {
        for (int i = 0; i < count; ++i) coeffs[i] = other.coeffs[i];
    }
    SphericalHarmonics& operator=(const SphericalHarmonics& other) {
        if (this != &other) {
            SphericalHarmonics copy(other);
            swap(copy);
        }
        return *this;
    }

    int getOrder() const { return order; }
    int getCount() const { return count; }
    T* data() { return coeffs; }
    const T* data() const { return coeffs; }
    T& operator[](int i) { return coeffs[i]; }
    const T& operator[](int i) const { return coeffs[i]; }
    T& at(int l, int m) { return coeffs[l * l + l + m]; }
    const T& at(int l, int m) const { return coeffs[l * l + l + m]; }

private:
    void swap(SphericalHarmonics& o) {
        int t = order;
        order = o.order;
        o.order = t;
        t = count;
        count = o.count;
        o.count = t;
        T* p = coeffs;
        coeffs = o.coeffs;
        o.coeffs = p;
    }

    int order;
    int count;
    T* coeffs;
};

}  // namespace ixImage
