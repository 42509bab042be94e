#include "leftovers.h"

#include <cstdio>
#include <cstring>

#include "../platform/path_text.h"
#include "../platform/winapi.h"
#include "file_identity.h"
#include "own_names.h"

namespace {

uint64_t HashOf(const FileIdentity& identity)
{
    const uint32_t parts[] = {identity.volume, identity.indexHigh, identity.indexLow};
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (uint32_t part : parts) {
        for (int shift = 0; shift < 32; shift += 8) {
            hash = (hash ^ ((part >> shift) & 0xFF)) * 1099511628211ull;
        }
    }
    return hash == 0 ? 1 : hash;  // 0 marks a free slot
}

// Notes the folder as swept; false when it was already (or might have been:
// two identities of one hash count as one, which costs a sweep, never a
// file), or when the table has no room left and sweeping stops.
bool RememberSwept(LeftoverSweep* sweep, uint64_t hash)
{
    size_t slot = size_t(hash % kSweptFolderSlots);
    while (sweep->swept[slot] != 0) {
        if (sweep->swept[slot] == hash) return false;
        slot = (slot + 1) % kSweptFolderSlots;
    }
    if (sweep->count + 1 > kSweptFolderSlots / 4 * 3) {
        sweep->stopped = true;
        return false;
    }
    sweep->swept[slot] = hash;
    ++sweep->count;
    return true;
}

// NAME.~tvxPPPPSSSS.old of older versions goes only where NAME stands again:
// if it does not, this is the one copy of that file.
bool IsKeptBesideGarbage(const char* folder, const char* fileName)
{
    const size_t nameLength = KeptBesideNameLength(fileName);
    char original[MAX_PATH];
    const int length =
        std::snprintf(original, MAX_PATH, "%s%.*s", folder, int(nameLength), fileName);
    return length > 0 && length < MAX_PATH &&
           GetFileAttributesA(original) != INVALID_FILE_ATTRIBUTES;
}

void DeleteLeftover(const char* folder, const char* fileName)
{
    // A name that does not fit behind the folder is not swept: cut to fit,
    // it would name another file.
    char path[MAX_PATH];
    if (!ConcatenatePath(path, folder, fileName)) return;
    switch (ClassifyOwnName(fileName, std::strlen(fileName))) {
        case OwnName::Temporary:
            // Made with its entry's attributes, so possibly read-only; never
            // a second name of another file.
            SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path);
            return;
        case OwnName::Kept:
            break;
        case OwnName::KeptBeside:
            if (!IsKeptBesideGarbage(folder, fileName)) return;
            break;
        case OwnName::None:
            return;
    }
    DeleteFileA(path);
}

void DeleteLeftoversIn(const char* folder)
{
    char pattern[MAX_PATH];
    const int length = std::snprintf(pattern, MAX_PATH, "%s*%s*", folder, kOwnMark);
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

}  // namespace

void SweepFolderOnce(LeftoverSweep* sweep, const char* folder)
{
    if (sweep->stopped) return;
    // The folder itself, not its contents: without its last separator but
    // for a root ("C:\", "/").
    char self[MAX_PATH];
    std::snprintf(self, MAX_PATH, "%s", folder);
    const size_t length = std::strlen(self);
    const bool root = length == 1 || (length == 3 && self[1] == ':');
    if (length > 0 && !root && IsSeparator(self[length - 1])) self[length - 1] = '\0';
    const FileIdentity identity = IdentifyFile(self);
    if (!identity.known) {
        sweep->stopped = true;
        return;
    }
    if (RememberSwept(sweep, HashOf(identity))) DeleteLeftoversIn(folder);
}
