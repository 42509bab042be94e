// Which file or folder a path leads to, whatever path it is: the volume and
// the file index. Two spellings of one folder (another case, a short name,
// "docs/./") are one identity; so are two hard links of one file.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"

struct FileIdentity {
    bool known;  // the file was there and could be asked
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

FileIdentity IdentifyFile(const char* path);
// With `size`, also the file's size in bytes.
FileIdentity IdentifyOpenFile(HANDLE file, uint64_t* size = nullptr);

// Only two known identities can be the same file.
bool IsSameFile(const FileIdentity& first, const FileIdentity& second);
