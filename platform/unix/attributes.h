// Private to the Linux half: the Windows attributes a file's mode stands
// for. Only these three are kept on Linux (see winapi.h).
#pragma once

#include <sys/stat.h>

#include "../winapi.h"

namespace platform_unix {

inline DWORD AttributesOfMode(mode_t mode)
{
    if (S_ISDIR(mode)) return FILE_ATTRIBUTE_DIRECTORY;
    // A writable file with no other attribute reports FILE_ATTRIBUTE_NORMAL,
    // as Windows does for a file whose archive bit is clear.
    return (mode & S_IWUSR) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace platform_unix
