// Images and irradiance in packet files (see packet_context.h for the contexts).
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/packet_context.h"

namespace ixImage {

class Image;
struct Irradiance;

namespace packetFile {

// Writes an image record of any pixel type (null writes a null record), so that a later
// writePointer of the same image reads back as the restored image.
IXIMAGE_API void writeImage(ioWriteContext& context, const Image* image);
IXIMAGE_API void writeIrradiance(ioWriteContext& context, const Irradiance& irradiance);
// Reads an irradiance; on failure the irradiance is cleared and false is returned.
IXIMAGE_API bool readIrradiance(ioReadContext& context, Irradiance& irradiance);

}  // namespace packetFile
}  // namespace ixImage
