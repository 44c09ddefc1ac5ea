// Intrusive reference counting: the base of every counted object (images, environment maps).
//
// Conventions:
//  - A counted object starts with a count of 0; the first Reference that takes it makes it 1.
//  - Dropping the last Reference destroys the object through its virtual destructor.
//  - Copying an object does not copy its count: the copy starts at 0 again.
//  - Counts are plain ints, not atomics: a counted object must not be shared between threads
//    that take or drop references at the same time.
#pragma once

#include <cstddef>
#include <utility>

#include "iximage/interfaces/export.h"

namespace ix {

class IXIMAGE_API ReferenceCount {
public:
    ReferenceCount() = default;
    ReferenceCount(const ReferenceCount&) : refCount(0) {}
    ReferenceCount& operator=(const ReferenceCount&) { return *this; }
    virtual ~ReferenceCount() = default;

    void ref() const { ++refCount; }

    // Drops one reference and destroys the object when none is left.
    void unref() const {
        if (--refCount <= 0) delete this;
    }

    int getRefCount() const { return refCount; }

private:
    mutable int refCount = 0;
};

// Holds one reference on a counted object (or nothing).
template <class T>
class Reference {
public:
    Reference() = default;
    Reference(std::nullptr_t) {}
    Reference(T* object) : pointer(object) { take(); }
    Reference(const Reference& other) : pointer(other.pointer) { take(); }
    Reference(Reference&& other) noexcept : pointer(other.pointer) { other.pointer = nullptr; }
    template <class U>
    Reference(const Reference<U>& other) : pointer(other.get()) {
        take();
    }
    ~Reference() { release(); }

    Reference& operator=(const Reference& other) { return assign(other.pointer); }
    Reference& operator=(T* object) { return assign(object); }
    Reference& operator=(Reference&& other) noexcept {
        if (this != &other) {
            release();
            pointer = other.pointer;
            other.pointer = nullptr;
        }
        return *this;
    }

    T* get() const { return pointer; }
    T* operator->() const { return pointer; }
    T& operator*() const { return *pointer; }
    explicit operator bool() const { return pointer != nullptr; }
    bool isNull() const { return pointer == nullptr; }

    void reset() { release(); }

private:
    // The new object is referenced before the old one is released, so assigning an object
    // that is only kept alive by this reference is harmless.
    Reference& assign(T* object) {
        if (object) object->ref();
        release();
        pointer = object;
        return *this;
    }
    void take() {
        if (pointer) pointer->ref();
    }
    void release() {
        if (pointer) {
            T* old = pointer;
            pointer = nullptr;
            old->unref();
        }
    }

    T* pointer = nullptr;
};

template <class T, class U>
bool operator==(const Reference<T>& a, const Reference<U>& b) {
    return a.get() == b.get();
}
template <class T, class U>
bool operator!=(const Reference<T>& a, const Reference<U>& b) {
    return a.get() != b.get();
}

}  // namespace ix
