// The archive's bytes: an open file read from a start position, or a block of
// memory, with little-endian field readers. Every read is one platform read
// call (or one copy from the block).
#pragma once

#include <cstdint>

#include "../platform/winapi.h"

struct ByteSource {
    bool isFile;            // bytes come through `file`; otherwise from `memory`
    bool canSeek;           // the file handle can be positioned; fixed at open
    HANDLE file;
    bool readFailed;        // a platform read reported failure; never cleared
    uint32_t startOffset;   // every position given to or taken from the source is relative to it
    bool ownsFile;          // releasing the source closes `file`
    const uint8_t* memory;  // memory variant: the block (not owned)
    uint32_t memorySize;
    uint32_t memoryPos;
};

// Failure code of OpenByteSource; the same value as the handle-level
// "no file" result, so that the archive layer can pass it on unchanged.
constexpr int SOURCE_NO_FILE = 0x200;

// Opens `fileName` for reading. Gives the new source and code 0, or null and
// SOURCE_NO_FILE in `code`.
ByteSource* OpenByteSource(const char* fileName, int* code);

// Closes the file when the source owns it and frees the record (made by
// OpenByteSource, or by `new` for a memory source).
void ReleaseByteSource(ByteSource* source);

// Reads size * count bytes at the current position; gives the number of
// whole items read.
uint32_t ReadBytes(void* destination, uint32_t size, uint32_t count, ByteSource* source);

// READER_OK with the byte in `value`, READER_OK without one at the end of the
// data (`value` then 0), or READER_ERRNO after a failed platform read.
int ReadByte(ByteSource* source, uint32_t* value);

// Little-endian fields. Missing bytes at the end of the data count as zero;
// a failed read gives its status and the value 0.
int ReadUInt16(ByteSource* source, uint32_t* value);
int ReadUInt32(ByteSource* source, uint32_t* value);

// Positions the source at `position` relative to its start. False when the
// source is a file that cannot be positioned, when the file position would
// lie beyond 2 GiB (the platform call takes a signed 32-bit distance), or
// when the platform reports that the move failed.
bool SeekSource(ByteSource* source, uint32_t position);

// The length from the start to the end, leaving the source at its end. False
// when the source is a file that cannot be positioned.
bool SourceLength(ByteSource* source, uint32_t* length);
