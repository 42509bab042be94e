// Folders a reader has made, or made files in, so known to exist: the chain
// of such a folder need not be checked again for the next file in it,
// wherever in the archive that file comes.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kKnownFolderSlots = 1024;

// The folders' paths are kept as 64-bit hashes in an open-addressed table; a
// table three quarters full starts again empty. A folder taken for known
// wrongly costs nothing but a failed first try: the extraction makes the
// chain and tries again whenever a file cannot be made in a known folder.
// Empty when zeroed.
struct KnownFolders {
    uint64_t hashes[kKnownFolderSlots];  // 0: a free slot
    size_t count;
};

bool IsKnownFolder(const KnownFolders& folders, const char* path);

void RememberFolder(KnownFolders& folders, const char* path);

// After a known folder turned out to be gone: others may be gone with it.
void ForgetAllFolders(KnownFolders& folders);
