// The installed files a reader's update replaces, so that a later entry
// whose target is one of them under another spelling (another case, a short 8.3 name, "./" in
// front, a link) is refused instead of silently replacing it. They are told
// by identity, the volume serial number and the file index, which name one
// file whatever path leads there: exact on every file system, where folding
// names would guess.
//
// An identity costs opening the file, so none is read while no target is
// there already, as in an update into an empty folder: each written file's
// size is kept, with its path's place in the update's own list of targets,
// and its identity is read only once a target of the same size is there to
// tell apart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../platform/winapi.h"
#include "file_identity.h"
#include "record_pool.h"

// Empty when zeroed but for `paths`; ForgetWrittenFiles frees it.
struct WrittenFiles {
    // The pool the files' paths lie in, zero-terminated and relative to the
    // base: the update's targets. Not owned.
    const RecordPool* paths;
    // Per file: its size, the handle + 1 of the file of that size written
    // before it (0: none), its path's handle in `paths`, whether its
    // identity is read.
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

// Notes the file of `size` bytes just written at the path of handle `path`
// in `paths`.
void RememberWrittenFile(WrittenFiles* files, uint32_t path, uint32_t size);

// Frees what the set holds; its `paths` stays.
void ForgetWrittenFiles(WrittenFiles* files);
