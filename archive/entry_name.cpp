#include "entry_name.h"

#include "../platform/winapi.h"

namespace {

// The rest of the name behind the first parent-directory step, or null.
const char* SkipParentStep(const char* name)
{
    static const char* const kParentSteps[] = {"\\..\\", "\\../", "/../", "/..\\"};
    for (const char* step : kParentSteps) {
        const unsigned char* hit = _mbsstr(reinterpret_cast<const unsigned char*>(name),
                                           reinterpret_cast<const unsigned char*>(step));
        if (hit) return reinterpret_cast<const char*>(hit) + 4;
    }
    return nullptr;
}

}  // namespace

const char* SanitiseEntryName(const char* name)
{
    for (;;) {
        if (name[0] != '\0' && name[1] == ':') {
            name += 2;
        } else if (name[0] == '\\' || name[0] == '/') {
            name += 1;
        } else if (const char* rest = SkipParentStep(name)) {
            name = rest;
        } else {
            return name;
        }
    }
}
