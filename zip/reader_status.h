// Status codes shared by every operation of the ZIP container reader: the
// one way its failures leave zip/. The archive layer turns them into
// handle-level results in one place (archive/status_translation.h).
#pragma once

enum ReaderStatus : int {
    READER_OK = 0,
    READER_ERRNO = -1,             // a read failed or came up short, or the source cannot seek
    READER_END_OF_LIST = -100,     // no next entry
    READER_PARAM_ERROR = -102,     // no reader, no stream open, or no valid current entry
    READER_BAD_ARCHIVE = -103,     // a structure is not what the format requires
    READER_INTERNAL_ERROR = -104,  // no memory for a stream
    READER_CRC_ERROR = -105,       // the data's CRC-32 differs from the header's
    READER_PASSWORD = -106,        // an encrypted entry's check byte does not match
};
