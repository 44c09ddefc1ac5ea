// A probe file as ibl-bake bakes it: read, checked for pixels that are not light (refused or
// repaired as the options say), and brought to a projection the lighting object accepts.
//
// Conventions: images are the library's Float3Image, rows bottom-up. Messages carry no file
// name (the caller adds it); repairs are reported through the listener's note(), one line
// each, prefixed with the file name. Thread safety: as the loaders (independent calls).
#pragma once

#include <string>

#include "bake.h"

namespace iblBake {

struct IntakeResult {
    ix::Reference<ixImage::Float3Image> probe;  // ready for setLightProbe; null when refused
    std::string error;                          // why it was refused
    int fileWidth = 0, fileHeight = 0;          // the image as the file holds it
    std::string converted;  // "angular" or "mirror ball" when the probe was converted
};

// Reads options.inputPath and applies options.nonFinite and options.projection.
IntakeResult takeProbe(const BakeOptions& options, BakeListener& listener);

}  // namespace iblBake
