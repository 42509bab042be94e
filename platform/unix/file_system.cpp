// Path-level file-system calls: GetFileAttributesA, GetFileAttributesExA,
// GetShortPathNameW, SetFileAttributesA, CreateDirectoryA, RemoveDirectoryA,
// DeleteFileA, MoveFileExA with their Windows meaning.
//
// "Read-only" is the owner-write bit: GetFileAttributesA reports it, and a
// read-only file cannot be deleted or replaced, also by root (Windows refuses
// that to an administrator too).
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "../winapi.h"
#include "attributes.h"
#include "errors.h"
#include "fault_points.h"
#include "paths.h"

using platform_unix::PosixPath;
using platform_unix::SetLastErrorFromErrno;

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kExecuteBits = S_IXUSR | S_IXGRP | S_IXOTH;

void SetLastErrorForMissing(int err, const std::string& path)
{
    if (err == ENOENT) {
        platform_unix::SetLastErrorNotFound(path);
    } else {
        SetLastErrorFromErrno(err, ERROR_ACCESS_DENIED);
    }
}

// The process's umask, read without changing it where /proc allows.
mode_t CurrentUmask()
{
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned int mask = 0;
        bool found = false;
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                found = true;
                break;
            }
        }
        std::fclose(status);
        if (found) {
            return static_cast<mode_t>(mask);
        }
    }
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

// A file the fault switch makes stand for a running program, which Windows
// lets no one replace; never one outside that build.
bool IsRunningImageForTests(const struct stat& file)
{
#ifdef UPDATER_FAULT_INJECTION
    return platform_unix::IsRunningImage(file);
#else
    (void)file;
    return false;
#endif
}

// fsync of the folder that holds `path`: its names on the disk.
bool SyncFolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno(errno, ERROR_WRITE_FAULT);
        return false;
    }
    const bool synced = fsync(fd) == 0;
    const int err = errno;
    close(fd);
    if (!synced) SetLastErrorFromErrno(err, ERROR_WRITE_FAULT);
    return synced;
}

// MOVEFILE_WRITE_THROUGH: the rename is on the disk when the call returns.
BOOL SyncFoldersOf(const std::string& from, const std::string& to)
{
    if (!SyncFolderOf(to)) return FALSE;
    platform_unix::NotePowerEvent("F through", to);
    const size_t fromSlash = from.find_last_of('/');
    const size_t toSlash = to.find_last_of('/');
    const bool sameFolder = from.compare(0, fromSlash, to, 0, toSlash) == 0 && fromSlash == toSlash;
    return sameFolder || SyncFolderOf(from) ? TRUE : FALSE;
}

bool IsReadOnly(const struct stat& st)
{
    return (st.st_mode & S_IWUSR) == 0;
}

// What stat says of the file or folder at a Windows path; false, with the
// last error set, when it is not there or cannot be asked.
bool StatPath(LPCSTR fileName, struct stat* st)
{
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::string path = PosixPath(fileName);
    if (stat(path.c_str(), st) != 0) {
        SetLastErrorForMissing(errno, path);
        return false;
    }
    return true;
}

}  // namespace

DWORD WINAPI GetFileAttributesA(LPCSTR fileName)
{
    PLATFORM_FAULT_POINT(GetFileAttributesA);

    struct stat st;
    return StatPath(fileName, &st) ? platform_unix::AttributesOfMode(st.st_mode)
                                   : INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS level, LPVOID information)
{
    PLATFORM_FAULT_POINT(GetFileAttributesExA);

    struct stat st;
    if (level != GetFileExInfoStandard || information == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!StatPath(fileName, &st)) return FALSE;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    data.dwFileAttributes = platform_unix::AttributesOfMode(st.st_mode);
    const uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    std::memcpy(information, &data, sizeof data);
    return TRUE;
}

