// The application object, AfxWinInit and AfxMessageBox of the framework
// stand-in, the same on both builds. Not compiled on its own: each half's
// framework.cpp includes it, after defining how that half shows the box:
//   int ShowMessageBox(LPCSTR text, LPCSTR caption, UINT type);
// with the text in code page 936 (the updater's GBK question) and the
// caption in the ANSI code page (the program's own file name).
#include <cstring>

#include "framework.h"
#include "path_text.h"

namespace {

CWinApp* g_application = nullptr;

// The executable's file name without directory and extension: "Updater" for
// ...\Updater.exe, "updater" for .../updater. Empty when it is not known.
void ProgramTitle(char* title, size_t size)
{
    title[0] = '\0';
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    const char* name = FindFilePart(path);
    size_t nameLength = std::strlen(name);
    const char* dot = std::strrchr(name, '.');
    if (dot != nullptr && dot != name) {
        nameLength = static_cast<size_t>(dot - name);
    }
    if (nameLength >= size) {
        nameLength = size - 1;
    }
    std::memcpy(title, name, nameLength);
    title[nameLength] = '\0';
}

void FillTitle(LPCSTR appName, char* title, size_t size)
{
    if (appName != nullptr) {
        std::strncpy(title, appName, size - 1);
        title[size - 1] = '\0';
    } else {
        ProgramTitle(title, size);
    }
}

}  // namespace

CWinApp::CWinApp(LPCSTR appName) : appName_(appName)
{
    FillTitle(appName_, title_, sizeof title_);
    g_application = this;  // the framework's one application object
}

CWinApp::~CWinApp()
{
    if (g_application == this) {
        g_application = nullptr;
    }
}

CWinApp* AfxGetApp()
{
    return g_application;
}

BOOL AfxWinInit(HINSTANCE /*instance*/, HINSTANCE /*previousInstance*/, LPSTR /*commandLine*/,
                int /*showCommand*/)
{
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return FALSE;  // no application object to initialise
    }
    FillTitle(app->appName_, app->title_, sizeof app->title_);
    return TRUE;
}

int AfxMessageBox(LPCSTR text, UINT type, UINT /*helpContext*/)
{
    // As the framework does: a Yes/No box without an icon gets the question mark.
    if ((type & MB_TYPEMASK) == MB_YESNO && (type & MB_ICONMASK) == 0) {
        type |= MB_ICONQUESTION;
    }
    char fallbackTitle[MAX_PATH];
    const char* caption;
    if (const CWinApp* app = AfxGetApp()) {
        caption = app->Title();
    } else {
        ProgramTitle(fallbackTitle, sizeof fallbackTitle);
        caption = fallbackTitle;
    }
    return ShowMessageBox(text, caption, type);
}
