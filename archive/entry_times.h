// File times of an entry: the MS-DOS date and time, and the extended
// timestamp ("UT") block of the local extra field.
#pragma once

#include <cstdint>

#include "archive_entry.h"

// The DOS date (high half) and time (low half), taken as local time, in UTC.
// False, with `time` zero, when they are not a valid moment.
bool ConvertDosDateTime(uint32_t dosDateTime, FILETIME* time);

// Replaces the entry's times that the first "UT" block of `extra` carries.
// Only times lying wholly inside the block's own data, and inside the
// field, are taken.
void ApplyExtendedTimestamp(const uint8_t* extra, uint32_t extraSize, ArchiveEntry* entry);
