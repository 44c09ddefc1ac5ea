// Saving and restoring the lighting state in the application's packet files.
//
// The sub-packet holds, in this order: the usable flag, the irradiance, the probe image and a
// reference to it, the number of cache entries, then per entry (ascending key) its image and a
// nested sub-packet with the key and a reference to that image. Images are written as records
// that the read context restores by itself; this file only reads the references back. The
// environment maps and the light coefficients are not stored: the maps are rebuilt from the
// images by the probe check, the coefficients on the first request that needs them.
#include "iximage/interfaces/packet_context.h"
#include "iximage/interfaces/packet_file.h"
#include "iximage/lighting/detail/light_probe_check.h"
#include "iximage/lighting/image_based_lighting.h"

namespace ixImage {

namespace {

// The image a read reference names, when it is one the probe check may look at. A damaged or
// foreign file may name an image of another pixel type; that counts as no image.
TypedImage<FloatPixel3<float>>* readFloat3ImageReference(ioReadContext& context) {
    void* pointer = nullptr;
    if (!context.readPointer(pointer, 0) || pointer == nullptr) return nullptr;
    Image* image = static_cast<Image*>(pointer);
    if (image->getPixelType() != kPixelFloat3) return nullptr;
    return static_cast<TypedImage<FloatPixel3<float>>*>(image);
}

// The probe check with its message discarded: a refused image is simply not restored.
ix::Reference<EnvironmentMap> rebuildMap(TypedImage<FloatPixel3<float>>* image) {
    if (image == nullptr) return ix::Reference<EnvironmentMap>();
    ixUtil::Error discarded;
    return ix::Reference<EnvironmentMap>(makeLightProbeMap(image, discarded));
}

}  // namespace

void ImageBasedLighting::writeSubPacket(ioWriteContext& context) {
    context.startSubPacket();
    context.writeBool(usable);
    packetFile::writeIrradiance(context, irradiance);

    const Image* probeImage = reflectionMap ? reflectionMap->getImage() : nullptr;
    if (reflectionMap) packetFile::writeImage(context, probeImage);
    context.writePointer(probeImage, 0);

    context.writeInt(static_cast<int>(specularMaps.size()));
    for (const auto& keyAndEntry : specularMaps) {
        const EnvironmentMap* map = keyAndEntry.second.map.get();
        const Image* image = map ? map->getImage() : nullptr;
        packetFile::writeImage(context, image);
        context.startSubPacket();
        context.writeInt(keyAndEntry.first);
        context.writePointer(image, 0);
        context.endSubPacket();
    }
    context.endSubPacket();
}

void ImageBasedLighting::readSubPacket(ioReadContext& context) {
    context.startSubPacket();
    // A writer stores usable true exactly when it holds a probe map, so the rebuilt map carries
    // the same information; deciding from the map also keeps a probe that could not be restored
    // (or a damaged flag) from leaving the object claiming a probe it does not hold.
    context.readBool();
    packetFile::readIrradiance(context, irradiance);

    // The old map goes even when the new one cannot be rebuilt.
    reflectionMap = rebuildMap(readFloat3ImageReference(context));
    usable = reflectionMap.get() != nullptr;

    const int entryCount = context.readInt();
    for (int i = 0; i < entryCount && context.isOk(); ++i) {
        context.startSubPacket();
        const int key = context.readInt();
        TypedImage<FloatPixel3<float>>* image = readFloat3ImageReference(context);
        context.endSubPacket();
        // Only a fully read entry is applied: after a failure the key and image are neutral
        // values, not what the file meant.
        if (!context.isOk()) break;
        ix::Reference<EnvironmentMap> map = rebuildMap(image);
        if (!map) continue;
        // A new entry starts used; an existing one keeps its flag and gets the restored map.
        specularMaps[key].map = map;
    }
    context.endSubPacket();
}

}  // namespace ixImage
