#include "name_encoding.h"

#include <cstdlib>
#include <cstring>

namespace {

// A UTF-8 name of this many bytes or more takes MAX_PATH bytes or more in
// any code page (a character is at most four UTF-8 bytes, at least one byte
// there); below it, its UTF-16 form fits, with at most one unit per byte.
// A legacy name has fewer units than bytes too.
constexpr int kWideRoom = MAX_PATH * 4;

RefusalCause KeepAsStored(const char* stored, uint32_t length, char (&name)[MAX_PATH])
{
    if (length >= MAX_PATH) return CAUSE_NAME_TOO_LONG;
    std::memcpy(name, stored, length);
    name[length] = '\0';
    return CAUSE_NONE;
}

// The UTF-16 name in the process code page, which must hold every
// character: never a best-fit look-alike or a default character. A name
// that does not fit is asked again, whole, whether it also has a character
// with no code: that, not its length, is what no folder could cure.
RefusalCause ConvertWideName(const WCHAR* wide, int units, char (&name)[MAX_PATH])
{
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, flags, wide, units, name, MAX_PATH - 1, nullptr,
                                          utf8 ? nullptr : &usedDefault);
    if (bytes > 0 && !usedDefault) {
        name[bytes] = '\0';
        return CAUSE_NONE;
    }
    name[0] = '\0';
    if (!usedDefault && !utf8)
        WideCharToMultiByte(CP_ACP, flags, wide, units, nullptr, 0, nullptr, &usedDefault);
    return usedDefault ? CAUSE_UNMAPPABLE : CAUSE_NAME_TOO_LONG;
}

}  // namespace

RefusalCause ConvertUtf8Name(const char* utf8, uint32_t length, char (&name)[MAX_PATH])
{
    name[0] = '\0';
    if (length == 0) return CAUSE_NONE;
    if (std::memchr(utf8, '\0', length)) return CAUSE_NAME_HAS_ZERO;
    if (length >= uint32_t(kWideRoom)) return CAUSE_NAME_TOO_LONG;
    WCHAR wide[kWideRoom];
    const int units =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, int(length), wide, kWideRoom);
    if (units == 0) return CAUSE_INVALID_UTF8;
    // Valid, and already in the process code page: kept as stored.
    if (GetACP() == CP_UTF8) return KeepAsStored(utf8, length, name);
    return ConvertWideName(wide, units, name);
}

RefusalCause ConvertLegacyName(const char* stored, uint32_t length, char (&name)[MAX_PATH])
{
    return ConvertLegacyNameFrom(GetLegacyCodePage(), stored, length, name);
}

RefusalCause ConvertLegacyNameFrom(UINT legacy, const char* stored, uint32_t length,
                                   char (&name)[MAX_PATH])
{
    name[0] = '\0';
    if (IsAscii(stored, length)) return KeepAsStored(stored, length, name);
    if (legacy == 0 || legacy == GetACP()) return KeepAsStored(stored, length, name);
    if (length >= uint32_t(kWideRoom)) return CAUSE_NAME_TOO_LONG;
    WCHAR wide[kWideRoom];
    const int units =
        MultiByteToWideChar(legacy, MB_ERR_INVALID_CHARS, stored, int(length), wide, kWideRoom);
    if (units == 0) return CAUSE_INVALID_LEGACY_NAME;
    return ConvertWideName(wide, units, name);
}

bool IsAscii(const char* text, uint32_t length)
{
    for (uint32_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    }
    return true;
}

UINT GetLegacyCodePage()
{
    char number[8];
    if (!GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, number,
                        sizeof number)) {
        return 0;
    }
    return UINT(std::strtoul(number, nullptr, 10));
}
