// One updater at a time in a program folder: a second one started on the
// same folder while the first runs (a double start, a sandbox with its own
// network) must touch nothing, and above all must not take the first one's
// swap record for an interrupted run's. The lock is a file of the folder
// itself, "~tvx.lock", opened with no sharing and deleted when closed: it is
// the folder's whoever spells it or wherever the second updater runs, only
// someone who may write the folder can take it, and the system lets go of
// it when the process ends, however it ends.
#pragma once

#include "../platform/winapi.h"

struct ProgramFolderLock {
    HANDLE file;         // owned; INVALID_HANDLE_VALUE when not held
    bool heldElsewhere;  // another updater works on the folder now
};

// Takes the lock of `folder` (without a separator at its end). Where the
// lock file cannot be made at all, the lock is neither taken nor held
// elsewhere: a run that cannot make sure it is alone changes nothing.
ProgramFolderLock LockProgramFolder(const char* folder);

// Whether this run holds the lock, and alone may change the folder.
bool HoldsProgramFolder(const ProgramFolderLock& lock);

void UnlockProgramFolder(ProgramFolderLock* lock);