// No 8.3 names: the long path itself, for a file or folder that is there,
// as on a Windows volume that makes no short names.
DWORD WINAPI GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size)
{
    if (longPath == nullptr || (size > 0 && shortPath == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t units = 0;
    while (longPath[units] != 0) ++units;
    const int bytes = units == 0 ? 0
                                 : WideCharToMultiByte(CP_ACP, 0, longPath, int(units), nullptr, 0,
                                                       nullptr, nullptr);
    std::string narrow(size_t(bytes), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_ACP, 0, longPath, int(units), &narrow[0], bytes, nullptr, nullptr);
    }
    struct stat st;
    if (!StatPath(narrow.c_str(), &st)) return 0;
    if (units >= size) {
        return DWORD(units + 1);  // the size needed, with the terminator; nothing written
    }
    std::copy(longPath, longPath + units + 1, shortPath);
    return DWORD(units);
}

BOOL WINAPI SetFileAttributesA(LPCSTR fileName, DWORD attributes)
{
    PLATFORM_FAULT_POINT(SetFileAttributesA);

    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = PosixPath(fileName);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        SetLastErrorForMissing(errno, path);
        return FALSE;
    }
    if (S_ISDIR(st.st_mode)) {
        // A folder's read-only attribute does not protect its contents on
        // Windows; changing its write bits here would. Nothing to do.
        return TRUE;
    }
    mode_t mode = st.st_mode & 07777;
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        mode &= ~kWriteBits;
    } else if (IsReadOnly(st)) {
        // Writable again, as a new file would be: the write bits the umask
        // allows, and the owner's at least.
        mode |= (kWriteBits & ~CurrentUmask()) | S_IWUSR;
    }
    if (mode != (st.st_mode & 07777) && chmod(path.c_str(), mode) != 0) {
        SetLastErrorFromErrno(errno, ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES /*security*/)
{
    PLATFORM_FAULT_POINT(CreateDirectoryA);

    if (pathName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = PosixPath(pathName);
    if (mkdir(path.c_str(), 0777) != 0) {
        const int err = errno;
        if (err == EEXIST) {
            SetLastError(ERROR_ALREADY_EXISTS);
        } else if (err == ENOENT || err == ENOTDIR) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        } else {
            SetLastErrorFromErrno(err, ERROR_ACCESS_DENIED);
        }
        return FALSE;
    }
    platform_unix::NotePowerEvent("N mkdir", path);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR pathName)
{
    PLATFORM_FAULT_POINT(RemoveDirectoryA);

    if (pathName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = PosixPath(pathName);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        SetLastErrorForMissing(errno, path);
        return FALSE;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    if (rmdir(path.c_str()) != 0) {
        const int err = errno;
        SetLastErrorFromErrno(err == EEXIST ? ENOTEMPTY : err, ERROR_ACCESS_DENIED);
        return FALSE;
    }
    platform_unix::NotePowerEvent("N rmdir", path);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR fileName)
{
    PLATFORM_FAULT_POINT(DeleteFileA);

    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = PosixPath(fileName);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        SetLastErrorForMissing(errno, path);
        return FALSE;
    }
    // A folder is not a file, and a read-only file is refused (as Windows
    // refuses it, even to an administrator). A symbolic link is the link.
    if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && IsReadOnly(st))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const std::string copy = platform_unix::CopyBeforeDeletion(path);
    if (unlink(path.c_str()) != 0) {
        SetLastErrorForMissing(errno, path);
        return FALSE;
    }
    platform_unix::NotePowerEvent("N delete", path, copy);
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags)
{
    PLATFORM_FAULT_POINT(MoveFileExA);

    if (existingFileName == nullptr || newFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string from = PosixPath(existingFileName);
    const std::string to = PosixPath(newFileName);
    if ((flags & MOVEFILE_WRITE_THROUGH) != 0) platform_unix::ReachFlush();
    // Onto a name that is free, nothing needs checking: one call that can
    // never replace anything. Any failure (the name is taken, the file
    // system cannot promise that) takes the checked way below. A caller
    // that allows replacing expects a name that is taken, so the try would
    // only cost it a call.
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0 &&
        renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        platform_unix::NotePowerEvent("N rename", from, to);
        return (flags & MOVEFILE_WRITE_THROUGH) == 0 || SyncFoldersOf(from, to);
    }
    struct stat source;
    if (lstat(from.c_str(), &source) != 0) {
        SetLastErrorForMissing(errno, from);
        return FALSE;
    }
    struct stat target;
    const bool targetExists = lstat(to.c_str(), &target) == 0;
    if (!targetExists && errno != ENOENT) {
        SetLastErrorForMissing(errno, to);
        return FALSE;
    }
    if (targetExists && !(source.st_dev == target.st_dev && source.st_ino == target.st_ino)) {
        if (IsRunningImageForTests(target)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        // Neither a folder nor a read-only file can be replaced, and a folder
        // cannot replace anything.
        if (S_ISDIR(target.st_mode) || S_ISDIR(source.st_mode) ||
            (!S_ISLNK(target.st_mode) && IsReadOnly(target))) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }

    // The replacing file keeps the execute bits of the file it replaces
    // (added to its own, never taken away), so an updated program stays
    // runnable; its write bits stay its own (its read-only state).
    bool modeChanged = false;
    if (targetExists && S_ISREG(source.st_mode) && S_ISREG(target.st_mode)) {
        const mode_t oldMode = source.st_mode & 07777;
        const mode_t newMode = oldMode | (target.st_mode & kExecuteBits);
        if (newMode != oldMode) {
            if (chmod(from.c_str(), newMode) != 0) {
                SetLastErrorFromErrno(errno, ERROR_ACCESS_DENIED);
                return FALSE;
            }
            modeChanged = true;
        }
    }
    // rename(2) replaces the target atomically within one file system; across
    // file systems it fails (ERROR_NOT_SAME_DEVICE), as MoveFileEx does
    // without MOVEFILE_COPY_ALLOWED.
    const std::string replaced =
        targetExists ? platform_unix::CopyBeforeDeletion(to) : std::string();
    if (rename(from.c_str(), to.c_str()) != 0) {
        const int err = errno;
        if (modeChanged) {
            chmod(from.c_str(), source.st_mode & 07777);
        }
        if (err == ENOENT) {
            platform_unix::SetLastErrorNotFound(to);
        } else if (err == EEXIST || err == ENOTEMPTY || err == EISDIR) {
            SetLastError(ERROR_ACCESS_DENIED);
        } else {
            SetLastErrorFromErrno(err, ERROR_ACCESS_DENIED);
        }
        return FALSE;
    }
    if (targetExists) platform_unix::NotePowerEvent("N delete", to, replaced);
    platform_unix::NotePowerEvent("N rename", from, to);
    return (flags & MOVEFILE_WRITE_THROUGH) == 0 || SyncFoldersOf(from, to);
}
