// Windows fixes the ANSI code page for the whole system: nothing to choose.
#include "support/code_page_scope.h"

std::string ChooseAnsiCodePage(int)
{
    return std::string();
}

void RestoreAnsiCodePage(const std::string&) {}
