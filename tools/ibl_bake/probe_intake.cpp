#include "probe_intake.h"

#include <vector>

#include "hdr_io.h"

namespace iblBake {

IntakeResult takeProbe(const BakeOptions& options, BakeListener& listener) {
    IntakeResult result;
    LoadedImage loaded = loadProbe(options.inputPath);
    if (!loaded.image) {
        result.error = loaded.error;
        return result;
    }
    result.fileWidth = loaded.image->getWidth();
    result.fileHeight = loaded.image->getHeight();

    // Pixels first, on the file's own grid, so that reported positions are the file's.
    std::vector<std::string> notes;
    result.error = applyNonFinitePolicy(*loaded.image, options.nonFinite, notes);
    if (!result.error.empty()) return result;
    for (const std::string& line : notes)
        listener.note("ibl-bake: " + options.inputPath + ": " + line);

    ProjectedProbe projected = toLightingProjection(*loaded.image, options.projection);
    result.error = projected.error;
    result.probe = projected.image;
    result.converted = projected.converted;
    return result;
}

}  // namespace iblBake
