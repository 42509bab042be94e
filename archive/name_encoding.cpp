#include "name_encoding.h"

#include <cstring>

#include "result_codes.h"

namespace {

// A UTF-8 name of this many bytes or more takes MAX_PATH bytes or more in
// any code page (a character is at most four UTF-8 bytes, at least one byte
// there); below it, its UTF-16 form fits, with at most one unit per byte.
constexpr int kWideRoom = MAX_PATH * 4;

}  // namespace

int32_t ConvertUtf8Name(const char* utf8, uint32_t length, char (&name)[MAX_PATH])
{
    name[0] = '\0';
    if (length == 0) return RESULT_OK;
    if (std::memchr(utf8, '\0', length)) return RESULT_CORRUPT;
    if (length >= uint32_t(kWideRoom)) return RESULT_NO_FILE;
    WCHAR wide[kWideRoom];
    const int units =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, int(length), wide, kWideRoom);
    if (units == 0) return RESULT_CORRUPT;
    if (GetACP() == CP_UTF8) {
        // Valid, and already in the system's code page: kept as stored.
        if (length >= MAX_PATH) return RESULT_NO_FILE;
        std::memcpy(name, utf8, length);
        name[length] = '\0';
        return RESULT_OK;
    }
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units, name,
                                          MAX_PATH - 1, nullptr, &usedDefault);
    if (bytes == 0 || usedDefault) {
        name[0] = '\0';
        return RESULT_NO_FILE;
    }
    name[bytes] = '\0';
    return RESULT_OK;
}
