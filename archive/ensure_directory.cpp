#include "ensure_directory.h"

#include <cstring>

#include "../platform/path_text.h"
#include "../platform/winapi.h"

namespace {

// Copies at most `limit` bytes of `source` behind what `buffer` holds,
// keeping the buffer zero-terminated within MAX_PATH.
void AppendBounded(char (&buffer)[MAX_PATH], const char* source, size_t limit)
{
    const size_t used = std::strlen(buffer);
    if (used >= limit) return;
    std::strncat(buffer, source, limit - used);
}

// Only a directory the system says is not there is made, and recorded first
// as one about to be made: one it cannot tell about may be the user's. Only
// once the system made it is it recorded as the run's, with all it will hold.
bool CreateDirectoryIfMissing(UpdateJournal* journal, const char* path)
{
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
    if (!RecordFolderMaking(journal, path)) return false;
    return !CreateDirectoryA(path, nullptr) || RecordFolderMade(journal, path);
}

bool EnsureBase(UpdateJournal* journal, const char* base)
{
    char copy[MAX_PATH] = "";
    AppendBounded(copy, base, MAX_PATH - 1);
    const size_t length = std::strlen(copy);
    if (EndsWithSeparator(copy)) copy[length - 1] = '\0';
    return CreateDirectoryIfMissing(journal, copy);
}

// Each missing directory of `path` below `base`, parents first.
bool EnsureChain(UpdateJournal* journal, const char* base, const char* path)
{
    if (path[0] == '\0') return true;
    const char* lastSeparator = FindLastSeparator(path);
    if (lastSeparator && lastSeparator != path) {
        char parent[MAX_PATH] = "";
        const size_t parentLength = size_t(lastSeparator - path);
        std::strncat(parent, path, parentLength < MAX_PATH - 1 ? parentLength : MAX_PATH - 1);
        if (!EnsureChain(journal, base, parent)) return false;
    }
    char full[MAX_PATH];
    return ConcatenatePath(full, base, path) && CreateDirectoryIfMissing(journal, full);
}

}  // namespace

bool EnsureDirectory(UpdateJournal* journal, const char* base, const char* path)
{
    return (!base || EnsureBase(journal, base)) && EnsureChain(journal, base, path);
}
