#include "own_names.h"

#include <cstdio>

#include "../platform/winapi.h"

namespace {

// Names of earlier files of this process are never reused.
uint32_t g_serial = 0;

bool IsUpperHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

}  // namespace

uint32_t NextOwnSerial()
{
    return ++g_serial;
}

void MakeOwnTag(char (&tag)[kOwnTagLength + 1])
{
    // Asked once: the process stays the same for every file it names.
    static const uint32_t process = GetCurrentProcessId();
    std::snprintf(tag, sizeof tag, "%04X%04X", unsigned(process & 0xFFFF),
                  unsigned(NextOwnSerial() & 0xFFFF));
}

bool IsOwnTag(const char* text, int length)
{
    for (int i = 0; i < length; ++i) {
        if (!IsUpperHexDigit(text[i])) return false;
    }
    return true;
}
