#include "temporary_file.h"

#include <cstdio>
#include <cstring>

#include "own_names.h"

namespace {

constexpr int kNameAttempts = 64;
constexpr size_t kFullNameLength = 16;  // "~tvxPPPPSSSS.tmp"

// The next name to try in `folder`: the full one where it fits; else "~"
// and as many hex digits of a serial as the room left allows. False when
// not even "~" fits. `distinct` is how many different names that room holds.
bool NextTemporaryName(const char* folder, char (&path)[MAX_PATH], uint32_t* distinct)
{
    const size_t used = std::strlen(folder);
    if (used + 1 >= MAX_PATH) return false;
    const size_t room = MAX_PATH - 1 - used;
    if (room >= kFullNameLength) {
        char tag[kOwnTagLength + 1];
        MakeOwnTag(tag);
        std::snprintf(path, MAX_PATH, "%s%s%s.tmp", folder, kOwnMark, tag);
        *distinct = UINT32_MAX;
        return true;
    }
    const int digits = int(room) - 1;
    *distinct = digits >= 8 ? UINT32_MAX : 1u << (4 * digits);
    const uint32_t serial = NextOwnSerial();
    std::snprintf(path, MAX_PATH, "%s~%0*X", folder, digits,
                  digits >= 8 ? serial : serial % *distinct);
    if (digits == 0) path[used + 1] = '\0';
    return true;
}

}  // namespace

HANDLE CreateTemporaryFile(const char* folder, uint32_t attributes, char (&path)[MAX_PATH])
{
    uint32_t distinct = 0;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        if (!NextTemporaryName(folder, path, &distinct) || uint32_t(attempt) >= distinct) break;
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    path[0] = '\0';
    return INVALID_HANDLE_VALUE;
}

void RemoveTemporaryFile(const char* path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}
