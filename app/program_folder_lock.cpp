#include "program_folder_lock.h"

#include <cstdio>

#include "../archive/file_identity.h"

namespace {

// Global: one lock for every session of the machine.
bool MutexName(const char* folder, char (&name)[64])
{
    const FileIdentity identity = IdentifyFile(folder);
    if (!identity.known) return false;
    std::snprintf(name, sizeof name, "Global\\TavixUpdater-%08lX-%08lX%08lX",
                  static_cast<unsigned long>(identity.volume),
                  static_cast<unsigned long>(identity.indexHigh),
                  static_cast<unsigned long>(identity.indexLow));
    return true;
}

}  // namespace

ProgramFolderLock LockProgramFolder(const char* folder)
{
    char name[64];
    if (!MutexName(folder, name)) return ProgramFolderLock{nullptr, false};
    ProgramFolderLock lock{CreateMutexA(nullptr, FALSE, name), false};
    const DWORD error = GetLastError();
    lock.heldElsewhere = lock.mutex ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
    return lock;
}

bool HoldsProgramFolder(const ProgramFolderLock& lock)
{
    return lock.mutex != nullptr && !lock.heldElsewhere;
}

void UnlockProgramFolder(ProgramFolderLock* lock)
{
    if (lock->mutex) CloseHandle(lock->mutex);
    lock->mutex = nullptr;
}
