// The Linux half takes the ANSI code page from the locale environment, the
// first of LC_ALL, LC_CTYPE and LANG that is set: LC_ALL decides.
#include <cstdlib>

#include "support/code_page_scope.h"

namespace {

// An unset variable, told apart from an empty one.
constexpr char kUnset[] = "\x01unset";

const char* LocaleFor(int codePage)
{
    switch (codePage) {
        case 936:
            return "zh_CN.GBK";
        case 65001:
            return "C.UTF-8";
        default:
            return "C";
    }
}

}  // namespace

std::string ChooseAnsiCodePage(int codePage)
{
    const char* previous = std::getenv("LC_ALL");
    const std::string saved = previous ? previous : kUnset;
    setenv("LC_ALL", LocaleFor(codePage), 1);
    return saved;
}

void RestoreAnsiCodePage(const std::string& saved)
{
    if (saved == kUnset) {
        unsetenv("LC_ALL");
    } else {
        setenv("LC_ALL", saved.c_str(), 1);
    }
}
