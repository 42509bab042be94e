// The update run's unpack step: every entry of the archive described and
// written below the current directory, in index order, whatever the others
// gave. UnpackArchive does it all at once; the steps are open for callers
// that look at each entry on the way (tests, the fuzzer).
#pragma once

#include <cstdint>

#include "../archive/archive_handle.h"

struct ArchiveUnpack {
    ArchiveHandle* handle;  // owned; null when the archive did not open
    int32_t entryCount;
    int32_t nextIndex;
    bool complete;       // opened, and every entry so far described and written
    ArchiveEntry entry;  // the entry handled last
    int32_t described;   // GetArchiveEntry's result for it
    int32_t extracted;   // ExtractArchiveEntry's result for it
};

// Opens the archive and takes its entry count (0 when it did not open).
void OpenUnpack(ArchiveUnpack* unpack, const char* archivePath);

// Describes and writes the next entry under its own name; false, doing
// nothing, once every entry has had its turn.
bool UnpackNextEntry(ArchiveUnpack* unpack);

// Closes the archive, which commits the update when every entry went in
// and undoes every change otherwise; true when it opened, every entry went
// in and the update is committed.
bool CloseUnpack(ArchiveUnpack* unpack);

bool UnpackArchive(const char* archivePath);
