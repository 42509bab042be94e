// Private to the Linux half: GBK (code page 936) text to UTF-8.
#pragma once

#include <string>

namespace platform_unix {

// `text` read as code page 936 (ASCII passes unchanged), in UTF-8. A byte
// that does not begin a valid character becomes '?'. Null gives "".
std::string Cp936ToUtf8(const char* text);

}  // namespace platform_unix
