// The temporary file an entry is written to before it replaces its target,
// so that a failed entry never leaves a broken file in place of a good one.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"

// Creates a new, uniquely named file for writing in `folder` (a path that is
// empty or ends in a separator) with `attributes`, and gives its path in
// `path`: "~tvxPPPPSSSS.tmp" (see own_names.h), or where the folder leaves
// less room, "~" and hex digits to fill it, so that any target that fits
// gets a temporary that fits. INVALID_HANDLE_VALUE when none can be made,
// or no free name of the room left exists.
HANDLE CreateTemporaryFile(const char* folder, uint32_t attributes, char (&path)[MAX_PATH]);

// Deletes a temporary file, read-only or not.
void RemoveTemporaryFile(const char* path);
