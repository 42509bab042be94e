// GetACP, GetLocaleInfoA's code page, MultiByteToWideChar and
// WideCharToMultiByte with their Windows meaning, for what the updater
// converts: names and paths between UTF-8, GBK and UTF-16, through glibc's
// iconv; LCMapStringW's upper case, for comparing names as Windows does.
#include <iconv.h>
#include <locale.h>
#include <wctype.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "../winapi.h"
#include "multibyte_internal.h"

namespace {

constexpr UINT kCodePageGbk = 936;
constexpr UINT kCodePageWestern = 1252;

// Windows' code page 1252 where it differs from Latin-1 (0x80 to 0x9F). Its
// five unassigned bytes decode to the C1 control of their value, as on
// Windows, where glibc's CP1252 refuses them.
const WCHAR kWestern80To9F[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Every byte is a character in 1252: the UTF-16LE of `length` of them.
std::string DecodeWestern(const char* text, size_t length)
{
    std::string result;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const WCHAR unit = c >= 0x80 && c <= 0x9F ? kWestern80To9F[c - 0x80] : WCHAR(c);
        result.push_back(char(unit & 0xFF));
        result.push_back(char(unit >> 8));
    }
    return result;
}

// An iconv conversion for the length of one call.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (Ok()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // All of `in` converted and appended to `out`; false, appending nothing,
    // when any of it is not valid or has no code in the target.
    bool Convert(const char* in, size_t inBytes, std::string* out)
    {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        std::string converted;
        char* next = const_cast<char*>(in);
        while (inBytes > 0) {
            char buffer[256];
            char* put = buffer;
            size_t room = sizeof buffer;
            const size_t rc = iconv(handle_, &next, &inBytes, &put, &room);
            converted.append(buffer, size_t(put - buffer));
            if (rc == size_t(-1) && errno != E2BIG) return false;
        }
        out->append(converted);
        return true;
    }

private:
    iconv_t handle_;
};

UINT ResolveCodePage(UINT codePage)
{
    return codePage == CP_ACP ? GetACP() : codePage;
}

// The length of the input: with -1 up to and with the terminator.
size_t InputLength(int length, size_t terminatedLength)
{
    return length < 0 ? terminatedLength + 1 : size_t(length);
}

size_t WideLength(LPCWSTR wide)
{
    size_t length = 0;
    while (wide[length] != 0) ++length;
    return length;
}

// Hands `result` over the way both calls do: its size when `capacity` is 0,
// else the copy, or ERROR_INSUFFICIENT_BUFFER when it does not fit.
template <typename Unit>
int DeliverResult(const std::string& result, Unit* out, int capacity)
{
    const size_t units = result.size() / sizeof(Unit);
    if (capacity == 0) return int(units);
    if (units > size_t(capacity)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, result.data(), result.size());
    return int(units);
}

// U+FFFD in UTF-16LE.
const char kReplacementCharacter[] = "\xFD\xFF";

// How many bytes the character that `lead` begins takes, as its lead byte
// says (1 for a byte that begins none).
size_t CharacterBytes(UINT codePage, char lead)
{
    const unsigned char c = static_cast<unsigned char>(lead);
    if (codePage == kCodePageGbk) return platform_unix::IsLeadByte(int(codePage), c) ? 2 : 1;
    if (c >= 0xF0 && c <= 0xF4) return 4;
    if (c >= 0xE0) return c <= 0xEF ? 3 : 1;
    return c >= 0xC2 ? 2 : 1;
}

// One UTF-16 character (one unit, or a surrogate pair) starting at `i`.
size_t CharacterUnits(LPCWSTR wide, size_t i, size_t length)
{
    const bool high = wide[i] >= 0xD800 && wide[i] <= 0xDBFF;
    const bool pairs = i + 1 < length && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
    return high && pairs ? 2 : 1;
}

}  // namespace

UINT WINAPI GetACP()
{
    // A Linux file name is bytes: the UTF-8 of nearly every tool, and of a
    // process without a locale. Only a GBK locale names another code page.
    return platform_unix::CodePageFromEnvironment() == int(kCodePageGbk) ? kCodePageGbk : CP_UTF8;
}

