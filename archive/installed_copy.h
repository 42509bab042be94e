// Whether a file already holds what an entry would write: a read-only file
// is never replaced, but one that already holds the entry's bytes is in
// place as it is. So an update stays possible that carries a read-only file
// unchanged, and an archive can be installed again over the version it
// brought (as after a run interrupted between its commit and the deletion of
// its archive).
#pragma once

#include <cstdint>

// True when the file at `path` is `size` bytes long and their CRC-32 is
// `crc`; false when it differs or cannot be read whole.
bool HoldsEntryData(const char* path, uint32_t size, uint32_t crc);
