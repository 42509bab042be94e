#include "installed_copy.h"

#include <zlib.h>

#include "../platform/winapi.h"

bool HoldsEntryData(const char* path, uint32_t size, uint32_t crc)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    uint8_t buffer[4096];
    uLong running = crc32(0, nullptr, 0);
    uint64_t total = 0;
    bool readWhole = true;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
            readWhole = false;
            break;
        }
        if (read == 0) break;
        running = crc32(running, buffer, read);
        total += read;
        if (total > size) break;
    }
    CloseHandle(file);
    return readWhole && total == size && uint32_t(running) == crc;
}
