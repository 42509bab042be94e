#include "status_translation.h"

RefusalCause TranslateReaderStatus(ReaderStage stage, int status, const EntryInfo& info)
{
    if (status == READER_OK) return CAUSE_NONE;
    const bool encrypted = (info.flags & kFlagEncrypted) != 0;
    switch (stage) {
        case ReaderStage::FindEntry:
            return CAUSE_UNREACHABLE;
        case ReaderStage::CheckLocalHeader:
            // The local check refuses any method but the two it can read.
            return info.method != kMethodStored && info.method != kMethodDeflated
                       ? CAUSE_UNKNOWN_METHOD
                       : CAUSE_HEADERS_DISAGREE;
        case ReaderStage::ReadNameBlock:
            return CAUSE_NAME_BLOCK_DAMAGED;
        case ReaderStage::ReadLocalExtra:
            return CAUSE_LOCAL_EXTRA_UNREADABLE;
        case ReaderStage::ReadData:
            if (status == READER_PASSWORD) return CAUSE_WRONG_PASSWORD;
            if (encrypted) return CAUSE_ENCRYPTED_UNREADABLE;
            return info.method == kMethodStored ? CAUSE_DATA_ENDS_SHORT : CAUSE_DEFLATE_DAMAGED;
        case ReaderStage::CloseData:
            return encrypted ? CAUSE_ENCRYPTED_CRC_MISMATCH : CAUSE_CRC_MISMATCH;
    }
    return CAUSE_UNREACHABLE;
}
