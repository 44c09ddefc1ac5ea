// Packet files: the application's binary save format, read and written through contexts.
//
// A packet file is a versioned stream of typed items (bools, ints, doubles, byte blocks,
// pointer references and images) grouped in nested sub-packets. Items read back in the order
// they were written. See packet_context.cpp for the byte layout.
//
// Writing: ioWriteContext collects the items and commit() writes them to a temporary file beside
// the target and renames it into place, so a crash never leaves a damaged file behind. A
// context destroyed without commit() writes nothing.
//
// Reading: ioReadContext loads the whole file (or a caller's buffer) and validates every length
// against what is left. On the first problem (truncation, a corrupted or hostile value, a read
// of the wrong item type) it enters a failed state with a message; every later read returns a
// neutral value (false, 0, null) and nothing more is decoded.
//
// Pointer references: an image written with packetFile::writeImage is given an id; a later
// writePointer of the same image writes that id. On reading, image records are decoded
// automatically as they are met and readPointer returns the restored image (null for a null
// reference or one that names no restored image). The read context holds a reference on every
// image it restored until it is destroyed; callers take their own ix::Reference. The writer
// knows images by address, so an image must stay alive from its writeImage to the last
// writePointer that names it; writing the same image again gives it a new record and id.
//
// Sub-packets nest. On reading, endSubPacket() skips the items of the sub-packet that were left
// unread (after decoding the image records that stand right before its end), so a newer writer
// may append items to a sub-packet without breaking older readers.
//
// Thread safety: none; a context is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/reference.h"

namespace ixImage {
class Image;
}

class IXIMAGE_API ioWriteContext {
public:
    // path: the file that commit() creates or replaces.
    explicit ioWriteContext(const char* path);
    virtual ~ioWriteContext();

    ioWriteContext(const ioWriteContext&) = delete;
    ioWriteContext& operator=(const ioWriteContext&) = delete;

    void startSubPacket();
    void endSubPacket();
    // kind is reserved and always 0 in this library. A null pointer, or one not written with
    // packetFile::writeImage before, is written as the null reference.
    virtual void writePointer(const void* pointer, int kind);
    virtual void writeBool(bool value);
    virtual void writeInt(int value);
    void writeDouble(double value);
    void writeBytes(const void* bytes, std::size_t count);

    // Image records (used by packetFile::writeImage): writes the record and remembers the id.
    void writeImageRecord(const ixImage::Image* image);

    // Writes the file atomically. False (with a message) when the file cannot be written or
    // sub-packets are unbalanced.
    bool commit();
    bool isOk() const { return errorMessage.empty(); }
    const std::string& getErrorMessage() const { return errorMessage; }

    // The encoded bytes so far (for tests and in-memory use).
    const std::vector<std::uint8_t>& getBytes() const { return buffer; }

private:
    friend struct PacketWriterAccess;
    // Keeps the first problem; commit() refuses to write once there is one.
    void setError(const std::string& message);
    // Keeps the body length in the file header equal to the bytes written so far.
    void updateHeader();

    std::string path;
    std::vector<std::uint8_t> buffer;
    std::vector<std::size_t> openSubPackets;
    std::map<const void*, std::int32_t> imageIds;
    std::int32_t nextImageId = 0;
    std::string errorMessage;
};

class IXIMAGE_API ioReadContext {
public:
    // Reads the whole file; a missing or unreadable file puts the context in the failed state.
    explicit ioReadContext(const char* path);
    // Reads from a copy of a caller's buffer.
    ioReadContext(const void* data, std::size_t size);
    virtual ~ioReadContext();

    ioReadContext(const ioReadContext&) = delete;
    ioReadContext& operator=(const ioReadContext&) = delete;

    void startSubPacket();
    void endSubPacket();
    // pointer receives the restored ixImage::Image* (or null): static_cast it back to
    // ixImage::Image*. Returns false on failure; a reference to an image that was not restored
    // (a null reference, or a record the reader skipped) is not a failure.
    virtual bool readPointer(void*& pointer, int kind);
    virtual bool readBool();
    virtual int readInt();
    double readDouble();
    // Copies count bytes; false (and zeros) when they are not there.
    bool readBytes(void* bytes, std::size_t count);

    bool isOk() const { return !failedFlag; }
    bool failed() const { return failedFlag; }
    const std::string& getErrorMessage() const { return errorMessage; }

    // Enters the failed state (the first message is kept).
    void fail(const std::string& message);

private:
    friend struct PacketReaderAccess;
    // Checks the file header (magic, version, body length) and moves past it.
    void readHeader();
    // End of the innermost open sub-packet's body, or of the data.
    std::size_t itemLimit() const;
    // Decodes the image records that stand before the next item; false once failed.
    bool decodeImageRecords();
    void decodeImageRecord();
    // Checks that the next item has this tag and that payloadSize bytes follow it inside the
    // current sub-packet, then moves past the tag. On any mismatch the context fails.
    bool enterItem(std::uint8_t tag, std::size_t payloadSize);

    std::vector<std::uint8_t> data;
    std::size_t position = 0;
    std::vector<std::size_t> subPacketEnds;
    std::map<std::int32_t, ix::Reference<ixImage::Image>> restoredImages;
    std::int32_t lastImageId = -1;
    bool failedFlag = false;
    std::string errorMessage;
};
