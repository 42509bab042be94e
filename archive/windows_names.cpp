#include "windows_names.h"

#include <cstring>

#include "../platform/path_text.h"
#include "../platform/winapi.h"

namespace {

bool IsSameAsciiIgnoringCase(const char* text, const char* upper, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i] >= 'a' && text[i] <= 'z' ? char(text[i] - 'a' + 'A') : text[i];
        if (c != upper[i]) return false;
    }
    return true;
}

// A superscript one, two or three, in the process code page: what
// COM¹ and LPT³ end in.
bool IsSuperscriptDigit(const char* text, size_t length)
{
    if (length == 0 || length > 4) return false;
    WCHAR wide[2];
    const int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, int(length), wide, 2);
    return units == 1 && (wide[0] == 0xB9 || wide[0] == 0xB2 || wide[0] == 0xB3);
}

bool IsDeviceStem(const char* stem, size_t length)
{
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    if (length == 3) {
        for (const char* device : kDevices) {
            if (IsSameAsciiIgnoringCase(stem, device, 3)) return true;
        }
        return false;
    }
    if (length < 4) return false;
    if (!IsSameAsciiIgnoringCase(stem, "COM", 3) && !IsSameAsciiIgnoringCase(stem, "LPT", 3)) {
        return false;
    }
    if (length == 4 && stem[3] >= '0' && stem[3] <= '9') return true;
    return IsSuperscriptDigit(stem + 3, length - 3);
}

bool IsDotOrSpace(char c)
{
    return c == '.' || c == ' ';
}

// "." and "..": path syntax, not names.
bool IsDotComponent(const char* component, size_t length)
{
    return (length == 1 || length == 2) && component[0] == '.' && component[length - 1] == '.';
}

}  // namespace

WindowsNameChange FindWindowsNameChange(const char* name)
{
    const char* start = name[0] != '\0' && name[1] == ':' ? name + 2 : name;
    for (;;) {
        const char* end = FindComponentEnd(start);
        const size_t length = size_t(end - start);
        const WindowsNameRule rule = FindComponentChange(start, length);
        if (rule != WindowsNameRule::None) return WindowsNameChange{rule, start, length};
        if (*end == '\0') return WindowsNameChange{WindowsNameRule::None, nullptr, 0};
        start = end + 1;
    }
}

// No code page has ':', '.' or ' ' as the second byte of a character: only
// the separators around a component need finding on character boundaries.
WindowsNameRule FindComponentChange(const char* component, size_t length)
{
    if (length == 0) return WindowsNameRule::None;
    if (IsDeviceStem(component, DeviceStemLength(component, length))) {
        return WindowsNameRule::DeviceName;
    }
    if (std::memchr(component, ':', length)) return WindowsNameRule::Colon;
    if (IsDotOrSpace(component[length - 1]) && !IsDotComponent(component, length)) {
        return WindowsNameRule::TrailingDotOrSpace;
    }
    return WindowsNameRule::None;
}

size_t DeviceStemLength(const char* component, size_t length)
{
    size_t stem = 0;
    while (stem < length && component[stem] != '.') ++stem;
    while (stem > 0 && component[stem - 1] == ' ') --stem;
    return stem;
}

bool MayBeShortAlias(const char* name)
{
    for (const char* at = std::strchr(name, '~'); at; at = std::strchr(at + 1, '~')) {
        if (at[1] >= '0' && at[1] <= '9') return true;
    }
    return false;
}
