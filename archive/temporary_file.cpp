#include "temporary_file.h"

#include <cstdio>

namespace {

constexpr int kNameAttempts = 64;

// Names of earlier attempts in this process are never reused.
uint32_t g_temporaryCounter = 0;

}  // namespace

HANDLE CreateTemporaryFile(const char* folder, uint32_t attributes, char (&path)[MAX_PATH])
{
    // Asked once: the process stays the same for every file it makes.
    static const uint32_t process = GetCurrentProcessId();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const uint32_t serial = ++g_temporaryCounter;
        const int length = std::snprintf(path, MAX_PATH, "%s~tvx%04X%04X.tmp", folder,
                                         unsigned(process & 0xFFFF), unsigned(serial & 0xFFFF));
        if (length < 0 || length >= MAX_PATH) break;
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    path[0] = '\0';
    return INVALID_HANDLE_VALUE;
}

void RemoveTemporaryFile(const char* path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}
