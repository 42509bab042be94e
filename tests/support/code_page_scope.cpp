#include "support/code_page_scope.h"

#include "platform/winapi.h"

CodePageScope::CodePageScope(int codePage)
    : codePage_(codePage), previous_(_getmbcp()), savedLocale_(ChooseAnsiCodePage(codePage))
{
    ok_ = _setmbcp(codePage) == 0;
}

CodePageScope::~CodePageScope()
{
    _setmbcp(previous_);
    RestoreAnsiCodePage(savedLocale_);
}

bool CodePageScope::AnsiFollows() const
{
    return int(GetACP()) == codePage_;
}
