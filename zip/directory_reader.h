// One open ZIP archive: the end record, where the archive starts inside its
// file, and a walk over the central directory one header at a time.
#pragma once

#include <cstdint>

#include "byte_source.h"
#include "entry_info.h"
#include "reader_status.h"

struct EntryStream;

struct DirectoryReader {
    ByteSource* source;  // owned
    uint32_t entryCount;
    uint32_t archiveCommentSize;
    uint32_t archiveStart;  // file position of archive offset 0
    int32_t currentIndex;
    uint32_t currentHeaderPos;  // relative to archiveStart
    int32_t currentValid;       // currentInfo and localHeaderOffset describe the current entry
    uint32_t endRecordPos;      // relative to the source's start at open
    uint32_t directorySize;
    uint32_t directoryOffset;  // relative to archiveStart
    EntryInfo currentInfo;
    uint32_t localHeaderOffset;  // relative to archiveStart
    EntryStream* stream;         // owned; the open data stream of the current entry, if any
};

constexpr uint32_t kEndRecordNotFound = 0xFFFFFFFF;

// Position of the last end record signature within the last 65535 bytes,
// relative to the source's start, or kEndRecordNotFound.
uint32_t FindEndRecord(ByteSource* source);

// Takes ownership of `source` and gives a reader on the first entry, or
// releases the source and gives null.
DirectoryReader* OpenDirectory(ByteSource* source);

// Releases the source and frees the reader.
void CloseDirectory(DirectoryReader* reader);

// Reads the central header at currentHeaderPos. Each destination is optional;
// none is written unless the status is READER_OK. A name shorter than
// `nameBufferSize` is zero-terminated; a longer one fills the buffer without
// a terminator.
ReaderStatus ReadCentralHeader(DirectoryReader* reader, EntryInfo* info,
                               uint32_t* localHeaderOffset, char* nameBuffer,
                               uint32_t nameBufferSize);

ReaderStatus GoToFirstEntry(DirectoryReader* reader);
ReaderStatus GoToNextEntry(DirectoryReader* reader);

// Where the current entry's local name, extra field and data lie.
struct LocalHeaderLayout {
    uint32_t localVariableSize;  // local name length + local extra length
    uint32_t extraOffset;        // of the local extra field, relative to archiveStart
    uint32_t localExtraSize;
};

// Checks the current entry's local header against its central header.
ReaderStatus CheckLocalHeader(DirectoryReader* reader, LocalHeaderLayout* layout);
