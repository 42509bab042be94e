#include "program_folder_lock.h"

#include <cstdio>

#include "../archive/own_names.h"

ProgramFolderLock LockProgramFolder(const char* folder)
{
    ProgramFolderLock lock{INVALID_HANDLE_VALUE, false};
    char path[MAX_PATH];
    const int length = std::snprintf(path, MAX_PATH, "%s/%s", folder, kLockFileName);
    if (length < 0 || length >= MAX_PATH) return lock;
    lock.file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (lock.file == INVALID_HANDLE_VALUE) {
        // Open elsewhere without sharing, or deleted there on close and not
        // gone yet: held.
        const DWORD error = GetLastError();
        lock.heldElsewhere = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
    }
    return lock;
}

bool HoldsProgramFolder(const ProgramFolderLock& lock)
{
    return lock.file != INVALID_HANDLE_VALUE;
}

void UnlockProgramFolder(ProgramFolderLock* lock)
{
    if (lock->file != INVALID_HANDLE_VALUE) CloseHandle(lock->file);
    lock->file = INVALID_HANDLE_VALUE;
}
