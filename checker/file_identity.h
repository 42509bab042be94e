// Which file a path leads to, whatever path it is: the volume and the file
// index, as the unpack step itself tells the archive from its targets.
#pragma once

#include "../platform/winapi.h"

struct FileIdentity {
    bool known;  // the file was there and could be asked
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

FileIdentity IdentifyFile(const char* path);

// Only two known identities can be the same file.
bool IsSameFile(const FileIdentity& first, const FileIdentity& second);
