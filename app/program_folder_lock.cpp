#include "program_folder_lock.h"

#include <cstdint>
#include <cstdio>

namespace {

// The mutex's name: the folder's path with ASCII letters folded, as Windows
// compares paths, hashed (FNV-1a) to fit a name, which may hold no '\'
// beyond its namespace. Global: one lock for every session of the machine.
void MutexName(const char* folder, char (&name)[64])
{
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(folder); *p; ++p) {
        unsigned char c = *p == '/' ? '\\' : *p;
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        hash = (hash ^ c) * 1099511628211ull;
    }
    std::snprintf(name, sizeof name, "Global\\TavixUpdater-%016llX",
                  static_cast<unsigned long long>(hash));
}

}  // namespace

ProgramFolderLock LockProgramFolder(const char* folder)
{
    char name[64];
    MutexName(folder, name);
    ProgramFolderLock lock{CreateMutexA(nullptr, FALSE, name), false};
    lock.heldElsewhere = lock.mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    return lock;
}

void UnlockProgramFolder(ProgramFolderLock* lock)
{
    if (lock->mutex) CloseHandle(lock->mutex);
    lock->mutex = nullptr;
}
