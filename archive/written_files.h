// The installed files a reader's update replaces, so that a later entry
// whose target is one of them under another spelling (another case, a short 8.3 name, "./" in
// front, a link) is refused instead of silently replacing it. They are told
// by identity, the volume serial number and the file index, which name one
// file whatever path leads there: exact on every file system, where folding
// names would guess.
//
// An identity costs opening the file, so none is read while no target is
// there already, as in an update into an empty folder: each written file's
// path and size are kept, and its identity is read only once a target of
// the same size is there to tell apart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../platform/winapi.h"
#include "file_identity.h"
#include "record_pool.h"

// Empty when zeroed; ForgetWrittenFiles frees it.
struct WrittenFiles {
    // Per file: its size (4 bytes), the handle + 1 of the file of that size
    // written before it (4 bytes, 0: none), flags (1 byte: its identity is
    // read, its path is below the base), its path below the base or whole,
    // zero-terminated.
    RecordPool records;
    uint32_t* latestOfSize;  // owned; open-addressed, by size: the handle + 1 of a record
    size_t sizeSlots;
    size_t sizeCount;
    FileIdentity* ids;  // owned; open-addressed: the identities read (unknown: a free slot)
    size_t idSlots;
    size_t idCount;
    bool incomplete;  // a written file could not be noted
};

// Whether the file at `path`, which is there with the attributes and size in
// `found`, is one of them; `base` is the reader's base directory. When that
// cannot be told (an identity that cannot be read, a file that could not be
// noted), it may be: true.
bool IsWrittenFile(WrittenFiles* files, const char* base, const char* path,
                   const WIN32_FILE_ATTRIBUTE_DATA& found);

// Notes the file of `size` bytes just written at `path`.
void RememberWrittenFile(WrittenFiles* files, const char* base, const char* path, uint32_t size);

void ForgetWrittenFiles(WrittenFiles* files);
