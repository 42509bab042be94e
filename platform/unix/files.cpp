// File handles: CreateFileA, ReadFile, WriteFile, SetFilePointer, CloseHandle,
// FlushFileBuffers, SetFileTime, GetFileInformationByHandle
// with their Windows meaning over POSIX descriptors.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <limits>

#include "../winapi.h"
#include "attributes.h"
#include "errors.h"
#include "fault_points.h"
#include "handles.h"
#include "paths.h"

using platform_unix::FdFromHandle;
using platform_unix::HandleFromFd;
using platform_unix::SetLastErrorFromErrno;

namespace {

constexpr int64_t kFileTimeUnixEpoch = 116444736000000000LL;  // 1970-01-01 in FILETIME units

void CloseQuietly(int fd)
{
    const int savedErrno = errno;
    close(fd);
    errno = savedErrno;
}

// For EBADF: a valid descriptor opened without the needed access gives
// ERROR_ACCESS_DENIED, as a Windows handle without that access right does.
void SetLastErrorForBadDescriptor(int fd)
{
    SetLastError(fcntl(fd, F_GETFD) != -1 ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
}

// After a call that changes the file behind `fd` failed: FALSE, with the
// error Windows gives (a descriptor not open for writing is refused access).
BOOL FailToChange(int fd)
{
    if (errno == EBADF || errno == EINVAL) {
        SetLastErrorForBadDescriptor(fd);
    } else {
        SetLastErrorFromErrno(errno, ERROR_WRITE_FAULT);
    }
    return FALSE;
}

// The files open with FILE_FLAG_DELETE_ON_CLOSE (lock files): their
// descriptors and names, deleted when they are closed.
struct DeleteOnClose {
    int fd = -1;
    std::string path;
};
constexpr size_t kDeleteOnCloseSlots = 8;
DeleteOnClose g_deleteOnClose[kDeleteOnCloseSlots];

DeleteOnClose* FindDeleteOnClose(int fd)
{
    for (DeleteOnClose& slot : g_deleteOnClose) {
        if (slot.fd == fd) return &slot;
    }
    return nullptr;
}

// Deleted while still locked: no other holder can have it yet.
void DeleteIfDeleteOnClose(int fd)
{
    if (DeleteOnClose* slot = FindDeleteOnClose(fd)) {
        const std::string copy = platform_unix::CopyBeforeDeletion(slot->path);
        if (unlink(slot->path.c_str()) == 0)
            platform_unix::NotePowerEvent("N delete", slot->path, copy);
        slot->fd = -1;
        slot->path.clear();
    }
}

HANDLE FailCreate(int err, const std::string& path)
{
    if (err == ENOENT) {
        platform_unix::SetLastErrorNotFound(path);
    } else if (err == EEXIST) {
        SetLastError(ERROR_FILE_EXISTS);
    } else {
        SetLastErrorFromErrno(err, ERROR_ACCESS_DENIED);
    }
    return INVALID_HANDLE_VALUE;
}

// A FILETIME as a timespec for futimens; UTIME_OMIT for none, all zero, or
// all ones (Windows' "leave it alone" values). False when it does not fit.
bool ToTimespec(const FILETIME* fileTime, struct timespec* out)
{
    out->tv_sec = 0;
    out->tv_nsec = UTIME_OMIT;
    if (fileTime == nullptr) {
        return true;
    }
    const uint64_t ticks =
        (static_cast<uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    if (ticks == 0 || ticks == UINT64_MAX) {
        return true;
    }
    if (ticks > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return false;
    }
    const int64_t sinceUnix = static_cast<int64_t>(ticks) - kFileTimeUnixEpoch;
    int64_t seconds = sinceUnix / 10000000;
    int64_t remainder = sinceUnix % 10000000;
    if (remainder < 0) {  // floor for times before 1970
        remainder += 10000000;
        --seconds;
    }
    if (seconds > std::numeric_limits<time_t>::max() ||
        seconds < std::numeric_limits<time_t>::min()) {
        return false;
    }
    out->tv_sec = static_cast<time_t>(seconds);
    out->tv_nsec = static_cast<long>(remainder * 100);
    return true;
}

FILETIME FromTimespec(const struct timespec& time)
{
    const uint64_t ticks = static_cast<uint64_t>(
        (static_cast<int64_t>(time.tv_sec) * 10000000 + time.tv_nsec / 100) + kFileTimeUnixEpoch);
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

// OPEN_ALWAYS: made when missing. Share mode 0 is an exclusive flock(2) on
// the file, which holds across processes and namespaces and goes with its
// last descriptor. A name a closing holder deleted between the open and the
// lock is opened again, so that two holders never lock two files of one name.
HANDLE OpenAlways(const std::string& path, int accessFlags, DWORD shareMode, DWORD flags)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const bool existed = access(path.c_str(), F_OK) == 0;
        const int fd = open(path.c_str(), accessFlags | O_CREAT, 0666);
        if (fd < 0) {
            return FailCreate(errno, path);
        }
        if (shareMode == 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            CloseQuietly(fd);
            if (err == EWOULDBLOCK) {
                SetLastError(ERROR_SHARING_VIOLATION);
                return INVALID_HANDLE_VALUE;
            }
            return FailCreate(err, path);
        }
        struct stat opened;
        struct stat named;
        if (fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            if ((flags & FILE_FLAG_DELETE_ON_CLOSE) != 0) {
                DeleteOnClose* slot = FindDeleteOnClose(-1);
                if (slot == nullptr) {
                    CloseQuietly(fd);
                    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
                    return INVALID_HANDLE_VALUE;
                }
                slot->fd = fd;
                slot->path = path;
            }
            if (!existed) platform_unix::NotePowerEvent("N create", path);
            SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
            return HandleFromFd(fd);
        }
        CloseQuietly(fd);
    }
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

// Only the three ways the updater opens files: CREATE_NEW (a staged file or a
// record to write), OPEN_EXISTING (the archive or a record to read, a folder
// to ask about) and OPEN_ALWAYS (the lock file). Any other disposition is
// refused with ERROR_INVALID_PARAMETER. The share mode is enforced only for
// OPEN_ALWAYS: Linux has no mandatory sharing between processes.
HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES /*security*/, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE /*templateFile*/)
{
    PLATFORM_FAULT_POINT(CreateFileA);

    if (fileName == nullptr ||
        (creationDisposition != CREATE_NEW && creationDisposition != OPEN_EXISTING &&
         creationDisposition != OPEN_ALWAYS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool wantsRead = (desiredAccess & GENERIC_READ) != 0;
    const bool wantsWrite = (desiredAccess & GENERIC_WRITE) != 0;
    int accessFlags = O_RDONLY;
    if (wantsWrite) {
        accessFlags = wantsRead ? O_RDWR : O_WRONLY;
    }
    accessFlags |= O_CLOEXEC | O_NOCTTY;
    const std::string path = platform_unix::PosixPath(fileName);

    if (creationDisposition == CREATE_NEW) {
        // O_EXCL: an existing file (or a symbolic link) is never opened.
        // 0444 for a read-only file: the creating descriptor can still write
        // it, later opens for writing are refused. umask applies.
        const bool readOnly = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        const int fd = open(path.c_str(), accessFlags | O_CREAT | O_EXCL, readOnly ? 0444 : 0666);
        if (fd < 0) {
            return FailCreate(errno, path);
        }
        platform_unix::NotePowerEvent("N create", path);
        SetLastError(ERROR_SUCCESS);
        return HandleFromFd(fd);
    }

    if (creationDisposition == OPEN_ALWAYS) {
        return OpenAlways(path, accessFlags, shareMode, flagsAndAttributes);
    }

    const int fd = open(path.c_str(), accessFlags);
    if (fd < 0) {
        return FailCreate(errno, path);
    }
    // With FILE_FLAG_BACKUP_SEMANTICS and no write access a folder opens as a
    // file does, to be asked about: nothing to look at. Any other handle
    // refuses a folder, and writing to a read-only file, which Windows also
    // refuses an administrator (so the mode bits, not access()).
    const bool folderAllowed =
        (flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0 && !wantsWrite;
    if (!folderAllowed) {
        struct stat st;
        if (fstat(fd, &st) != 0) {
            const int err = errno;
            CloseQuietly(fd);
            return FailCreate(err, path);
        }
        if (S_ISDIR(st.st_mode) || (wantsWrite && (st.st_mode & S_IWUSR) == 0)) {
            CloseQuietly(fd);
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    SetLastError(ERROR_SUCCESS);
    return HandleFromFd(fd);
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                     void* /*overlapped*/)
{
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    PLATFORM_FAULT_POINT(ReadFile);

    const int fd = FdFromHandle(file);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (buffer == nullptr && bytesToRead != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char* out = static_cast<char*>(buffer);
    DWORD total = 0;
    bool checkedKind = false;
    while (total < bytesToRead) {
        const ssize_t n = read(fd, out + total, bytesToRead - total);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int err = errno;
            if (bytesRead != nullptr) {
                *bytesRead = total;
            }
            if (err == EBADF) {
                SetLastErrorForBadDescriptor(fd);
            } else {
                SetLastErrorFromErrno(err, ERROR_READ_FAULT);
            }
            return FALSE;
        }
        if (n == 0) {
            break;  // end of file: success with what was read
        }
        total += static_cast<DWORD>(n);
        if (total < bytesToRead && !checkedKind) {
            // A short read of a regular file is a signal or the end of the
            // file: read on. A pipe gives what it has, as on Windows.
            checkedKind = true;
            struct stat st;
            if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                break;
            }
        }
    }
    if (bytesRead != nullptr) {
        *bytesRead = total;
    }
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      void* /*overlapped*/)
{
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    PLATFORM_WRITE_FAULT_POINT(bytesToWrite);

    const int fd = FdFromHandle(file);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (buffer == nullptr && bytesToWrite != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const char* in = static_cast<const char*>(buffer);
    DWORD total = 0;
    int err = 0;
    while (total < bytesToWrite) {
        const ssize_t n = write(fd, in + total, bytesToWrite - total);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            err = errno;
            break;
        }
        if (n == 0) {
            err = ENOSPC;  // nothing more goes in
            break;
        }
        total += static_cast<DWORD>(n);  // a partial write: write the rest
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = total;
    }
    if (err != 0) {
        if (err == EBADF) {
            SetLastErrorForBadDescriptor(fd);
        } else {
            SetLastErrorFromErrno(err, ERROR_WRITE_FAULT);
        }
        return FALSE;
    }
    if (total > 0) platform_unix::NotePowerEvent("D write", platform_unix::PathOfDescriptor(fd));
    return TRUE;
}

// Positions within 32 bits only, as the updater asks for them: a high part
// (distanceHigh not null) is refused with ERROR_INVALID_PARAMETER.
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod)
{
    PLATFORM_FAULT_POINT(SetFilePointer);

    const int fd = FdFromHandle(file);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const int64_t move = distance;
    // The current position first: this also finds out whether the handle can
    // be positioned at all (a pipe cannot), before anything moves. A move to
    // a position from the start needs no probe, and the reader of an archive
    // makes several per entry: on a pipe the move itself fails the same way.
    const bool fromStart = moveMethod == FILE_BEGIN && move >= 0;
    const off_t current = fromStart ? 0 : lseek(fd, 0, SEEK_CUR);
    if (current < 0) {
        SetLastErrorFromErrno(errno, ERROR_SEEK_ON_DEVICE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t base = 0;
    switch (moveMethod) {
        case FILE_BEGIN:
            base = 0;
            break;
        case FILE_CURRENT:
            base = current;
            break;
        case FILE_END: {
            struct stat st;
            if (fstat(fd, &st) != 0) {
                SetLastErrorFromErrno(errno, ERROR_SEEK_ON_DEVICE);
                return INVALID_SET_FILE_POINTER;
            }
            base = st.st_size;
            break;
        }
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
    }
    if (move > 0 && base > std::numeric_limits<int64_t>::max() - move) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const int64_t position = base + move;
    if (position < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (position > 0xFFFFFFFFLL) {
        // Windows' rule for a move without a high part.
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(fd, static_cast<off_t>(position), SEEK_SET) < 0) {
        SetLastErrorFromErrno(errno, ERROR_SEEK_ON_DEVICE);
        return INVALID_SET_FILE_POINTER;
    }
    const DWORD result = static_cast<DWORD>(position);
    if (result == INVALID_SET_FILE_POINTER) {
        SetLastError(NO_ERROR);  // a valid position that looks like the failure value
    }
    return result;
}

BOOL WINAPI CloseHandle(HANDLE object)
{
    const int fd = FdFromHandle(object);
    // An injected failure still closes the descriptor (see fault_injection.h).
    PLATFORM_FAULT_POINT_WITH(
        CloseHandle, if (fd >= 0) {
            DeleteIfDeleteOnClose(fd);
            close(fd);
        });

    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DeleteIfDeleteOnClose(fd);
    if (close(fd) != 0 && errno != EINTR) {  // after EINTR Linux has closed it
        SetLastErrorFromErrno(errno, ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE file)
{
    PLATFORM_FAULT_POINT(FlushFileBuffers);

    const int fd = FdFromHandle(file);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    platform_unix::ReachFlush();
    if (fsync(fd) != 0) return FailToChange(fd);
    platform_unix::NotePowerEvent("F flushfile", platform_unix::PathOfDescriptor(fd));
    return TRUE;
}

BOOL WINAPI SetFileTime(HANDLE file, const FILETIME* /*creationTime*/, const FILETIME* accessTime,
                        const FILETIME* writeTime)
{
    PLATFORM_FAULT_POINT(SetFileTime);

    const int fd = FdFromHandle(file);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Linux keeps no creation time that could be set; it is left alone.
    struct timespec times[2];
    if (!ToTimespec(accessTime, &times[0]) || !ToTimespec(writeTime, &times[1])) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (futimens(fd, times) != 0) {
        SetLastErrorFromErrno(errno, ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information)
{
    PLATFORM_FAULT_POINT(GetFileInformationByHandle);

    const int fd = FdFromHandle(file);
    if (fd < 0 || information == nullptr) {
        SetLastError(fd < 0 ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        SetLastErrorFromErrno(errno, ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The device and inode stand for the volume and the file index: together
    // they name one file, whatever path leads to it.
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    const uint64_t index = static_cast<uint64_t>(st.st_ino);
    information->dwFileAttributes = platform_unix::AttributesOfMode(st.st_mode);
    information->ftCreationTime = FromTimespec(st.st_mtim);
    information->ftLastAccessTime = FromTimespec(st.st_atim);
    information->ftLastWriteTime = FromTimespec(st.st_mtim);
    information->dwVolumeSerialNumber = static_cast<DWORD>(st.st_dev);
    information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    information->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    information->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
    information->nFileIndexHigh = static_cast<DWORD>(index >> 32);
    information->nFileIndexLow = static_cast<DWORD>(index & 0xFFFFFFFFu);
    return TRUE;
}
