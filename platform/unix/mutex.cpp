// CreateMutexA for the one use the updater has: a name that only one process
// at a time can hold. The name is bound as an abstract Unix socket, which the
// kernel lets go when the process ends, however it ends: no file is left.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "../winapi.h"
#include "errors.h"
#include "fault_points.h"
#include "handles.h"

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES /*security*/, BOOL initialOwner, LPCSTR name)
{
    PLATFORM_FAULT_POINT(CreateMutexA);

    sockaddr_un address{};
    // Only a named mutex nobody owns at creation is emulated.
    if (name == nullptr || initialOwner || std::strlen(name) + 1 >= sizeof address.sun_path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        platform_unix::SetLastErrorFromErrno(errno, ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name, std::strlen(name));  // sun_path[0] 0: abstract
    const socklen_t length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + std::strlen(name));
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        if (errno != EADDRINUSE) {
            const int err = errno;
            close(fd);
            platform_unix::SetLastErrorFromErrno(err, ERROR_ACCESS_DENIED);
            return nullptr;
        }
        // Held by another process: a handle all the same, as Windows gives one
        // to the existing mutex, and the error that says so.
        SetLastError(ERROR_ALREADY_EXISTS);
        return platform_unix::HandleFromFd(fd);
    }
    SetLastError(ERROR_SUCCESS);
    return platform_unix::HandleFromFd(fd);
}
