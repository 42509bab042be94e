#include "entry_times.h"

#include "../zip/byte_source.h"

namespace {

constexpr uint16_t kUnixTimestampTag = 0x5455;  // "UT"
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr int64_t kFileTimeUnitsPerSecond = 10000000LL;

FILETIME UnixSecondsToFileTime(int32_t seconds)
{
    const uint64_t units =
        uint64_t((int64_t(seconds) + kSecondsFrom1601To1970) * kFileTimeUnitsPerSecond);
    return FILETIME{DWORD(units & 0xFFFFFFFF), DWORD(units >> 32)};
}

// Position of the first "UT" block, or `extraSize` when there is none.
uint32_t FindTimestampBlock(const uint8_t* extra, uint32_t extraSize)
{
    uint32_t pos = 0;
    while (uint64_t(pos) + 4 < extraSize) {
        if (DecodeUInt16(extra + pos) == kUnixTimestampTag) return pos;
        pos += 4 + DecodeUInt16(extra + pos + 2);
    }
    return extraSize;
}

}  // namespace

bool ConvertDosDateTime(uint32_t dosDateTime, FILETIME* time)
{
    const uint32_t date = dosDateTime >> 16;
    const uint32_t clock = dosDateTime & 0xFFFF;
    SYSTEMTIME local{};
    local.wYear = WORD((date >> 9) + 1980);
    local.wMonth = WORD((date >> 5) & 0x0F);
    local.wDay = WORD(date & 0x1F);
    local.wHour = WORD(clock >> 11);
    local.wMinute = WORD((clock >> 5) & 0x3F);
    local.wSecond = WORD((clock & 0x1F) * 2);
    local.wMilliseconds = 0;
    FILETIME localTime{};
    if (SystemTimeToFileTime(&local, &localTime) && LocalFileTimeToFileTime(&localTime, time)) {
        return true;
    }
    *time = FILETIME{0, 0};
    return false;
}

void ApplyExtendedTimestamp(const uint8_t* extra, uint32_t extraSize, ArchiveEntry* entry)
{
    const uint32_t block = FindTimestampBlock(extra, extraSize);
    if (block >= extraSize) return;
    // The flags may promise more times than the block holds: what lies
    // beyond its own data belongs to the next block.
    uint64_t blockEnd = uint64_t(block) + 4 + DecodeUInt16(extra + block + 2);
    if (blockEnd > extraSize) blockEnd = extraSize;
    if (uint64_t(block) + 5 > blockEnd) return;
    const uint8_t flags = extra[block + 4];
    FILETIME* const targets[] = {&entry->writeTime, &entry->accessTime, &entry->creationTime};
    uint64_t pos = uint64_t(block) + 5;
    for (int i = 0; i < 3; ++i) {
        if (!(flags & (1u << i))) continue;
        if (pos + 4 > blockEnd) return;
        *targets[i] = UnixSecondsToFileTime(int32_t(DecodeUInt32(extra + pos)));
        pos += 4;
    }
}
