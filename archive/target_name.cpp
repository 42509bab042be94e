#include "target_name.h"

#include <cstring>

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

bool IsAbsoluteName(const char* name)
{
    return IsSeparator(name[0]) || (name[0] != '\0' && name[1] == ':');
}

bool EndsWithSeparator(const char* name)
{
    const size_t length = std::strlen(name);
    return length > 0 && IsSeparator(name[length - 1]);
}

const char* FindFilePart(const char* name)
{
    const char* filePart = name;
    for (const char* p = name; *p; ++p) {
        if (IsSeparator(*p)) filePart = p + 1;
    }
    return filePart;
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
