// A small stand-in for the parts of the application framework the updater
// uses: the application object, its initialisation and the question box.
// Neither build links the framework itself. The code is framework_app.inl,
// compiled into platform/windows/framework.cpp and platform/unix/framework.cpp.
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

// The application object registered at construction (the latest one; its
// destruction unregisters it), or null.
CWinApp* AfxGetApp();

// Nonzero once the application object is initialised (its title taken from
// GetModuleFileNameA when it has no name); 0 when there is no application
// object. The arguments are accepted and not used.
BOOL AfxWinInit(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

// Shows a modal message box captioned with the application's title (no owner
// window) and gives the button pressed. The updater asks one question,
// MB_YESNO; a Yes/No box with no icon gets the framework's default,
// MB_ICONQUESTION (no other layout gets one here). The text is taken as code
// page 936 (GBK), the updater's own, whatever the system's code page: on
// Windows it is turned into UTF-16 for MessageBoxW, so that an English or any
// other Windows shows the Chinese question right. On Linux the box is a
// zenity dialog when a display is available and zenity installed, otherwise
// the question on stdout and one line from stdin: a line starting with y or
// Y is IDYES, anything else or end of input IDNO. Other layouts are not
// emulated there: MessageBoxA fails with 0 (ERROR_NOT_SUPPORTED).
int AfxMessageBox(LPCSTR text, UINT type, UINT helpContext = 0);
