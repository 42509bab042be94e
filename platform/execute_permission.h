// Execute permission, which a Linux file keeps in its mode and a Windows file
// does not have (there a program runs by its name): the one file-system
// setting here that no Windows call stands for.
#pragma once

#include <cstdint>

#include "winapi.h"

#ifdef _WIN32

inline BOOL AllowExecution(HANDLE /*file*/, uint32_t /*executeBits*/)
{
    return TRUE;
}

inline uint32_t ReadExecuteBits(LPCSTR /*path*/)
{
    return 0;
}

#else

// Adds the execute bits among `executeBits` (0100 owner, 0010 group, 0001
// others; any other bit is ignored) to `file`, a file open for writing, for
// those who may read it: its read bits already follow the umask. Never sets
// set-user-ID, set-group-ID or sticky bits. FALSE, with the last error, when
// the mode cannot be changed.
BOOL AllowExecution(HANDLE file, uint32_t executeBits);

// The execute bits (0111) of the file at `path`, which a file that replaces
// it keeps; 0 when it has none or cannot be asked.
uint32_t ReadExecuteBits(LPCSTR path);

#endif
