// The handle-level interface the update run works through. Every operation
// records its result in g_lastReadResult (or g_lastWriteResult) and also
// gives it back.
#pragma once

#include <cstdint>

#include "archive_entry.h"
#include "archive_reader.h"
#include "result_codes.h"

constexpr uint32_t kReadingHandle = 1;
constexpr uint32_t kWritingHandle = 2;

struct ArchiveHandle {
    uint32_t kind;          // 1: reading handle, the only kind made here
    ArchiveReader* reader;  // owned, never null
};

ArchiveHandle* OpenArchive(const char* fileName);

// index -1 asks for the number of entries, given in entry->index.
int32_t GetArchiveEntry(ArchiveHandle* handle, int32_t index, ArchiveEntry* entry);

int32_t ExtractArchiveEntry(ArchiveHandle* handle, int32_t index, const char* targetName);

int32_t CloseArchive(ArchiveHandle* handle);

// Why the last GetArchiveEntry or ExtractArchiveEntry on `handle` that
// reached its reader refused (refusal_cause.h); CAUSE_NONE when it did not,
// or for no handle. Its result is ResultOfCause of it.
RefusalCause FindRefusalCause(const ArchiveHandle* handle);
