// The one seam between the ZIP reader's statuses and the handle-level
// results: the same status means a different failure to the caller
// depending on what was being done when it arose.
#pragma once

#include <cstdint>

#include "../zip/reader_status.h"

enum class ReaderStage {
    FindEntry,       // walking to an entry, reading its central and local headers
    ReadLocalExtra,  // reading the entry's local extra field
    ReadData,        // reading the entry's data (a status, or zlib's inflate code)
    CloseData,       // the check of the data against its header at the end
};

// RESULT_OK for READER_OK; otherwise the result that a failure at `stage` gives.
int32_t TranslateReaderStatus(ReaderStage stage, int status);
