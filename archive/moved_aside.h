// Old files moved aside: a target in use that can be renamed but not
// replaced (a running program, the updater itself) goes aside within its
// folder as "NAME.~tvxPPPPSSSS.old", so that the new file can take its name.
// Such a file is deleted as soon as it can be: at the end of the run if it is
// free by then, otherwise by a later run in each folder it writes to. Only
// names of exactly that form, whose NAME is back in place, are ever deleted.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"

constexpr uint32_t kMaxMovedAside = 16;

// The files one run moved aside (zeroed: none). Beyond kMaxMovedAside they
// are left to a later run.
struct MovedAside {
    char paths[kMaxMovedAside][MAX_PATH];
    uint32_t count;
};

// Renames `targetPath` to an own name beside it, giving that in `asidePath`.
// False when it cannot be renamed, or the longer name would not fit.
bool MoveAside(const char* targetPath, char (&asidePath)[MAX_PATH]);

// Notes a file moved aside for DeleteMovedAside.
void RememberMovedAside(MovedAside* movedAside, const char* asidePath);

// Deletes what this run moved aside; what is still in use stays.
void DeleteMovedAside(MovedAside* movedAside);

// Deletes what earlier runs moved aside in `folder` (empty or ending in a
// separator) and could not delete then.
void DeleteLeftoversIn(const char* folder);
