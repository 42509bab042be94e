#include "own_files.h"

#include <cstdio>
#include <cstring>

#include "../platform/path_text.h"
#include "own_names.h"

namespace {

constexpr int kNameAttempts = 16;

// The parent of `folder` (both ending in a separator), cut in place; false
// at a root.
bool CutToParent(char (&folder)[MAX_PATH])
{
    size_t length = std::strlen(folder);
    if (length < 2) return false;
    folder[length - 1] = '\0';  // its own separator
    const char* separator = FindLastSeparator(folder);
    if (!separator) return false;
    folder[separator - folder + 1] = '\0';
    return true;
}

bool HasRoom(const char* folder)
{
    return std::strlen(folder) + kOwnNameLength < MAX_PATH;
}

}  // namespace

bool FindRoomForOwnFile(const char* folder, size_t floorLength, char (&room)[MAX_PATH])
{
    const size_t length = std::strlen(folder);
    if (length >= MAX_PATH) return false;
    std::memcpy(room, folder, length + 1);
    while (!HasRoom(room)) {
        if (!CutToParent(room) || std::strlen(room) < floorLength) return false;
    }
    return true;
}

// The next own name with `extension` in `folder`; false when it does not fit.
bool NextOwnName(const char* folder, const char* extension, char (&path)[MAX_PATH])
{
    const size_t length = std::strlen(folder);
    if (length + kOwnNameLength >= MAX_PATH) return false;
    char tag[kOwnTagLength + 1];
    MakeOwnTag(tag);
    char* name = path + length;
    std::memcpy(path, folder, length);
    std::memcpy(name, kOwnMark, kOwnMarkLength);
    std::memcpy(name + kOwnMarkLength, tag, kOwnTagLength);
    std::memcpy(name + kOwnMarkLength + kOwnTagLength, extension, kOwnExtensionLength + 1);
    return true;
}

HANDLE CreateOwnTemporary(const char* folder, DWORD attributes, char (&path)[MAX_PATH])
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        if (!NextOwnName(folder, kTemporaryExtension, path)) break;
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    path[0] = '\0';
    return INVALID_HANDLE_VALUE;
}

bool ChooseFreeOwnName(const char* folder, const char* extension, char (&path)[MAX_PATH])
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        if (!NextOwnName(folder, extension, path)) break;
        // Only a name the system says is not there is free: one it cannot
        // tell about might be an earlier run's file still in use. (In a
        // folder that is gone, any name is free.)
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
            (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND))
            return true;
    }
    path[0] = '\0';
    return false;
}

void RemoveOwnFile(const char* path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}

size_t FloorLengthOf(const char* path, const char* base)
{
    if (base) return std::strlen(base);
    if (path[0] != '\0' && path[1] == ':') return IsSeparator(path[2]) ? 3 : 2;
    return IsSeparator(path[0]) ? 1 : 0;
}
