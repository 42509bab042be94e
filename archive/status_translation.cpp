#include "status_translation.h"

#include "result_codes.h"

int32_t TranslateReaderStatus(ReaderStage stage, int status)
{
    if (status == READER_OK) return RESULT_OK;
    switch (stage) {
        case ReaderStage::FindEntry:
            return RESULT_CORRUPT;
        case ReaderStage::ReadLocalExtra:
            return RESULT_READ;
        case ReaderStage::ReadData:
            return status == READER_PASSWORD ? RESULT_PASSWORD : RESULT_INFLATE;
        case ReaderStage::CloseData:
            // Data that does not match its CRC, or a deflate stream that ended
            // short, is not the file the archive promised: the entry fails.
            return RESULT_CORRUPT;
    }
    return RESULT_CORRUPT;
}
