#include "install_copy.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "folder_names.h"

namespace {

constexpr DWORD kCopyBufferSize = 16384;

bool CopyData(HANDLE from, HANDLE to)
{
    uint8_t buffer[kCopyBufferSize];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, buffer, kCopyBufferSize, &got, nullptr)) return false;
        if (got == 0) return true;
        DWORD written = 0;
        if (!WriteFile(to, buffer, got, &written, nullptr) || written != got) return false;
    }
}

// One file, with its read-only attribute; remembered when it is the archive.
bool CopyFileWithAttribute(const char* from, const char* to, DWORD attributes, InstallCopy* copy)
{
    HANDLE source = CreateFileA(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (source == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(source, &information) &&
        IsSameFile(copy->archive,
                   FileIdentity{true, information.dwVolumeSerialNumber, information.nFileIndexHigh,
                                information.nFileIndexLow})) {
        std::snprintf(copy->archiveCopy, MAX_PATH, "%s", to);
    }
    HANDLE target =
        CreateFileA(to, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool copied = target != INVALID_HANDLE_VALUE && CopyData(source, target);
    if (target != INVALID_HANDLE_VALUE && !CloseHandle(target)) copied = false;
    CloseHandle(source);
    if (copied && (attributes & FILE_ATTRIBUTE_READONLY)) {
        copied = SetFileAttributesA(to, FILE_ATTRIBUTE_READONLY) != FALSE;
    }
    return copied;
}

bool CopyTree(const char* from, const char* to, InstallCopy* copy)
{
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, from, "*")) return true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;  // not even "." and ".."
        std::snprintf(copy->failedPath, MAX_PATH, "%s", from);
        return false;
    }
    bool copied = true;
    do {
        char source[MAX_PATH];
        char target[MAX_PATH];
        if (IsDotName(found.cFileName) || !JoinPath(source, from, found.cFileName) ||
            !JoinPath(target, to, found.cFileName)) {
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            copied = CreateDirectoryA(target, nullptr) && CopyTree(source, target, copy);
        } else {
            copied = CopyFileWithAttribute(source, target, found.dwFileAttributes, copy);
        }
        if (!copied && copy->failedPath[0] == '\0') {
            std::snprintf(copy->failedPath, MAX_PATH, "%s", source);
        }
    } while (copied && FindNextFileA(search, &found));
    FindClose(search);
    return copied;
}

}  // namespace

bool CopyInstallFolder(const char* installFolder, const char* target, InstallCopy* copy)
{
    copy->archiveCopy[0] = '\0';
    copy->failedPath[0] = '\0';
    return CopyTree(installFolder, target, copy);
}
