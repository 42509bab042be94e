// One updater at a time in a program folder: a second one started on the
// same folder while the first runs (a double start) must touch nothing, and
// above all must not take the first one's undo record for an interrupted
// run's. The lock is a named mutex, which the system lets go of when the
// process ends, however it ends: no lock file is ever left behind.
#pragma once

#include "../platform/winapi.h"

struct ProgramFolderLock {
    HANDLE mutex;        // owned; null when none could be made
    bool heldElsewhere;  // another updater works on the folder now
};

// Takes the lock of `folder`, named after the folder's identity, so that
// every spelling of it (another case, its short name) is one lock. A mutex
// that exists but cannot be opened (another user's, or an elevated
// updater's) is held elsewhere. Where the folder's identity cannot be read
// or no mutex can be made, the lock is neither taken nor held elsewhere: a
// run that cannot make sure it is alone changes nothing.
ProgramFolderLock LockProgramFolder(const char* folder);

// Whether this run holds the lock, and alone may change the folder.
bool HoldsProgramFolder(const ProgramFolderLock& lock);

void UnlockProgramFolder(ProgramFolderLock* lock);
