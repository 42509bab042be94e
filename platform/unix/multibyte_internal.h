// Private to the Linux half: the current multibyte code page and its lead bytes.
#pragma once

namespace platform_unix {

// The code page _getmbcp gives (the locale's default until _setmbcp changes it).
int CurrentMultibyteCodePage();

// The code page the locale's character set names, read from the environment
// (the first non-empty of LC_ALL, LC_CTYPE, LANG): 936 for GBK, GB2312,
// GB18030 (and a bare zh_CN / zh_SG, whose glibc charset is GB2312), 65001
// for UTF-8, 0 for anything else.
int CodePageFromEnvironment();

// Whether byte `c` starts a double-byte character in `codePage`.
bool IsLeadByte(int codePage, unsigned char c);

}  // namespace platform_unix
