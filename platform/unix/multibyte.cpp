// The runtime library's multibyte code page and the two string functions the
// updater uses, with the Microsoft C runtime's character-walking rules.
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../winapi.h"
#include "multibyte_internal.h"

namespace {

constexpr int kUnset = -1;
std::atomic<int> g_codePage{kUnset};

// The code pages the updater meets: GBK (936, double-byte), UTF-8 (65001)
// and single-byte text (0). UTF-8 has no lead bytes for these functions.
bool IsEmulatedCodePage(int codePage)
{
    return codePage == _MB_CP_SBCS || codePage == 936 || codePage == 65001;
}

// "zh_CN.GBK@variant" -> "gbk"; lower case, only letters and digits kept.
std::string NormalisedCharset(const std::string& locale)
{
    std::string::size_type dot = locale.find('.');
    if (dot == std::string::npos) {
        return std::string();
    }
    std::string charset;
    for (std::string::size_type i = dot + 1; i < locale.size() && locale[i] != '@'; ++i) {
        const unsigned char c = static_cast<unsigned char>(locale[i]);
        if (std::isalnum(c)) {
            charset += static_cast<char>(std::tolower(c));
        }
    }
    return charset;
}

}  // namespace

namespace platform_unix {

int CodePageFromEnvironment()
{
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::string locale;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            locale = value;
            break;
        }
    }
    const std::string charset = NormalisedCharset(locale);
    if (charset == "gbk" || charset == "gb2312" || charset == "gb18030" || charset == "cp936" ||
        charset == "euccn") {
        return 936;
    }
    if (charset == "utf8") {
        return 65001;
    }
    if (charset.empty()) {
        // glibc's zh_CN and zh_SG without a charset are GB2312.
        const std::string territory = locale.substr(0, locale.find('@'));
        if (territory == "zh_CN" || territory == "zh_SG") {
            return 936;
        }
    }
    return 0;
}

int CurrentMultibyteCodePage()
{
    int codePage = g_codePage.load(std::memory_order_relaxed);
    if (codePage == kUnset) {
        int expected = kUnset;
        codePage = CodePageFromEnvironment();
        if (!g_codePage.compare_exchange_strong(expected, codePage)) {
            codePage = expected;  // another thread or _setmbcp came first
        }
    }
    return codePage;
}

bool IsLeadByte(int codePage, unsigned char c)
{
    return codePage == 936 && c >= 0x81 && c <= 0xFE;
}

}  // namespace platform_unix

int _setmbcp(int codePage)
{
    if (codePage == _MB_CP_LOCALE) {
        codePage = platform_unix::CodePageFromEnvironment();
    }
    if (!IsEmulatedCodePage(codePage)) {
        errno = EINVAL;
        return -1;
    }
    g_codePage.store(codePage, std::memory_order_relaxed);
    return 0;
}

int _getmbcp()
{
    return platform_unix::CurrentMultibyteCodePage();
}

unsigned char* _mbsstr(const unsigned char* string, const unsigned char* search)
{
    const int codePage = platform_unix::CurrentMultibyteCodePage();
    const size_t searchLength = std::strlen(reinterpret_cast<const char*>(search));
    if (searchLength == 0) {
        return const_cast<unsigned char*>(string);
    }
    // Try a match at each character boundary only: a lead byte and its trail
    // byte are one character, and no match begins on the trail byte.
    for (const unsigned char* start = string; *start != '\0'; ++start) {
        if (std::strncmp(reinterpret_cast<const char*>(start),
                         reinterpret_cast<const char*>(search), searchLength) == 0) {
            return const_cast<unsigned char*>(start);
        }
        if (platform_unix::IsLeadByte(codePage, *start)) {
            ++start;
            if (*start == '\0') {
                break;  // a lead byte without its trail byte ends the string
            }
        }
    }
    return nullptr;
}

unsigned char* _mbsnbcpy(unsigned char* destination, const unsigned char* source, size_t count)
{
    const int codePage = platform_unix::CurrentMultibyteCodePage();
    unsigned char* out = destination;
    while (count != 0) {
        --count;
        if (platform_unix::IsLeadByte(codePage, *source)) {
            *out++ = *source++;
            if (count == 0) {
                out[-1] = '\0';  // the lead byte would be the last byte copied
                break;
            }
            --count;
            if ((*out++ = *source++) == '\0') {
                out[-2] = '\0';  // a lead byte with no trail byte: drop it
                break;
            }
        } else if ((*out++ = *source++) == '\0') {
            break;
        }
    }
    while (count != 0) {  // pad the rest of the count with zero bytes
        --count;
        *out++ = '\0';
    }
    return destination;
}

int _ismbblead(unsigned int c)
{
    return platform_unix::IsLeadByte(platform_unix::CurrentMultibyteCodePage(),
                                     static_cast<unsigned char>(c))
               ? 1
               : 0;
}
