#include "file_comparison.h"

#include <cstdint>
#include <cstring>

#include "../platform/winapi.h"

namespace {

constexpr DWORD kCompareBufferSize = 8192;

HANDLE OpenForReading(const char* path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Both read to their ends in step; false at the first difference, or when
// either cannot be read.
bool HaveSameBytes(HANDLE first, HANDLE second)
{
    uint8_t one[kCompareBufferSize];
    uint8_t other[kCompareBufferSize];
    for (;;) {
        DWORD gotOne = 0;
        DWORD gotOther = 0;
        if (!ReadFile(first, one, kCompareBufferSize, &gotOne, nullptr) ||
            !ReadFile(second, other, kCompareBufferSize, &gotOther, nullptr)) {
            return false;
        }
        if (gotOne != gotOther || std::memcmp(one, other, gotOne) != 0) return false;
        if (gotOne == 0) return true;
    }
}

}  // namespace

FileChange CompareWithOriginal(const char* result, const char* original)
{
    if (!original) return FileChange::New;
    const DWORD attributes = GetFileAttributesA(original);
    if (attributes == INVALID_FILE_ATTRIBUTES) return FileChange::New;
    HANDLE first = OpenForReading(result);
    HANDLE second = OpenForReading(original);
    const bool same = first != INVALID_HANDLE_VALUE && second != INVALID_HANDLE_VALUE &&
                      HaveSameBytes(first, second);
    if (first != INVALID_HANDLE_VALUE) CloseHandle(first);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    return same ? FileChange::Unchanged : FileChange::Replaced;
}
