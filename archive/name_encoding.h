// Entry names stored as UTF-8 (flagged by bit 11, or given by a Unicode Path
// block), turned into the system's ANSI code page, in which every other name
// and every path of the updater is written.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"

// Converts the `length` bytes of `utf8` into `name`, zero-terminated. A name
// that is not valid UTF-8 (or holds a zero byte) gives RESULT_CORRUPT; one
// with a character the code page has no code for, or that does not fit the
// field in the code page, gives RESULT_NO_FILE: no file can be made under it
// here, and a look-alike or a shortened name could be another file's.
int32_t ConvertUtf8Name(const char* utf8, uint32_t length, char (&name)[MAX_PATH]);
