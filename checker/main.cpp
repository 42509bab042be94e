// update-check: what the updater would make of an archive in an install
// folder, told before the archive ships, by the updater's own unpack step.
#include <cstdio>
#include <cstring>

#include "../app/program_paths.h"
#include "../platform/winapi.h"
#include "check_run.h"
#include "refusal_causes.h"

namespace {

constexpr int kExitClean = 0;
constexpr int kExitRefused = 1;  // the updater would exit 2
constexpr int kExitUsage = 2;
constexpr int kExitNotChecked = 3;

const char kUsage[] =
    "usage: update-check ARCHIVE [INSTALL_DIR]\n"
    "\n"
    "Runs the Tavix updater's unpack step over ARCHIVE in a scratch copy of\n"
    "INSTALL_DIR (an empty folder without one) and prints one line per entry:\n"
    "new, replaced, unchanged, folder, or refused with the reason; then\n"
    "warnings about what would hurt later. ARCHIVE and INSTALL_DIR are only read.\n"
    "\n"
    "Exit status: 0 every entry would go in; 1 the archive cannot be opened or\n"
    "an entry would be refused (the updater would exit 2); 2 bad usage; 3 the\n"
    "check itself could not be made.\n";

bool IsFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void PrintEntries(ArchiveCheck* check, bool installed)
{
    bool tooLongSeen = false;
    EntryVerdict verdict;
    while (CheckNextEntry(check, &verdict)) {
        PrintVerdict(verdict, stdout);
        tooLongSeen = tooLongSeen || (verdict.causes & kCausePathTooLong);
    }
    PrintWarnings(check->warnings, installed ? check->installFolder : nullptr, stdout);
    // Only a scratch longer than the install folder can refuse a path the
    // updater would take.
    if (tooLongSeen && !check->scratch.lengthMatched) {
        std::fprintf(stderr,
                     "update-check: note: the scratch folder's path is longer than "
                     "INSTALL_DIR's (%u bytes, not %u): a path refused as too long may still fit "
                     "below INSTALL_DIR\n",
                     static_cast<unsigned>(std::strlen(check->scratch.base)),
                     static_cast<unsigned>(std::strlen(check->installFolder)));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    // As the updater takes its archive: the paths exactly, never a best-fit
    // look-alike an older Windows would hand over.
    char archiveShortForm[MAX_PATH];
    char installShortForm[MAX_PATH];
    const char* archive = GetExactArgument(argc, argv, 1, archiveShortForm);
    const char* installFolder =
        argc == 3 ? GetExactArgument(argc, argv, 2, installShortForm) : nullptr;
    if (!archive || (argc == 3 && !installFolder)) {
        std::fprintf(stderr,
                     "update-check: %s cannot be named in this system's code page; give its short "
                     "name or a path in the code page's characters\n",
                     archive ? argv[2] : argv[1]);
        return kExitNotChecked;
    }
    if (installFolder && !IsFolder(installFolder)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    static ArchiveCheck check;  // large for a stack
    const CheckStart start = OpenCheck(&check, archive, installFolder);
    switch (start) {
        case CheckStart::Ready:
            PrintEntries(&check, installFolder != nullptr);
            break;
        case CheckStart::ArchiveUnopened:
            std::printf("cannot open %s: %s\n", archive, check.problem);
            break;
        case CheckStart::UpdaterOutOfReach:
            std::printf("cannot install into %s: %s\n", installFolder, check.problem);
            break;
        case CheckStart::NotMade:
            std::fprintf(stderr, "update-check: %s\n", check.problem);
            break;
    }
    const bool clean = CloseCheck(&check);
    if (!check.scratchRemoved) {
        std::fprintf(stderr, "update-check: %s could not be removed entirely\n",
                     check.scratch.root);
    }
    if (start == CheckStart::NotMade) return kExitNotChecked;
    return clean ? kExitClean : kExitRefused;
}
