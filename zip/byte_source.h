// The archive's bytes: an open file read from a start position, or a block of
// memory, with little-endian field readers. A file that can be positioned is
// read through two small windows of the source's own, since header fields
// are read a byte at a time, and the central directory and the entry being
// read take turns: callers get the same bytes, positions and failures as if
// every read were its own platform read call, with far fewer calls.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"
#include "reader_status.h"

// Size of one window; reads of at least this many bytes go straight to the
// caller.
constexpr uint32_t kSourceBufferSize = 4096;

// A stretch of the file held in memory: `length` bytes from file position
// `start`.
struct SourceWindow {
    uint32_t start = 0;
    uint32_t length = 0;
    uint8_t bytes[kSourceBufferSize] = {};
};

struct ByteSource {
    bool isFile;   // bytes come through `file`; otherwise from `memory`
    bool canSeek;  // the file handle can be positioned; fixed at open
    HANDLE file;
    bool readFailed;        // a platform read reported failure; never cleared
    uint32_t startOffset;   // every position given to or taken from the source is relative to it
    bool ownsFile;          // releasing the source closes `file`
    const uint8_t* memory;  // memory variant: the block (not owned)
    uint32_t memorySize;
    uint32_t memoryPos;
    // File variant that can be positioned: the next read starts at file
    // position `position`, taken from a window where one holds it. The handle
    // stands at `handlePosition` when `handleKnown`, and is moved there only
    // when the platform must be read. Unbuffered, reading wherever the handle
    // stands, while `positionKnown` is false (a positioning call failed).
    bool positionKnown = false;
    uint32_t position = 0;
    bool handleKnown = false;
    uint32_t handlePosition = 0;
    SourceWindow windows[2] = {};
    uint8_t recentWindow = 0;  // the window read from last
};

// Opens `fileName` for reading; null when it cannot be opened (or without
// memory for the record).
ByteSource* OpenByteSource(const char* fileName);

// Closes the file when the source owns it and frees the record (made by
// OpenByteSource, or by `new` for a memory source).
void ReleaseByteSource(ByteSource* source);

// Reads size * count bytes at the current position; gives the number of
// whole items read.
uint32_t ReadBytes(void* destination, uint32_t size, uint32_t count, ByteSource* source);

// READER_OK with the byte in `value`, READER_OK without one at the end of the
// data (`value` then 0), or READER_ERRNO after a failed platform read.
ReaderStatus ReadByte(ByteSource* source, uint32_t* value);

// Little-endian fields. Missing bytes at the end of the data count as zero;
// a failed read gives its status and the value 0.
ReaderStatus ReadUInt16(ByteSource* source, uint32_t* value);
ReaderStatus ReadUInt32(ByteSource* source, uint32_t* value);

// The same fields decoded from bytes already read.
inline uint32_t DecodeUInt16(const uint8_t* bytes)
{
    return bytes[0] | uint32_t(bytes[1]) << 8;
}

inline uint32_t DecodeUInt32(const uint8_t* bytes)
{
    return DecodeUInt16(bytes) | DecodeUInt16(bytes + 2) << 16;
}

// Positions the source at `position` relative to its start. False when the
// source is a file that cannot be positioned, when the file position would
// lie beyond 2 GiB (the platform call takes a signed 32-bit distance), or
// when the platform reports that the move failed.
bool SeekSource(ByteSource* source, uint32_t position);

// The length from the start to the end, leaving the source at its end. False
// when the source is a file that cannot be positioned.
bool SourceLength(ByteSource* source, uint32_t* length);
