#include "entry_mode.h"

#include "../platform/execute_permission.h"
#include "result_codes.h"

namespace {

constexpr uint32_t kHostUnix = 3;
constexpr uint32_t kTypeBits = 0170000;
constexpr uint32_t kTypeFile = 0100000;
constexpr uint32_t kExecuteBits = 0111;

}  // namespace

uint32_t FindEntryMode(const EntryInfo& info)
{
    if (((info.versionMadeBy >> 8) & 0xFF) != kHostUnix) return kNoEntryMode;
    const uint32_t mode = info.externalAttributes >> 16;
    // A link's or a device's bits say nothing about the file made from it.
    const uint32_t type = mode & kTypeBits;
    if (type != 0 && type != kTypeFile) return kNoEntryMode;
    return mode & 0777;
}

int32_t ApplyEntryMode(HANDLE file, const EntryInfo& info)
{
    const uint32_t mode = FindEntryMode(info);
    if (mode == kNoEntryMode || !(mode & kExecuteBits)) return RESULT_OK;
    return AllowExecution(file, mode & kExecuteBits) ? RESULT_OK : RESULT_WRITE;
}
