// Entry names in the process code page, in which every path of the updater
// is written: UTF-8 when the manifest's setting is honoured (Windows 10
// version 1903 and later, and Linux outside a GBK locale), else the system's
// ANSI code page. Names stored as UTF-8 (flagged by bit 11, or given by a
// Unicode Path block) and names stored in the system's legacy code page
// (without the flag, as a zip tool there writes them) are both converted.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"
#include "refusal_cause.h"

// Converts the `length` bytes of `utf8` into `name`, zero-terminated. A name
// that is not valid UTF-8 or holds a zero byte is damaged; one with a
// character the code page has no code for (CAUSE_UNMAPPABLE), or that does
// not fit the field in the code page, is refused too: no file can be made
// under it here, and a look-alike or a shortened name could be another
// file's.
RefusalCause ConvertUtf8Name(const char* utf8, uint32_t length, char (&name)[MAX_PATH]);

// The same for a name stored without the UTF-8 flag, in the code page of
// the system's locale (936 on a Chinese Windows, whatever the process code
// page): the bytes as stored where that is the process code page too, else
// converted. Text that is not valid in that code page gives
// CAUSE_INVALID_LEGACY_NAME.
RefusalCause ConvertLegacyName(const char* stored, uint32_t length, char (&name)[MAX_PATH]);

// The same as read on a system whose locale's code page is `legacy`: what
// such a name becomes for users of another language.
RefusalCause ConvertLegacyNameFrom(UINT legacy, const char* stored, uint32_t length,
                                   char (&name)[MAX_PATH]);

// Whether the `length` bytes of `text` are ASCII, the same in every code page.
bool IsAscii(const char* text, uint32_t length);

// The code page of the system's locale, in which names without the UTF-8
// flag are read; 0 when it cannot be told.
UINT GetLegacyCodePage();
