// Fuzzes the packet-file reader: a scripted mix of item reads (including the lighting object's
// sub-packet) over hostile bytes, then the lighting object's reader alone over the same bytes.
// Every image the reader hands back is walked end to end so that a record whose pixel buffer is
// shorter than its declared size shows up under AddressSanitizer.
#include <cstddef>
#include <cstdint>

#include "fuzz/packet_script.h"
#include "iximage/interfaces/image.h"
#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/packet_context.h"
#include "iximage/interfaces/packet_file.h"
#include "iximage/lighting/image_based_lighting.h"

namespace {

// Sums every byte of the image's pixel array (width * height * pixelSize bytes).
unsigned touchPixels(const ixImage::Image* image) {
    if (!image || !image->pixels()) return 0;
    const auto* bytes = static_cast<const std::uint8_t*>(image->pixels());
    const std::size_t size = static_cast<std::size_t>(image->getWidth()) *
                             static_cast<std::size_t>(image->getHeight()) *
                             static_cast<std::size_t>(image->pixelSize());
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i) sum += bytes[i];
    return sum;
}

unsigned touchLighting(ixImage::ImageBasedLighting& lighting) {
    unsigned sum = lighting.haveUsableLightProbe() ? 1u : 0u;
    if (ixImage::EnvironmentMap* map = lighting.getReflectionMap()) {
        sum += touchPixels(map->getImage());
        ixLinear::VectorFlt dir;
        float omega = 0.0f;
        sum += map->coordToDir(0.5f, 0.5f, dir, omega, true) ? 1u : 0u;
    }
    return sum;
}

volatile unsigned gSink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t steps = data[0] % ixFuzz::kMaxScriptSteps;
    if (steps > size - 1) steps = size - 1;
    const std::uint8_t* script = data + 1;
    const std::uint8_t* packet = script + steps;
    const std::size_t packetSize = size - 1 - steps;

    unsigned sum = 0;
    {
        ioReadContext context(packet, packetSize);
        ixImage::ImageBasedLighting lighting;
        for (std::size_t s = 0; s < steps; ++s) {
            switch (static_cast<ixFuzz::PacketStep>(script[s] % ixFuzz::kPacketStepCount)) {
                case ixFuzz::kStartSubPacket: context.startSubPacket(); break;
                case ixFuzz::kEndSubPacket: context.endSubPacket(); break;
                case ixFuzz::kReadBool: sum += context.readBool() ? 1u : 0u; break;
                case ixFuzz::kReadInt: sum += static_cast<unsigned>(context.readInt()); break;
                case ixFuzz::kReadDouble: sum += context.readDouble() > 0.0 ? 1u : 0u; break;
                case ixFuzz::kReadBytes: {
                    std::uint8_t block[32] = {};
                    context.readBytes(block, ixFuzz::readBytesCount(script[s]));
                    for (std::uint8_t b : block) sum += b;
                    break;
                }
                case ixFuzz::kReadPointer: {
                    void* pointer = nullptr;
                    if (context.readPointer(pointer, 0))
                        sum += touchPixels(static_cast<ixImage::Image*>(pointer));
                    break;
                }
                case ixFuzz::kReadIrradiance: {
                    ixImage::Irradiance irradiance;
                    ixImage::packetFile::readIrradiance(context, irradiance);
                    sum += irradiance.red.m[0][0] > 0.0f ? 1u : 0u;
                    break;
                }
                case ixFuzz::kReadLighting:
                    lighting.readSubPacket(context);
                    sum += touchLighting(lighting);
                    break;
                case ixFuzz::kPacketStepCount: break;
            }
        }
    }
    {
        ioReadContext context(packet, packetSize);
        ixImage::ImageBasedLighting lighting;
        lighting.readSubPacket(context);
        sum += touchLighting(lighting);
        // A copy shares the maps and duplicates the coefficients; both must tear down cleanly.
        ixImage::ImageBasedLighting copy(lighting);
        sum += touchLighting(copy);
    }
    gSink = sum;
    return 0;
}
