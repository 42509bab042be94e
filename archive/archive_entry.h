// The description of one archive entry, as the caller receives it.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"

struct ArchiveEntry {
    int32_t index;        // for the count query: the number of entries
    char name[MAX_PATH];  // cleaned name, always zero-terminated
    uint32_t attributes;  // FILE_ATTRIBUTE_ READONLY, HIDDEN, SYSTEM, DIRECTORY, ARCHIVE
    FILETIME accessTime;  // UTC; all zero when not known
    FILETIME creationTime;
    FILETIME writeTime;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
};