int WINAPI GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size)
{
    // A Linux system has no legacy code page beside its locale's.
    if (locale != LOCALE_SYSTEM_DEFAULT || type != LOCALE_IDEFAULTANSICODEPAGE || size < 0 ||
        (size > 0 && data == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%u", GetACP()) + 1;
    if (size == 0) return length;
    if (length > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(data, text, size_t(length));
    return length;
}

int WINAPI LCMapStringW(LCID locale, DWORD flags, LPCWSTR source, int sourceLength,
                        LPWSTR destination, int destinationLength)
{
    if (locale != LOCALE_INVARIANT || flags != LCMAP_UPPERCASE || source == nullptr ||
        sourceLength <= 0 || destinationLength < 0 || (destinationLength > 0 && !destination)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (destinationLength == 0) return sourceLength;
    if (destinationLength < sourceLength) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Read once; the process keeps it.
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    for (int i = 0; i < sourceLength; ++i) {
        const WCHAR c = source[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            destination[i] = c;
        } else if (unicode != locale_t(0)) {
            const wint_t upper = towupper_l(wint_t(c), unicode);
            destination[i] = upper <= 0xFFFF ? WCHAR(upper) : c;
        } else {
            destination[i] = c >= 'a' && c <= 'z' ? WCHAR(c - 'a' + 'A') : c;
        }
    }
    return sourceLength;
}

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength,
                               LPWSTR wide, int wideLength)
{
    const UINT source = ResolveCodePage(codePage);
    if ((source != CP_UTF8 && source != kCodePageGbk && source != kCodePageWestern) ||
        (flags & ~MB_ERR_INVALID_CHARS) != 0 || multiByte == nullptr || multiByteLength == 0 ||
        wideLength < 0 || (wideLength > 0 && wide == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length = InputLength(multiByteLength, std::strlen(multiByte));
    if (source == kCodePageWestern) {
        return DeliverResult(DecodeWestern(multiByte, length), wide, wideLength);
    }
    Converter converter("UTF-16LE", source == CP_UTF8 ? "UTF-8" : "CP936");
    if (!converter.Ok()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string result;
    if (!converter.Convert(multiByte, length, &result)) {
        if (flags & MB_ERR_INVALID_CHARS) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        // Character by character: a byte that starts none becomes U+FFFD.
        result.clear();
        for (size_t i = 0; i < length;) {
            const size_t bytes = std::min(CharacterBytes(source, multiByte[i]), length - i);
            if (converter.Convert(multiByte + i, bytes, &result)) {
                i += bytes;
            } else {
                result.append(kReplacementCharacter, sizeof kReplacementCharacter - 1);
                i += 1;
            }
        }
    }
    return DeliverResult(result, wide, wideLength);
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength,
                               LPSTR multiByte, int multiByteLength, LPCSTR defaultChar,
                               LPBOOL usedDefaultChar)
{
    const UINT target = ResolveCodePage(codePage);
    // As on Windows, UTF-8 takes no flags and has no default character.
    const bool utf8 = target == CP_UTF8;
    if ((target != kCodePageGbk && !utf8) || (flags & ~WC_NO_BEST_FIT_CHARS) != 0 ||
        (utf8 && (flags != 0 || defaultChar != nullptr || usedDefaultChar != nullptr)) ||
        wide == nullptr || wideLength == 0 || multiByteLength < 0 ||
        (multiByteLength > 0 && multiByte == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (usedDefaultChar != nullptr) *usedDefaultChar = FALSE;
    const size_t length = InputLength(wideLength, WideLength(wide));
    Converter converter(utf8 ? "UTF-8" : "CP936", "UTF-16LE");
    if (!converter.Ok()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Character by character, so that one without a code becomes the
    // default character (never a best-fit look-alike: iconv makes none).
    const std::string substitute = utf8 ? "\xEF\xBF\xBD" : defaultChar ? defaultChar : "?";
    std::string result;
    for (size_t i = 0; i < length;) {
        const size_t units = CharacterUnits(wide, i, length);
        if (!converter.Convert(reinterpret_cast<const char*>(wide + i), units * sizeof(WCHAR),
                               &result)) {
            result += substitute;
            if (usedDefaultChar != nullptr) *usedDefaultChar = TRUE;
        }
        i += units;
    }
    return DeliverResult(result, multiByte, multiByteLength);
}
