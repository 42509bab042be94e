// One updater at a time in a program folder: a second one started on the
// same folder while the first runs (a double start) must touch nothing.
// The lock is a named mutex, which the system lets go of when the process
// ends, however it ends: no lock file is ever left behind.
#pragma once

#include "../platform/winapi.h"

struct ProgramFolderLock {
    HANDLE mutex;        // owned; null when none could be made
    bool heldElsewhere;  // another updater works on the folder now
};

// Takes the lock of `folder`. When the system cannot make the mutex at all,
// the run goes on unguarded rather than fail an update for it.
ProgramFolderLock LockProgramFolder(const char* folder);

void UnlockProgramFolder(ProgramFolderLock* lock);
