// Info-ZIP's Unicode Path block (tag 0x7075) of a central header's extra
// field: the UTF-8 form of a name that the header stores in some other
// encoding. The only block of the central extra field that is read.
#pragma once

#include <cstdint>

#include "directory_reader.h"

// Looks for the block in the extra field of the current entry, whose header
// fields are `info` and whose stored name is `storedName` (all `nameSize`
// bytes). READER_OK with `*length` 0 when there is no block that belongs to
// this name: none, a version other than 1, or a CRC-32 that is not the
// stored name's (the name was changed after the block was written). Else
// `*length` is the UTF-8 name's length, and its bytes are in `buffer` when
// that length is below `bufferSize` (a longer one is left unread).
ReaderStatus ReadUnicodePath(DirectoryReader* reader, const EntryInfo& info, const char* storedName,
                             char* buffer, uint32_t bufferSize, uint32_t* length);
