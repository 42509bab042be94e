// Windows path text to POSIX: both separators become '/'.
#include "paths.h"

#include "multibyte_internal.h"

namespace platform_unix {

std::string PosixPath(const char* windowsPath)
{
    std::string result;
    if (windowsPath == nullptr) {
        return result;
    }
    const int codePage = CurrentMultibyteCodePage();
    for (const char* p = windowsPath; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (IsLeadByte(codePage, c) && p[1] != '\0') {
            result += *p++;
            result += *p;  // the trail byte, whatever its value
        } else {
            result += c == '\\' ? '/' : *p;
        }
    }
    return result;
}

}  // namespace platform_unix
