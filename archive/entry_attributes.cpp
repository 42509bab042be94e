#include "entry_attributes.h"

#include "../platform/winapi.h"

namespace {

// Hosts whose low attribute byte is the MS-DOS attribute byte.
bool HasDosAttributes(uint32_t host)
{
    return host == 0 || host == 7 || host == 11 || host == 14;
}

}  // namespace

uint32_t MapEntryAttributes(uint32_t versionMadeBy, uint32_t externalAttributes)
{
    const uint32_t host = (versionMadeBy >> 8) & 0xFF;
    auto bit = [externalAttributes](int n) { return ((externalAttributes >> n) & 1) != 0; };
    uint32_t attributes = 0;
    if (HasDosAttributes(host)) {
        if (bit(4)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
        if (bit(5)) attributes |= FILE_ATTRIBUTE_ARCHIVE;
        if (bit(1)) attributes |= FILE_ATTRIBUTE_HIDDEN;
        if (bit(0)) attributes |= FILE_ATTRIBUTE_READONLY;
        if (bit(2)) attributes |= FILE_ATTRIBUTE_SYSTEM;
    } else {
        // A Unix mode in the high half: bit 30 is the directory type bit,
        // bit 23 the owner's write permission.
        if (bit(30)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
        if (!bit(23)) attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes;
}
