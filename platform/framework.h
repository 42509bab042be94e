// A small stand-in for the parts of the application framework the updater
// uses: the application object, its initialisation and the question box.
// Neither build links the framework itself.
#pragma once

#include "winapi.h"

class CWinApp {
public:
    explicit CWinApp(LPCSTR appName = nullptr);
    ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The caption of the application's message boxes: the given name, or the
    // executable's file name without extension when the object has none.
    LPCSTR Title() const { return title_; }

private:
    friend BOOL AfxWinInit(HINSTANCE, HINSTANCE, LPSTR, int);
    LPCSTR appName_;
    char title_[MAX_PATH];
};

// The application object registered at construction, or null.
CWinApp* AfxGetApp();

BOOL AfxWinInit(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

// Shows a modal message box captioned with the application's title and gives
// the button pressed (IDYES, IDNO, ...). The text is in the ANSI code page.
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpContext = 0);
