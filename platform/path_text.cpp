#include "path_text.h"

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
    for (const char* p = name; *p; ++p) {
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

bool HasParentComponent(const char* name)
{
    const char* start = name;
    for (const char* p = name;; ++p) {
        if (*p == '\0' || IsSeparator(*p)) {
            if (p - start == 2 && start[0] == '.' && start[1] == '.') return true;
            if (*p == '\0') return false;
            start = p + 1;
        }
    }
}
