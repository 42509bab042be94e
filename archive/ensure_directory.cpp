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

void CreateDirectoryIfMissing(const char* path)
{
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) CreateDirectoryA(path, nullptr);
}

void EnsureBase(const char* base)
{
    char copy[MAX_PATH] = "";
    AppendBounded(copy, base, MAX_PATH - 1);
    const size_t length = std::strlen(copy);
    if (EndsWithSeparator(copy)) copy[length - 1] = '\0';
    CreateDirectoryIfMissing(copy);
}

}  // namespace

void EnsureDirectory(const char* base, const char* path)
{
    if (base) EnsureBase(base);
    if (path[0] == '\0') return;

    const char* lastSeparator = FindLastSeparator(path);
    if (lastSeparator && lastSeparator != path) {
        char parent[MAX_PATH] = "";
        const size_t parentLength = size_t(lastSeparator - path);
        std::strncat(parent, path, parentLength < MAX_PATH - 1 ? parentLength : MAX_PATH - 1);
        EnsureDirectory(base, parent);
    }

    char full[MAX_PATH] = "";
    if (base) AppendBounded(full, base, MAX_PATH - 1);
    AppendBounded(full, path, MAX_PATH - 1);
    CreateDirectoryIfMissing(full);
}
