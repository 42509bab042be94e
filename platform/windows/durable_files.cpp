#include "../durable_files.h"

#include <cstdio>
#include <cstring>

namespace {

BOOL FlushFile(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    const BOOL flushed = FlushFileBuffers(file);
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return flushed;
}

}  // namespace

BOOL FlushFolderFiles(LPCSTR folder)
{
    char pattern[MAX_PATH];
    const int length = std::snprintf(pattern, MAX_PATH, "%s\\*", folder);
    if (length < 0 || length >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    BOOL flushed = TRUE;
    do {
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0)
            continue;
        char path[MAX_PATH];
        const int pathLength = std::snprintf(path, MAX_PATH, "%s\\%s", folder, found.cFileName);
        if (pathLength < 0 || pathLength >= MAX_PATH) {
            flushed = FALSE;
        } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            flushed = FlushFolderFiles(path) && flushed;
        } else if (!(found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
            flushed = FlushFile(path) && flushed;
        }
    } while (flushed && FindNextFileA(search, &found));
    FindClose(search);
    return flushed;
}
