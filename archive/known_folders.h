// A set of folders, by their spelling: those of the install known to be
// there or missing, those mirrored in the staging area, those swept, so that
// the next file in one need not ask again, wherever in the archive it comes.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kKnownFolderSlots = 1024;

// The folders' paths are kept as 64-bit hashes in an open-addressed table; a
// table three quarters full starts again empty, and two paths of one hash
// count as one (2^-64 a pair).
// Empty when zeroed.
struct KnownFolders {
    uint64_t hashes[kKnownFolderSlots];  // 0: a free slot
    size_t count;
};

bool IsKnownFolder(const KnownFolders& folders, const char* path);

void RememberFolder(KnownFolders& folders, const char* path);

// Empties the set.
void ForgetAllFolders(KnownFolders& folders);
