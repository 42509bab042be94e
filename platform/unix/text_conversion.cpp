// GBK to UTF-8 through glibc's iconv (which knows CP936).
#include "text_conversion.h"

#include <iconv.h>
#include <cerrno>
#include <cstring>

namespace platform_unix {

std::string Cp936ToUtf8(const char* text)
{
    if (text == nullptr) {
        return std::string();
    }
    const size_t length = std::strlen(text);
    iconv_t converter = iconv_open("UTF-8", "CP936");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        converter = iconv_open("UTF-8", "GBK");
    }
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::string(text, length);  // no converter: the bytes as they are
    }
    std::string result;
    char* in = const_cast<char*>(text);
    size_t inLeft = length;
    char buffer[256];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(converter, &in, &inLeft, &out, &outLeft);
        result.append(buffer, static_cast<size_t>(out - buffer));
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG) {
                continue;  // the buffer is full: go on with the rest
            }
            result += '?';  // EILSEQ or a cut-off character (EINVAL): skip one byte
            ++in;
            --inLeft;
        }
    }
    iconv_close(converter);
    return result;
}

}  // namespace platform_unix
