// Ranges, vectors, errors and reference counting of the base library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "iximage/interfaces/error.h"
#include "iximage/interfaces/int_range.h"
#include "iximage/interfaces/linear.h"
#include "iximage/interfaces/reference.h"

using ixUtil::IntRange2d;

namespace {

// Plain references for the axis rules: wrap by repeated stepping, clamp by comparison.
int referenceWrap(int origin, int size, int c) {
    while (c < origin) c += size;
    while (c >= origin + size) c -= size;
    return c;
}
int referenceClamp(int origin, int size, int c) {
    return std::min(std::max(c, origin), origin + size - 1);
}

}  // namespace

TEST(IntRange2d, ContainsWrapClampMatchPlainRules) {
    const IntRange2d ranges[] = {{0, 0, 10, 4}, {-6, 3, 5, 7}, {100, -50, 1, 3}, {2, 2, 64, 64}};
    const int offsets[] = {-100001, -1000, -65, -11, -10, -9, -1,   0,     1,
                           4,       9,     10,  11,  63,  64, 1000, 100003};
    for (const IntRange2d& r : ranges) {
        for (int axis : {0, 1}) {
            const int o = r.origin(axis), n = r.size(axis);
            for (int offset : offsets) {
                const int c = o + offset;
                EXPECT_EQ(r.contains(axis, c), c >= o && c < o + n)
                    << "range (" << r.x << "," << r.y << "," << r.width << "," << r.height
                    << ") axis " << axis << " c " << c;
                EXPECT_EQ(r.wrap(axis, c), referenceWrap(o, n, c)) << "axis " << axis << " c " << c;
                EXPECT_EQ(r.clamp(axis, c), referenceClamp(o, n, c))
                    << "axis " << axis << " c " << c;
                EXPECT_TRUE(r.contains(axis, r.wrap(axis, c)));
                EXPECT_TRUE(r.contains(axis, r.clamp(axis, c)));
            }
        }
    }
    // An empty axis brings everything to the origin.
    const IntRange2d r(3, -4, 0, 0);
    for (int c : {-10, 0, 3, 10}) {
        EXPECT_FALSE(r.contains(0, c));
        EXPECT_EQ(r.wrap(0, c), 3);
        EXPECT_EQ(r.clamp(1, c), -4);
    }
}

namespace {

class Counted : public ix::ReferenceCount {
public:
    explicit Counted(int* deaths) : deaths(deaths) {}
    ~Counted() override { ++*deaths; }
    int* deaths;
};

}  // namespace

TEST(Reference, CountsCopiesMovesAndDestroysAtZero) {
    int deaths = 0;
    Counted* raw = new Counted(&deaths);
    {
        ix::Reference<Counted> a(raw);
        ix::Reference<Counted> b(a);
        EXPECT_EQ(raw->getRefCount(), 2);
        ix::Reference<Counted> c(std::move(b));
        EXPECT_TRUE(b.isNull());
        c = c;  // self-assignment keeps the object alive and the count unchanged
        c = std::move(c);
        EXPECT_EQ(raw->getRefCount(), 2);
        ix::Reference<Counted> d;
        d = a;
        EXPECT_EQ(raw->getRefCount(), 3);
        d.reset();
        c = nullptr;
        EXPECT_EQ(raw->getRefCount(), 1);
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 1);
    // An object held only by one reference survives being assigned to that same reference.
    int otherDeaths = 0;
    ix::Reference<Counted> only(new Counted(&otherDeaths));
    Counted* same = only.get();
    only = same;
    EXPECT_EQ(otherDeaths, 0);
    EXPECT_EQ(only->getRefCount(), 1);
    only = new Counted(&otherDeaths);
    EXPECT_EQ(otherDeaths, 1);  // the first one went when the reference let go of it
    only.reset();
    EXPECT_EQ(otherDeaths, 2);
    // Copying a counted object does not copy its count.
    int copyDeaths = 0;
    Counted original(&copyDeaths);
    original.ref();
    Counted copy(original);
    EXPECT_EQ(copy.getRefCount(), 0);
    EXPECT_EQ(original.getRefCount(), 1);
}
