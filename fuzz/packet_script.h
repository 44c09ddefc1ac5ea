// Input layout of the packet-reader fuzzer, shared with its seed generator.
//
// A fuzz input is a short read script followed by the packet bytes:
//   byte 0            n = byte % 32, the number of script steps
//   bytes 1 .. n      one step each (kPacketStepCount kinds, chosen by byte % kPacketStepCount;
//                     for kReadBytes the byte's upper bits give the block length)
//   the rest          the packet file handed to ioReadContext
// Inputs shorter than the script run the script over an empty packet.
#pragma once

#include <cstdint>

namespace ixFuzz {

enum PacketStep : std::uint8_t {
    kStartSubPacket = 0,
    kEndSubPacket = 1,
    kReadBool = 2,
    kReadInt = 3,
    kReadDouble = 4,
    kReadBytes = 5,
    kReadPointer = 6,
    kReadIrradiance = 7,
    kReadLighting = 8,  // ImageBasedLighting::readSubPacket
    kPacketStepCount = 9,
};

constexpr int kMaxScriptSteps = 32;

// Byte count read by a kReadBytes step encoded as stepByte.
inline unsigned readBytesCount(std::uint8_t stepByte) { return stepByte / kPacketStepCount; }

}  // namespace ixFuzz
