// The files a reader has written, by identity: the volume serial number and
// the file index, which name one file whatever path leads there. A later
// entry whose target is one of them, under another spelling (another case,
// a short 8.3 name, "./" in front), would silently replace it; the identity
// tells that exactly on every file system, where folding names would guess.
#pragma once

#include <cstddef>

#include "../platform/winapi.h"

struct FileId {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

// An open-addressed table of identities, grown as files are written. Empty
// when zeroed; ForgetWrittenFiles frees it.
struct WrittenFiles {
    FileId* slots;  // owned; none until the first file
    size_t capacity;
    size_t count;
    bool holdsZero;   // the identity that is all zero, which marks a free slot
    bool incomplete;  // a written file could not be remembered
};

// Whether the file at `path`, which is there, is one of them. When that
// cannot be told (its identity cannot be read, or a written file could not
// be remembered), it may be: true.
bool IsWrittenFile(const WrittenFiles& files, const char* path);

// Notes the file just written at `path`.
void RememberWrittenFile(WrittenFiles* files, const char* path);

void ForgetWrittenFiles(WrittenFiles* files);
