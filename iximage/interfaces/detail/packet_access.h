// Library-internal: the item types of packet files that only packetFile writes and reads.
#pragma once

#include "iximage/interfaces/packet_context.h"

// An irradiance item holds 48 doubles: the red, green and blue 4 x 4 matrices in that order,
// each row by row.
struct PacketWriterAccess {
    static constexpr int kIrradianceValues = 48;
    static void writeIrradiance(ioWriteContext& context, const double (&values)[kIrradianceValues]);
};

struct PacketReaderAccess {
    static constexpr int kIrradianceValues = 48;
    // False (and zeros) when the next item is not an irradiance or the context has failed.
    static bool readIrradiance(ioReadContext& context, double (&values)[kIrradianceValues]);
};
