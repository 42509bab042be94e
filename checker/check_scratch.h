// The checker's scratch: a folder of its own under the system's temporary
// folder, where the update is tried, and which goes again with everything the
// try left in it.
#pragma once

#include <cstddef>

#include "../platform/winapi.h"

struct CheckScratch {
    char root[MAX_PATH];  // made under the temporary folder; empty while none is made
    char base[MAX_PATH];  // where the update is tried: root, or a folder below it
    bool lengthMatched;   // base has the length asked for
};

// Makes a new scratch and makes its base the current directory. With
// `baseLength` above 0, the base lies deep enough below the root that the
// current directory has exactly that many bytes, where the temporary folder
// leaves room: the updater's paths, and its refusals of paths too long, are
// then those of a program folder of that length. False when no scratch could
// be made or entered (what was made is still to be removed).
bool MakeCheckScratch(CheckScratch* scratch, size_t baseLength);

// Removes the root with everything below it, read-only files too. The
// current directory must be outside it. False, keeping the root's name, when
// something stayed.
bool RemoveCheckScratch(CheckScratch* scratch);
