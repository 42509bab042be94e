#include "known_folders.h"

#include <cstdint>
#include <cstring>

namespace {

size_t SlotOf(const char* path)
{
    uint32_t hash = 2166136261u;  // FNV-1a
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p; ++p) {
        hash = (hash ^ *p) * 16777619u;
    }
    return hash % kKnownFolderSlots;
}

}  // namespace

bool IsKnownFolder(const KnownFolders& folders, const char* path)
{
    const char* slot = folders.paths[SlotOf(path)];
    return slot[0] != '\0' && std::strcmp(slot, path) == 0;
}

void RememberFolder(KnownFolders& folders, const char* path)
{
    const size_t length = std::strlen(path);
    if (length == 0 || length >= MAX_PATH) return;
    std::memcpy(folders.paths[SlotOf(path)], path, length + 1);
}

void ForgetFolder(KnownFolders& folders, const char* path)
{
    if (IsKnownFolder(folders, path)) folders.paths[SlotOf(path)][0] = '\0';
}
