// Why an entry is refused, one code a reason, made where the refusal is
// decided (describing the entry, placing its target, writing its data) and
// turned into the handle-level result in one place, ResultOfCause. The
// reader keeps the cause of its last entry operation, so that a caller
// that reports refusals (the checker) words the updater's own reason
// instead of finding it again.
#pragma once

#include <cstdint>

enum RefusalCause : int32_t {
    CAUSE_NONE = 0,
    CAUSE_NOT_OPEN,                // no archive open, or its update no longer staging
    CAUSE_NO_SUCH_ENTRY,           // an index outside the directory, or no target name
    CAUSE_UNREACHABLE,             // its central header, or one before it, is damaged
    CAUSE_UNKNOWN_METHOD,          // neither stored nor deflated
    CAUSE_HEADERS_DISAGREE,        // local header against central
    CAUSE_NAME_BLOCK_DAMAGED,      // its Unicode Path block cannot be read
    CAUSE_NAME_HAS_ZERO,           // a zero byte inside its stored name
    CAUSE_INVALID_UTF8,            // a name given as UTF-8 that is none
    CAUSE_CUT_CHARACTER,           // a stored name ending in a lone lead byte
    CAUSE_INVALID_LEGACY_NAME,     // without the UTF-8 flag, not valid in the locale's code page
    CAUSE_LOCAL_EXTRA_UNREADABLE,  // its local extra field
    CAUSE_NAME_TOO_LONG,           // 260 bytes or more: stored, as UTF-8, or in the code page
    CAUSE_UNMAPPABLE,              // a character the process code page has no code for
    CAUSE_WRONG_PASSWORD,          // encrypted: the check byte refuses the (absent) password
    CAUSE_ENCRYPTED_UNREADABLE,    // encrypted: past the check byte, its data reads as damaged
    CAUSE_ENCRYPTED_CRC_MISMATCH,  // encrypted: past the check byte, its CRC-32 fails
    CAUSE_CRC_MISMATCH,            // its data, or its deflate stream's end, against its CRC-32
    CAUSE_DATA_ENDS_SHORT,         // stored data that ends before its size
    CAUSE_DEFLATE_DAMAGED,         // deflated data that does not inflate
    CAUSE_TRAILING_DOT_OR_SPACE,   // a component Windows trims
    CAUSE_DEVICE_NAME,             // a component that is a Windows device
    CAUSE_STREAM_NAME,             // ':', a stream of another file
    CAUSE_OWN_NAME,                // a component that could reach one of the updater's own names
    CAUSE_OUTSIDE_FOLDER,          // an absolute name
    CAUSE_PARENT_COMPONENT,        // a '..' component, which could leave the program folder
    CAUSE_WRITTEN_BEFORE,          // an earlier entry of the run wrote the file
    CAUSE_PATH_TOO_LONG,           // base and name do not fit in MAX_PATH
    CAUSE_FOLDER_TARGET,           // a folder stands where the file goes
    CAUSE_TARGET_UNKNOWN,          // the system cannot tell whether the file is there
    CAUSE_READ_ONLY_TARGET,        // the installed file is read-only and holds other bytes
    CAUSE_IS_THE_ARCHIVE,          // the target is the archive being read
    CAUSE_FILE_FOR_FOLDER,         // a file stands where a folder of its path goes
    CAUSE_FOLDER_NOT_MADE,         // a folder of its path cannot be made or staged
    CAUSE_CANNOT_CREATE,           // its staged file cannot be made
    CAUSE_CANNOT_WRITE,            // its data, times or mode cannot be written, or noted
    // New causes go above: the last one closes the list.
};

// The handle-level result (result_codes.h) an entry operation refused for
// `cause` gives; RESULT_OK for CAUSE_NONE.
int32_t ResultOfCause(RefusalCause cause);
