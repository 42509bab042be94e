#include "refusal_cause.h"

#include "result_codes.h"

int32_t ResultOfCause(RefusalCause cause)
{
    switch (cause) {
        case CAUSE_NONE:
            return RESULT_OK;
        case CAUSE_NOT_OPEN:
            return RESULT_BAD_STATE;
        case CAUSE_NO_SUCH_ENTRY:
        case CAUSE_PARENT_COMPONENT:
            return RESULT_ARGS;
        case CAUSE_UNREACHABLE:
        case CAUSE_UNKNOWN_METHOD:
        case CAUSE_HEADERS_DISAGREE:
        case CAUSE_NAME_BLOCK_DAMAGED:
        case CAUSE_NAME_HAS_ZERO:
        case CAUSE_INVALID_UTF8:
        case CAUSE_CUT_CHARACTER:
        case CAUSE_INVALID_LEGACY_NAME:
        case CAUSE_ENCRYPTED_CRC_MISMATCH:
        // Data that does not match its CRC, or a deflate stream that ended
        // short, is not the file the archive promised.
        case CAUSE_CRC_MISMATCH:
            return RESULT_CORRUPT;
        case CAUSE_LOCAL_EXTRA_UNREADABLE:
            return RESULT_READ;
        case CAUSE_WRONG_PASSWORD:
            return RESULT_PASSWORD;
        case CAUSE_ENCRYPTED_UNREADABLE:
        case CAUSE_DATA_ENDS_SHORT:
        case CAUSE_DEFLATE_DAMAGED:
            return RESULT_INFLATE;
        case CAUSE_NAME_TOO_LONG:
        case CAUSE_UNMAPPABLE:
        case CAUSE_TRAILING_DOT_OR_SPACE:
        case CAUSE_DEVICE_NAME:
        case CAUSE_STREAM_NAME:
        case CAUSE_OWN_NAME:
        case CAUSE_OUTSIDE_FOLDER:
        case CAUSE_WRITTEN_BEFORE:
        case CAUSE_PATH_TOO_LONG:
        case CAUSE_FOLDER_TARGET:
        case CAUSE_TARGET_UNKNOWN:
        case CAUSE_READ_ONLY_TARGET:
        case CAUSE_IS_THE_ARCHIVE:
        case CAUSE_FILE_FOR_FOLDER:
        case CAUSE_FOLDER_NOT_MADE:
        case CAUSE_CANNOT_CREATE:
            return RESULT_NO_FILE;
        case CAUSE_CANNOT_WRITE:
            return RESULT_WRITE;
    }
    return RESULT_CORRUPT;
}
