// Private to the Linux half: a file HANDLE is the file descriptor plus one,
// so that neither null nor INVALID_HANDLE_VALUE (-1) is ever a valid handle.
#pragma once

#include <climits>
#include <cstdint>

#include "../winapi.h"

namespace platform_unix {

inline HANDLE HandleFromFd(int fd)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 1);
}

// The descriptor behind a handle, or -1 for null, INVALID_HANDLE_VALUE and
// anything else that cannot be one.
inline int FdFromHandle(HANDLE handle)
{
    const intptr_t value = reinterpret_cast<intptr_t>(handle);
    if (value <= 0 || value - 1 > INT_MAX) {
        return -1;
    }
    return static_cast<int>(value - 1);
}

}  // namespace platform_unix
