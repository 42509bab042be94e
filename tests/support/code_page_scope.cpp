#include "support/code_page_scope.h"

#include "platform/winapi.h"

CodePageScope::CodePageScope(int codePage) : codePage_(codePage), previous_(_getmbcp())
{
    ChooseAnsiCodePage(codePage, &locale_);
    ok_ = _setmbcp(codePage) == 0;
}

// The locale goes back after the code page, with the members.
CodePageScope::~CodePageScope()
{
    _setmbcp(previous_);
}

bool CodePageScope::AnsiFollows() const
{
    return int(GetACP()) == codePage_;
}
