// The one seam between the ZIP reader's statuses and the causes an entry is
// refused for (refusal_cause.h): the same status means a different failure
// depending on what was being done when it arose, and on the entry.
#pragma once

#include <cstdint>

#include "../zip/entry_info.h"
#include "../zip/reader_status.h"
#include "refusal_cause.h"

enum class ReaderStage {
    FindEntry,         // walking to an entry and reading its central header
    CheckLocalHeader,  // the entry's local header against its central one
    ReadNameBlock,     // the entry's Unicode Path block
    ReadLocalExtra,    // the entry's local extra field
    ReadData,          // the entry's data (a status, or zlib's inflate code)
    CloseData,         // the check of the data against its header at the end
};

// CAUSE_NONE for READER_OK; otherwise the cause that a failure at `stage`
// gives the entry of central header `info` (not yet read at FindEntry).
RefusalCause TranslateReaderStatus(ReaderStage stage, int status, const EntryInfo& info);
