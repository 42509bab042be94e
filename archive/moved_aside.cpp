#include "moved_aside.h"

#include <cstdio>
#include <cstring>

#include "own_names.h"

namespace {

constexpr char kAsideExtension[] = ".old";
// ".~tvxPPPPSSSS.old" behind the old name.
constexpr size_t kAsideSuffixLength = 1 + sizeof kOwnMark - 1 + kOwnTagLength + 4;

// The length of NAME when `fileName` is "NAME.~tvxPPPPSSSS.old", else 0.
size_t OriginalNameLength(const char* fileName)
{
    const size_t length = std::strlen(fileName);
    if (length <= kAsideSuffixLength) return 0;
    const char* suffix = fileName + length - kAsideSuffixLength;
    if (suffix[0] != '.' || std::strncmp(suffix + 1, kOwnMark, sizeof kOwnMark - 1) != 0) return 0;
    const char* tag = suffix + sizeof kOwnMark;
    if (!IsOwnTag(tag) || std::strcmp(tag + kOwnTagLength, kAsideExtension) != 0) return 0;
    return length - kAsideSuffixLength;
}

// A leftover goes only once a file of its old name stands in its place: if
// that name is empty, this is the one copy of the old file.
void DeleteLeftover(const char* folder, const char* fileName)
{
    const size_t nameLength = OriginalNameLength(fileName);
    if (nameLength == 0) return;
    char original[MAX_PATH];
    char leftover[MAX_PATH];
    const int length =
        std::snprintf(original, MAX_PATH, "%s%.*s", folder, int(nameLength), fileName);
    if (length < 0 || length >= MAX_PATH) return;
    if (GetFileAttributesA(original) == INVALID_FILE_ATTRIBUTES) return;
    std::snprintf(leftover, MAX_PATH, "%s%s", folder, fileName);
    DeleteFileA(leftover);
}

}  // namespace

bool MoveAside(const char* targetPath, char (&asidePath)[MAX_PATH])
{
    char tag[kOwnTagLength + 1];
    MakeOwnTag(tag);
    const int length =
        std::snprintf(asidePath, MAX_PATH, "%s.%s%s%s", targetPath, kOwnMark, tag, kAsideExtension);
    if (length < 0 || length >= MAX_PATH) return false;
    return MoveFileExA(targetPath, asidePath, 0) != FALSE;
}

void RememberMovedAside(MovedAside* movedAside, const char* asidePath)
{
    if (movedAside->count == kMaxMovedAside) return;
    std::memcpy(movedAside->paths[movedAside->count++], asidePath, std::strlen(asidePath) + 1);
}

void DeleteMovedAside(MovedAside* movedAside)
{
    for (uint32_t i = 0; i < movedAside->count; ++i) DeleteFileA(movedAside->paths[i]);
    movedAside->count = 0;
}

void DeleteLeftoversIn(const char* folder)
{
    char pattern[MAX_PATH];
    const int length =
        std::snprintf(pattern, MAX_PATH, "%s*.%s*%s", folder, kOwnMark, kAsideExtension);
    if (length < 0 || length >= MAX_PATH) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteLeftover(folder, found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
