#include "../execute_permission.h"

#include <sys/stat.h>
#include <cerrno>

#include "errors.h"
#include "fault_points.h"
#include "handles.h"
#include "paths.h"

BOOL AllowExecution(HANDLE file, uint32_t executeBits)
{
    PLATFORM_FAULT_POINT(AllowExecution);

    const int fd = platform_unix::FdFromHandle(file);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const mode_t mode = st.st_mode & 0777;
    const mode_t readers = (mode & (S_IRUSR | S_IRGRP | S_IROTH)) >> 2;
    const mode_t wanted = mode | (mode_t(executeBits) & readers);
    // A file system without Unix modes reports the same mode whatever is set.
    if (wanted == mode) return TRUE;
    if (fchmod(fd, wanted) != 0) {
        platform_unix::SetLastErrorFromErrno(errno, ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

uint32_t ReadExecuteBits(LPCSTR path)
{
    struct stat st;
    if (path == nullptr || stat(platform_unix::PosixPath(path).c_str(), &st) != 0) return 0;
    return uint32_t(st.st_mode & 0111);
}
