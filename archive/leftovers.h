// What earlier versions of the updater left of their own in the install's
// folders: old files kept by a run and still in use when it committed (a
// running program), temporaries, and old files kept beside their names.
// This version keeps nothing of its own there (its areas hold its files),
// so every such file is garbage, and a folder of the install is swept of it
// the first time the run places anything there.
//
// A folder is swept once by its identity, not by its spelling ("docs/",
// "DOCS/" and "docs/./" are one folder). When a folder's identity cannot be
// read, no folder is swept any more: sweeping is only tidying.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kSweptFolderSlots = 4096;

// Zeroed: nothing swept yet.
struct LeftoverSweep {
    uint64_t swept[kSweptFolderSlots];  // identities, hashed; 0: a free slot
    size_t count;
    bool stopped;  // no folder is swept any more
};

// Sweeps `folder` (ending in a separator) unless it was swept already.
void SweepFolderOnce(LeftoverSweep* sweep, const char* folder);
