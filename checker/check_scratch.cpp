#include "check_scratch.h"

#include <cstdio>
#include <cstring>

#include "folder_names.h"

namespace {

constexpr char kScratchPrefix[] = "update-check-";
constexpr int kNameAttempts = 100;
// The longest name of one padding folder: below any file system's limit.
constexpr size_t kPaddingNameLength = 200;

// A name no other run of this or another process has taken.
bool MakeRoot(char (&root)[MAX_PATH])
{
    char temporary[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, temporary);
    if (length == 0 || length >= MAX_PATH) return false;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const int used = std::snprintf(root, MAX_PATH, "%s%s%lu-%d", temporary, kScratchPrefix,
                                       static_cast<unsigned long>(GetCurrentProcessId()), attempt);
        if (used <= 0 || used >= MAX_PATH) break;
        if (CreateDirectoryA(root, nullptr)) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    root[0] = '\0';
    return false;
}

// Adds folders below `base` until its text is `length` bytes long; false when
// that length cannot be reached from here, or a folder cannot be made.
bool PadBase(char (&base)[MAX_PATH], size_t length)
{
    size_t used = std::strlen(base);
    if (length >= MAX_PATH) return false;
    while (used + 1 < length) {
        const size_t left = length - used - 1;
        size_t take = left < kPaddingNameLength ? left : kPaddingNameLength;
        // One byte left over would be a separator alone.
        if (left - take == 1) take -= 1;
        base[used++] = '/';
        std::memset(base + used, 'p', take);
        used += take;
        base[used] = '\0';
        if (!CreateDirectoryA(base, nullptr)) return false;
    }
    return used == length;
}

bool RemoveFile(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    }
    return DeleteFileA(path) != FALSE;
}

bool RemoveTree(const char* folder)
{
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, folder, "*")) return false;
    bool removed = true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (IsDotName(found.cFileName)) continue;
            char path[MAX_PATH];
            if (!JoinPath(path, folder, found.cFileName)) {
                removed = false;
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removed = RemoveTree(path) && removed;
            } else {
                removed = RemoveFile(path) && removed;
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return RemoveDirectoryA(folder) && removed;
}

}  // namespace

bool MakeCheckScratch(CheckScratch* scratch, size_t baseLength)
{
    scratch->base[0] = '\0';
    scratch->lengthMatched = false;
    if (!MakeRoot(scratch->root) || !SetCurrentDirectoryA(scratch->root)) return false;
    // Padded from the path the system gives back, which may differ from the
    // temporary folder's text (a link, a short name).
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, scratch->base);
    if (length == 0 || length >= MAX_PATH) return false;
    if (baseLength == 0) {
        scratch->lengthMatched = true;
        return true;
    }
    char padded[MAX_PATH];
    std::memcpy(padded, scratch->base, length + 1);
    if (PadBase(padded, baseLength) && SetCurrentDirectoryA(padded)) {
        scratch->lengthMatched = GetCurrentDirectoryA(MAX_PATH, scratch->base) == baseLength;
    }
    return SetCurrentDirectoryA(scratch->base) != FALSE;
}

bool RemoveCheckScratch(CheckScratch* scratch)
{
    if (scratch->root[0] == '\0') return true;
    if (!RemoveTree(scratch->root)) return false;
    scratch->root[0] = '\0';
    return true;
}
