// The framework stand-in on Windows: the shared application-object code, with
// user32's MessageBoxW showing the question box (no owner window, the
// application title as caption, MB_ICONQUESTION added to MB_YESNO).
#include <string>

#include "../winapi.h"

namespace {

constexpr UINT kCodePageGbk = 936;

bool ConvertToWide(UINT codePage, LPCSTR text, std::wstring* wide)
{
    const int units = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (units <= 0) return false;
    wide->resize(size_t(units));
    if (MultiByteToWideChar(codePage, 0, text, -1, &(*wide)[0], units) != units) return false;
    wide->resize(size_t(units - 1));
    return true;
}

// The GBK text shown right whatever the system's code page, which the
// narrow MessageBoxA would read it in; only should the conversion fail does
// the box get the bytes as they stand.
int ShowMessageBox(LPCSTR text, LPCSTR caption, UINT type)
{
    std::wstring wideText, wideCaption;
    if (ConvertToWide(kCodePageGbk, text, &wideText) &&
        ConvertToWide(CP_ACP, caption, &wideCaption)) {
        return MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), type);
    }
    return MessageBoxA(nullptr, text, caption, type);
}

}  // namespace

#include "../framework_app.inl"
