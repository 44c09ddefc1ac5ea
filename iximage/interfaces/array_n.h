// Dense N-dimensional arrays with row-major strides (the last stride is 1).
//
// The constructor allocates the elements and does not initialise them (the coefficient
// pipelines write every element they read); call clear() where zeros are needed. Element types
// are plain values (trivially copyable and destructible). Big arrays come from
// ixUtil::allocateBuffer, which keeps their first touch cheap. The array owns its elements; it
// can be moved but not copied.
#pragma once

#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

#include "iximage/interfaces/large_buffer.h"

namespace ixUtil {

template <int N, class T>
class ArrayN {
    static_assert(N >= 1, "an array has at least one dimension");
    static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                  "elements are plain values that need no construction");

public:
    // dims holds N sizes, each at least 1.
    explicit ArrayN(const int (&sizes)[N]) {
        long long total = 1;
        for (int d = N - 1; d >= 0; --d) {
            dims[d] = sizes[d] > 0 ? sizes[d] : 1;
            strides[d] = static_cast<int>(total);
            total *= dims[d];
        }
        count = static_cast<int>(total);
        elements = static_cast<T*>(allocateBuffer(static_cast<size_t>(count) * sizeof(T)));
    }
    ~ArrayN() { freeBuffer(elements); }

    ArrayN(const ArrayN&) = delete;
    ArrayN& operator=(const ArrayN&) = delete;
    ArrayN(ArrayN&& other) noexcept { *this = std::move(other); }
    ArrayN& operator=(ArrayN&& other) noexcept {
        if (this != &other) {
            freeBuffer(elements);
            count = other.count;
            std::memcpy(dims, other.dims, sizeof dims);
            std::memcpy(strides, other.strides, sizeof strides);
            elements = other.elements;
            other.elements = nullptr;
            other.count = 0;
        }
        return *this;
    }

    int getCount() const { return count; }
    int getDim(int d) const { return dims[d]; }
    int getStride(int d) const { return strides[d]; }
    T* data() { return elements; }
    const T* data() const { return elements; }

    // Element at the given N indices (no bounds checks).
    template <class... I>
    T& operator()(I... index) {
        static_assert(sizeof...(I) == N, "one index per dimension");
        return elements[offset(index...)];
    }
    template <class... I>
    const T& operator()(I... index) const {
        static_assert(sizeof...(I) == N, "one index per dimension");
        return elements[offset(index...)];
    }

    // Sets every element to T{} (all zero bits for the pixel types).
    void clear() {
        for (int i = 0; i < count; ++i) elements[i] = T{};
    }

private:
    template <class... I>
    int offset(I... index) const {
        const int idx[N] = {static_cast<int>(index)...};
        int o = 0;
        for (int d = 0; d < N; ++d) o += idx[d] * strides[d];
        return o;
    }

    int count = 0;
    int dims[N] = {};
    int strides[N] = {};
    T* elements = nullptr;
};

}  // namespace ixUtil
