// The last-error value (one per thread, as on Windows) and errno mapping.
#include "errors.h"

#include <sys/stat.h>
#include <cerrno>

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
// A "not found" whose code, file or path, is settled only when asked for:
// telling the two apart costs a look at the folder, and most callers of a
// failed lookup (is the target there yet?) never ask.
thread_local bool t_notFoundPending = false;
thread_local std::string t_notFoundPath;
}  // namespace

DWORD WINAPI GetLastError()
{
    if (t_notFoundPending) {
        t_notFoundPending = false;
        t_lastError = platform_unix::NotFoundError(t_notFoundPath);
    }
    return t_lastError;
}

void WINAPI SetLastError(DWORD errorCode)
{
    t_notFoundPending = false;
    t_lastError = errorCode;
}

namespace platform_unix {

DWORD Win32ErrorFromErrno(int err, DWORD fallback)
{
    switch (err) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EFBIG:
            return ERROR_FILE_TOO_LARGE;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ELOOP:
            return ERROR_CANT_RESOLVE_FILENAME;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case ESPIPE:
            return ERROR_SEEK_ON_DEVICE;
        case EPIPE:
            return ERROR_NO_DATA;
        case EBUSY:
        case ETXTBSY:
            return ERROR_SHARING_VIOLATION;
        case ENOEXEC:
            return ERROR_BAD_EXE_FORMAT;
        case EINVAL:
        case EOVERFLOW:
            return ERROR_INVALID_PARAMETER;
        case ENOTSUP:
            return ERROR_NOT_SUPPORTED;
        default:
            return fallback;
    }
}

void SetLastErrorFromErrno(int err, DWORD fallback)
{
    SetLastError(Win32ErrorFromErrno(err, fallback));
}

void SetLastErrorNotFound(const std::string& posixPath)
{
    t_notFoundPath = posixPath;
    t_notFoundPending = true;
}

DWORD NotFoundError(const std::string& posixPath)
{
    // The folder part: everything before the last separator that is followed
    // by a name ("a/b/" names "a/b" itself, so its folder is "a").
    std::string::size_type end = posixPath.size();
    while (end > 1 && posixPath[end - 1] == '/') {
        --end;
    }
    const std::string::size_type slash = posixPath.rfind('/', end == 0 ? 0 : end - 1);
    if (slash == std::string::npos) {
        return ERROR_FILE_NOT_FOUND;  // in the current directory, which exists
    }
    const std::string folder = slash == 0 ? std::string("/") : posixPath.substr(0, slash);
    struct stat st;
    if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_PATH_NOT_FOUND;
}

}  // namespace platform_unix
