// The framework stand-in on Linux: the shared application-object code, with
// MessageBoxA from message_box.cpp (zenity or the terminal), which takes the
// text as GBK itself.
#include "../winapi.h"

namespace {

int ShowMessageBox(LPCSTR text, LPCSTR caption, UINT type)
{
    return MessageBoxA(nullptr, text, caption, type);
}

}  // namespace

#include "../framework_app.inl"
