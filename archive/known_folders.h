// Folders a reader has made files in, so known to exist: the chain of such a
// folder need not be checked again for the next file in it, wherever in the
// archive that file comes.
#pragma once

#include <cstddef>

#include "../platform/winapi.h"

constexpr size_t kKnownFolderSlots = 128;

// A fixed table, one folder per slot chosen by a hash of its path; a folder
// that lands on a taken slot replaces the one there. Empty when zeroed.
struct KnownFolders {
    char paths[kKnownFolderSlots][MAX_PATH];
};

bool IsKnownFolder(const KnownFolders& folders, const char* path);

// Paths that do not fit a slot are not remembered.
void RememberFolder(KnownFolders& folders, const char* path);

// Forgets `path`, when it is remembered.
void ForgetFolder(KnownFolders& folders, const char* path);
