#include "known_folders.h"

#include <cstring>

namespace {

uint64_t HashOf(const char* path)
{
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p; ++p) {
        hash = (hash ^ *p) * 1099511628211ull;
    }
    return hash == 0 ? 1 : hash;  // 0 marks a free slot
}

// The slot holding `hash`, or the free slot where it would go.
size_t SlotFor(const KnownFolders& folders, uint64_t hash)
{
    size_t slot = size_t(hash % kKnownFolderSlots);
    while (folders.hashes[slot] != 0 && folders.hashes[slot] != hash) {
        slot = (slot + 1) % kKnownFolderSlots;
    }
    return slot;
}

}  // namespace

bool IsKnownFolder(const KnownFolders& folders, const char* path)
{
    const uint64_t hash = HashOf(path);
    return folders.hashes[SlotFor(folders, hash)] == hash;
}

void RememberFolder(KnownFolders& folders, const char* path)
{
    const uint64_t hash = HashOf(path);
    size_t slot = SlotFor(folders, hash);
    if (folders.hashes[slot] == hash) return;
    if (folders.count + 1 > kKnownFolderSlots / 4 * 3) {
        ForgetAllFolders(folders);
        slot = SlotFor(folders, hash);
    }
    folders.hashes[slot] = hash;
    ++folders.count;
}

void ForgetAllFolders(KnownFolders& folders)
{
    std::memset(folders.hashes, 0, sizeof folders.hashes);
    folders.count = 0;
}
