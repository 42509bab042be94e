// The Linux half takes the ANSI code page from the locale environment, the
// first of LC_ALL, LC_CTYPE and LANG that is set: LC_ALL decides.
#include "support/code_page_scope.h"

namespace {

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

void ChooseAnsiCodePage(int codePage, EnvironmentScope* environment)
{
    environment->Set("LC_ALL", LocaleFor(codePage));
}
