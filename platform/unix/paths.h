// Private to the Linux half: Windows path text to a POSIX path.
#pragma once

#include <string>

namespace platform_unix {

// The path with every backslash separator turned into '/'. A 0x5C byte that
// is the trail byte of a double-byte character in the current multibyte code
// page (_getmbcp) is part of that character and stays. Null gives "".
std::string PosixPath(const char* windowsPath);

}  // namespace platform_unix
