// An entry's headers as the archive stores them, read by a walk of the
// checker's own over the central directory (the updater's reader is left
// alone): what is shown of an entry the updater could not describe, and
// the facts its warnings are told from.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"
#include "../zip/directory_reader.h"

struct EntryHeaders {
    bool reached;         // its central header was read
    EntryInfo info;       // the central header's fields
    char name[MAX_PATH];  // the stored name, cut to fit, zero-terminated
    bool nameCut;         // the stored name is MAX_PATH bytes or more
    bool unicodePath;     // a Unicode Path block gives the name its UTF-8 form
};

struct HeaderWalk {
    DirectoryReader* directory;  // owned; null when the archive did not open
    int32_t damagedIndex;        // first entry whose central header is damaged; -1: none seen
};

// Opens a walk of its own over the archive; false when it does not open.
bool OpenHeaderWalk(HeaderWalk* walk, const char* archivePath);

// The headers of entry `index`, reached as the updater reaches them.
void ReadEntryHeaders(HeaderWalk* walk, int32_t index, EntryHeaders* headers);

void CloseHeaderWalk(HeaderWalk* walk);
