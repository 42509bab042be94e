#include "path_text.h"

#include <cstdio>
#include <cstring>

#include "winapi.h"

namespace {

// The character after the one at `p`: a lead byte of the current multibyte
// code page takes the byte after it along, whatever that is (a 0x5C trail
// byte is part of the character, not a separator).
const char* NextCharacter(const char* p)
{
    // No code page has a lead byte below 0x80: ASCII needs no asking.
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0x80 && _ismbblead(c) && p[1] != '\0') return p + 2;
    return p + 1;
}

}  // namespace

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

bool IsAbsoluteName(const char* name)
{
    return IsSeparator(name[0]) || (name[0] != '\0' && name[1] == ':');
}

const char* FindLastSeparator(const char* name)
{
    const char* last = nullptr;
    for (const char* p = name; *p; p = NextCharacter(p)) {
        if (IsSeparator(*p)) last = p;
    }
    return last;
}

const char* FindFilePart(const char* name)
{
    const char* last = FindLastSeparator(name);
    return last ? last + 1 : name;
}

bool EndsWithSeparator(const char* name)
{
    const char* last = FindLastSeparator(name);
    return last && last[1] == '\0';
}

const char* FindComponentEnd(const char* start)
{
    const char* p = start;
    while (*p && !IsSeparator(*p)) p = NextCharacter(p);
    return p;
}

bool HasParentComponent(const char* name)
{
    for (const char* start = name;; ++start) {
        const char* end = FindComponentEnd(start);
        if (end - start == 2 && start[0] == '.' && start[1] == '.') return true;
        if (*end == '\0') return false;
        start = end;
    }
}

bool EndsInLoneLeadByte(const char* name)
{
    // An ASCII last byte is a character or a trail byte, never a lead byte.
    const size_t length = std::strlen(name);
    if (length == 0 || static_cast<unsigned char>(name[length - 1]) < 0x80) return false;
    for (const char* p = name; *p; p = NextCharacter(p)) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (p[1] == '\0' && c >= 0x80 && _ismbblead(c)) return true;
    }
    return false;
}

bool IsSameNameIgnoringCase(const char* first, const char* second)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (; *first && *second; ++first, ++second) {
        if (lower(*first) != lower(*second)) return false;
    }
    return *first == *second;
}

bool ConcatenatePath(char (&path)[MAX_PATH], const char* first, const char* second)
{
    const int length = std::snprintf(path, MAX_PATH, "%s%s", first ? first : "", second);
    return length >= 0 && length < MAX_PATH;
}
