#include "update_run.h"

#include <cstdio>

#include "../archive/in_use_waits.h"
#include "../archive/update_transaction.h"
#include "../platform/framework.h"
#include "../platform/path_text.h"
#include "archive_unpack.h"
#include "program_folder_lock.h"
#include "program_paths.h"

namespace {

// The system's own texts, in code page 936 (GBK).
const char kModuleHandleFailed[] = "\xB4\xED\xCE\xF3: GetModuleHandle \xCA\xA7\xB0\xDC\n";
const char kFrameworkFailed[] = "\xB4\xED\xCE\xF3: MFC \xB3\xF5\xCA\xBC\xBB\xAF\xCA\xA7\xB0\xDC\n";
const char kQuestion[] =
    "Tavix\xC8\xED\xBC\xFE\xC9\xFD\xBC\xB6\xCD\xEA\xB3\xC9\xA3\xA1"
    "\xCA\xC7\xB7\xF1\xC6\xF4\xB6\xAF\xC8\xED\xBC\xFE\xA3\xBF";

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

// The archive goes once the update is committed: its being gone is what
// tells the main program that the new version is complete. A scanner may
// hold it for a moment.
void DeleteArchive(const char* archivePath)
{
    WaitBudget budget{kWaitsPerFile};
    for (uint32_t waits = 0;;) {
        if (DeleteFileA(archivePath) || !WaitWhileInUse(GetLastError(), &waits, &budget)) return;
    }
}

// What an interrupted run left in the program folder, finished or undone
// before this run changes anything; false when the install may not be whole
// yet, and then this run changes nothing.
bool RecoverProgramFolder(const char* programFolder)
{
    char folder[MAX_PATH];
    const int length = std::snprintf(folder, MAX_PATH, "%s%s", programFolder,
                                     EndsWithSeparator(programFolder) ? "" : "/");
    return length > 0 && length < MAX_PATH && RecoverUpdate(folder);
}

// Unpacks the archive into the current directory and deletes it when the
// update went through: an archive whose update did not go through is kept,
// so it can be tried again, and a file that is not an archive is never
// deleted. False when it did not go through.
bool InstallUpdate(const char* archivePath)
{
    if (!UnpackArchive(archivePath)) return false;
    DeleteArchive(archivePath);
    return true;
}

}  // namespace

int RunUpdate(int argc, char** argv)
{
    int exitCode = InitialiseFramework();
    const int failedExitCode = exitCode == kExitOk ? kExitUpdateFailed : exitCode;

    char programFolder[MAX_PATH + 1];
    const bool folderKnown = GetProgramFolder(programFolder);
    ProgramFolderLock lock = folderKnown ? LockProgramFolder(programFolder)
                                         : ProgramFolderLock{INVALID_HANDLE_VALUE, false};
    if (lock.heldElsewhere) {
        UnlockProgramFolder(&lock);
        return failedExitCode;
    }
    // Without its own folder as the current directory the run would unpack
    // wherever it was started, and start whatever Tavix.exe is there;
    // without the lock it could undo another updater's swap as an
    // interrupted one; with an archive it cannot name exactly, it could
    // install a look-alike.
    const bool placed = HoldsProgramFolder(lock) && SetCurrentDirectoryA(programFolder);
    char archiveShortForm[MAX_PATH];
    const char* archivePath = placed ? GetExactArgument(argc, argv, 1, archiveShortForm) : nullptr;

    const int answer = AfxMessageBox(kQuestion, MB_YESNO, 0);

    const bool recovered = placed && RecoverProgramFolder(programFolder);
    if (!archivePath || !recovered || !InstallUpdate(archivePath)) exitCode = failedExitCode;
    if (archivePath && answer == IDYES) {
        ShellExecuteA(nullptr, "open", kMainProgramName, "", nullptr, SW_SHOW);
    }
    UnlockProgramFolder(&lock);
    return exitCode;
}
