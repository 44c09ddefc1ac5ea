#include "iximage/lighting/brdf_coeff_cache.h"

#include <list>
#include <mutex>
#include <typeindex>
#include <typeinfo>
#include <utility>

#include "iximage/lighting/blinn_phong_reflectance.h"
#include "iximage/lighting/ggx_reflectance.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/measured_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"

namespace ixImage {

namespace {

// Most recently used first; the list is short (kBrdfCoeffCacheCapacity), so a linear search
// costs nothing next to a build.
struct Slot {
    std::type_index type;
    int key;
    BrdfCoeffEntry entry;
};

struct Cache {
    std::mutex mutex;
    std::list<Slot> entries;
};

Cache& cache() {
    static Cache instance;
    return instance;
}

// The slot of (type, key), or end(); the caller holds the cache's mutex.
std::list<Slot>::iterator findSlot(Cache& c, const std::type_index& type, int key) {
    auto it = c.entries.begin();
    while (it != c.entries.end() && !(it->key == key && it->type == type)) ++it;
    return it;
}

}  // namespace

bool isSharedByKey(const ReflectanceFunction& rf) {
    const std::type_info& type = typeid(rf);
    return type == typeid(PhongReflectance) || type == typeid(LambertReflectance) ||
           type == typeid(GgxReflectance) || type == typeid(BlinnPhongReflectance) ||
           type == typeid(MeasuredReflectance);
}

bool findBrdfCoeffs(const ReflectanceFunction& rf, BrdfCoeffEntry& entry) {
    if (!isSharedByKey(rf)) return false;
    Cache& c = cache();
    const std::lock_guard<std::mutex> lock(c.mutex);
    const auto it = findSlot(c, std::type_index(typeid(rf)), rf.getKey());
    if (it == c.entries.end()) return false;
    c.entries.splice(c.entries.begin(), c.entries, it);  // most recently used first
    entry = it->entry;
    return true;
}

void storeBrdfCoeffs(const ReflectanceFunction& rf, const BrdfCoeffEntry& entry) {
    if (!isSharedByKey(rf)) return;
    const std::type_index type(typeid(rf));
    const int key = rf.getKey();
    Cache& c = cache();
    const std::lock_guard<std::mutex> lock(c.mutex);
    const auto it = findSlot(c, type, key);
    if (it != c.entries.end()) c.entries.erase(it);
    c.entries.push_front(Slot{type, key, entry});
    while (static_cast<int>(c.entries.size()) > kBrdfCoeffCacheCapacity) c.entries.pop_back();
}

void clearBrdfCoeffCache() {
    Cache& c = cache();
    std::list<Slot> released;
    {
        const std::lock_guard<std::mutex> lock(c.mutex);
        released.swap(c.entries);
    }
}

int getBrdfCoeffCacheSize() {
    Cache& c = cache();
    const std::lock_guard<std::mutex> lock(c.mutex);
    return static_cast<int>(c.entries.size());
}

}  // namespace ixImage
