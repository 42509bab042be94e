// What earlier runs left of the updater's own: old files kept by a run and
// still in use when it committed (a running program), temporaries of runs
// that ended before their undo record existed, and old files older versions
// of the updater kept beside their names. Once a run has played back any
// record left behind, every such file is garbage, and a folder is swept of
// it the first time the run places anything there.
//
// A folder is swept once by its identity, not by its spelling ("docs/",
// "DOCS/" and "docs/./" are one folder), and before the run places anything
// in it, so that nothing this run made is ever taken for a leftover. When a
// folder's identity cannot be read, no folder is swept any more: sweeping
// is only tidying, and one folder swept twice could cost an old file the
// run keeps.
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
