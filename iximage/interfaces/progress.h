// Progress reporting: long computations take an optional Progress* (null skips the reports) and
// call set() with the fraction done, from 0 to 1. Subclass it to observe every report; set() is
// always called on the thread that started the computation.
#pragma once

#include "iximage/interfaces/export.h"

namespace ixUtil {

class IXIMAGE_API Progress {
public:
    Progress() = default;
    virtual ~Progress() = default;

    // Records the fraction done. Overrides should be cheap: they run inside the computation.
    virtual void set(double fraction) { lastFraction = fraction; }

    double getFraction() const { return lastFraction; }

private:
    double lastFraction = 0.0;
};

}  // namespace ixUtil
