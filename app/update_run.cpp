#include "update_run.h"

#include <cstdio>

#include "../platform/framework.h"
#include "../platform/path_text.h"
#include "archive_unpack.h"

namespace {

// The system's own texts, in code page 936 (GBK).
const char kModuleHandleFailed[] = "\xB4\xED\xCE\xF3: GetModuleHandle \xCA\xA7\xB0\xDC\n";
const char kFrameworkFailed[] = "\xB4\xED\xCE\xF3: MFC \xB3\xF5\xCA\xBC\xBB\xAF\xCA\xA7\xB0\xDC\n";
const char kQuestion[] =
    "Tavix\xC8\xED\xBC\xFE\xC9\xFD\xBC\xB6\xCD\xEA\xB3\xC9\xA3\xA1"
    "\xCA\xC7\xB7\xF1\xC6\xF4\xB6\xAF\xC8\xED\xBC\xFE\xA3\xBF";
const char kMainProgram[] = "Tavix.exe";

int InitialiseFramework()
{
    HMODULE module = GetModuleHandleA(nullptr);
    if (!module) {
        std::printf("%s", kModuleHandleFailed);
        return kExitFrameworkFailed;
    }
    if (!AfxWinInit(module, nullptr, GetCommandLineA(), 0)) {
        std::printf("%s", kFrameworkFailed);
        return kExitFrameworkFailed;
    }
    return kExitOk;
}

// The folder of the updater's own executable, without the final separator.
void GetProgramFolder(char (&folder)[MAX_PATH + 1])
{
    folder[0] = '\0';
    GetModuleFileNameA(nullptr, folder, MAX_PATH);
    folder[MAX_PATH] = '\0';
    if (const char* lastSeparator = FindLastSeparator(folder)) {
        folder[lastSeparator - folder] = '\0';
    }
}

}  // namespace

int RunUpdate(int argc, char** argv)
{
    int exitCode = InitialiseFramework();

    char programFolder[MAX_PATH + 1];
    GetProgramFolder(programFolder);
    const char* archivePath = argc > 1 ? argv[1] : "";
    SetCurrentDirectoryA(programFolder);

    const int answer = AfxMessageBox(kQuestion, MB_YESNO, 0);

    // An archive whose update did not go through is kept, so it can be
    // tried again; a file that is not an archive is never deleted.
    if (UnpackArchive(archivePath)) {
        DeleteFileA(archivePath);
    } else if (exitCode == kExitOk) {
        exitCode = kExitUpdateFailed;
    }

    if (answer == IDYES) ShellExecuteA(nullptr, "open", kMainProgram, "", nullptr, SW_SHOW);
    return exitCode;
}
