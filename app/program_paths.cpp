#include "program_paths.h"

#include <cstring>
#include <memory>
#include <new>

#include "../platform/path_text.h"

namespace {

// Room for a path in UTF-16 whose narrow form fits MAX_PATH, or would if it
// were exact: a character the code page lacks can take two units.
constexpr DWORD kWideRoom = MAX_PATH * 2;

bool IsSameWideText(LPCWSTR first, LPCWSTR second)
{
    for (; *first && *first == *second; ++first, ++second) {
    }
    return *first == *second;
}

// Whether `narrow` is `wide` exactly: read back in the process code page, the
// same characters. A best-fit look-alike, the default character '?' and the
// U+FFFD UTF-8 writes for what it cannot carry all read back as others.
bool IsExactForm(const char* narrow, LPCWSTR wide)
{
    const int units = MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
    if (units <= 0) return false;
    const std::unique_ptr<WCHAR[]> back(new (std::nothrow) WCHAR[size_t(units)]);
    if (!back || MultiByteToWideChar(CP_ACP, 0, narrow, -1, back.get(), units) != units) {
        return false;
    }
    return IsSameWideText(back.get(), wide);
}

// `wide` in the process code page, when that holds it exactly. No best fit:
// what the code page lacks becomes the default character, which the check
// then finds (UTF-8 takes no flags).
bool ConvertExactly(LPCWSTR wide, char (&narrow)[MAX_PATH])
{
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int bytes =
        WideCharToMultiByte(CP_ACP, flags, wide, -1, narrow, MAX_PATH, nullptr, nullptr);
    return bytes > 0 && IsExactForm(narrow, wide);
}

// The short form of the file or folder `wide` names, when it has one that
// the process code page holds exactly.
bool GetExactShortForm(LPCWSTR wide, char (&narrow)[MAX_PATH])
{
    WCHAR shortForm[MAX_PATH];
    const DWORD units = GetShortPathNameW(wide, shortForm, MAX_PATH);
    return units > 0 && units < MAX_PATH && ConvertExactly(shortForm, narrow);
}

bool GetProgramPath(char (&path)[MAX_PATH])
{
    WCHAR wide[kWideRoom];
    const DWORD units = GetModuleFileNameW(nullptr, wide, kWideRoom);
    if (units == 0 || units >= kWideRoom) return false;
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH && IsExactForm(path, wide)) return true;
    return GetExactShortForm(wide, path);
}

}  // namespace

bool GetProgramFolder(char (&folder)[MAX_PATH + 1])
{
    char path[MAX_PATH];
    folder[0] = '\0';
    if (!GetProgramPath(path)) return false;
    const char* lastSeparator = FindLastSeparator(path);
    if (!lastSeparator) return false;
    const size_t end = size_t(lastSeparator - path);
    const bool root = end == 0 || (end == 2 && path[1] == ':');
    const size_t length = root ? end + 1 : end;
    std::memcpy(folder, path, length);
    folder[length] = '\0';
    return true;
}

const char* GetExactArgument(int argc, char** argv, int index, char (&shortForm)[MAX_PATH])
{
    if (argc <= index) return "";
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return nullptr;
    const char* named = nullptr;
    if (count > index && IsExactForm(argv[index], arguments[index])) {
        named = argv[index];
    } else if (count > index && GetExactShortForm(arguments[index], shortForm)) {
        named = shortForm;
    }
    LocalFree(arguments);
    return named;
}
