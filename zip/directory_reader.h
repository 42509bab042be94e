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

// A central header's signature, and its size before the name.
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kCentralFixedSize = 46;

// Why an archive's directory does not add up. OpenDirectory gives no cause;
// the checker tells it in words.
enum class DirectoryFault {
    None,
    Unreadable,              // a read failed, or no memory for the search
    NoEndRecord,             // no end record signature in the last 65535 bytes
    EndRecordNotAtEnd,       // none whose comment reaches exactly the end of the file
    NoDirectoryAtEndRecord,  // none whose central directory starts with a central header
    SpansDisks,              // disk numbers other than 0, or two entry counts that differ
    DirectoryPastEndRecord,  // offset and size put the directory's end past the end record
    HeaderDamaged,           // something else than a central header before the count is reached
    DirectoryEndDisagrees,   // the headers do not end where the directory does
    CountDisagrees,          // the directory holds another number of headers than counted
};

// The end record, and what the walk over the directory it describes found.
struct DirectoryCheck {
    DirectoryFault fault;
    // Relative to the source's start; with NoDirectoryAtEndRecord, of the
    // last record whose comment reaches the end.
    uint32_t endRecordPos;
    uint32_t entryCount;
    uint32_t directorySize;
    uint32_t directoryOffset;  // relative to archiveStart
    uint32_t commentSize;
    uint32_t archiveStart;  // file position of archive offset 0
    // Central headers the walk found in a row, at most kMostHeadersCounted.
    uint32_t headersFound;
    // EndRecordNotAtEnd: the bytes after the comment of the signature
    // nearest the end (0 when that comment runs past the end). Otherwise the
    // bytes after the end record found and its comment, which the archive
    // opens with (0 for an archive that ends where its comment does).
    uint32_t bytesAfterComment;
};

constexpr uint32_t kMostHeadersCounted = 0x10000;  // one more than an end record can count

// Of the end record signatures within the last 65535 bytes, the first whose
// comment reaches exactly the end of the source and whose central directory
// starts with a central header, or that makes up an empty archive on its own
// at the start of the file; every later signature lies inside its comment.
// Failing that, the only signature there is, followed by bytes after its
// comment, when it describes a directory that starts with a central header.
// Its position relative to the source's start, or kEndRecordNotFound with
// the reason in `check` when given.
uint32_t FindEndRecord(ByteSource* source, DirectoryCheck* check = nullptr);

// Finds the end record and walks the whole central directory it describes:
// as many central headers in a row as it counts, ending exactly where the
// directory ends, right before the end record. Reads `source` without
// releasing it.
DirectoryFault CheckDirectory(ByteSource* source, DirectoryCheck* check);

// Takes ownership of `source` and gives a reader on the first entry, or
// releases the source and gives null: an archive opens when CheckDirectory
// finds no fault.
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
