// The Unix mode an entry made on Unix carries (host 3, the high half of its
// external attributes), of which the new file takes the execute bits, so that
// a program an update adds can run on Linux. Other hosts give no mode.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"
#include "../zip/entry_info.h"

constexpr uint32_t kNoEntryMode = 0xFFFFFFFF;

// The permission bits (0777) of an entry made on Unix whose mode is a file's
// or names no type; kNoEntryMode for any other entry.
uint32_t FindEntryMode(const EntryInfo& info);

// Gives `file`, just made for the entry `info` describes, the execute bits of
// the entry's mode; nothing else, and nothing on Windows. Bits are only ever
// added: a file that replaces another also keeps the execute bits of the one
// it replaces, so that an update packed without modes never stops a program
// from running. RESULT_OK, or RESULT_WRITE when the mode cannot be set.
int32_t ApplyEntryMode(HANDLE file, const EntryInfo& info);
