// ibl-bake over any number of probes in one process.
//
// One probe (or none: the built-in sky) is baked into the output folder itself; with two or
// more, probe i goes into <output folder>/<file stem of probe i>/, with the same files. The
// rotation-matrix file is checked once, strictly (every record, in order, rotations in the
// highest band), before anything is baked, and the library loads it once for the whole run;
// everything the library keeps between probes (rotation matrices, spherical-harmonic tables,
// reflectance coefficients where it caches them) is reused because the probes share one
// process.
//
// Reporting goes through the listener: note() for progress ("probe 3 of 20: sky.exr") and the
// closing summary, problem() for each refused probe or unwritten output. A bad probe is
// skipped and the rest are baked.
//
// Exit status: 0 when every probe was baked; 1 when an output could not be written; otherwise
// 3 when a probe was refused (or the rotation-matrix file was); 2 when two probes share a file
// stem (their folders would collide), before anything is baked.
//
// Not thread-safe (the library's rotation matrices are process-wide): one run at a time.
#pragma once

#include <string>
#include <vector>

#include "bake.h"

namespace iblBake {

int bakeProbes(const BakeOptions& options, const std::vector<std::string>& probes,
               BakeListener& listener);

}  // namespace iblBake
