// update-check: what the updater would make of an archive in an install
// folder, told before the archive ships, by the updater's own unpack step.
#include <cstdio>
#include <cstring>

#include "../app/program_paths.h"
#include "../platform/winapi.h"
#include "archive_fault.h"
#include "check_run.h"
#include "files_left_behind.h"
#include "warning_kinds.h"

namespace {

constexpr int kExitClean = 0;
constexpr int kExitRefused = 1;  // the updater would exit 2, or a warning stops the release
constexpr int kExitUsage = 2;
constexpr int kExitNotChecked = 3;

const char kUsage[] =
    "usage: update-check [--allow KIND]... ARCHIVE [INSTALL_DIR]\n"
    "       update-check --help\n"
    "\n"
    "Runs the Tavix updater's unpack step over ARCHIVE in a scratch copy of\n"
    "INSTALL_DIR (an empty folder without one) and prints one line per entry:\n"
    "new, replaced, unchanged, folder, or refused with the reason; a file made on\n"
    "Unix shows its mode, whose execute bits the Linux updater gives a new file.\n"
    "Then warnings about what would hurt later. One refused entry fails the whole\n"
    "update: the updater then undoes every change and keeps the archive.\n"
    "ARCHIVE and INSTALL_DIR are only read. For an archive that lists what its\n"
    "release drops (tavix-dropped.txt, packed with --previous), the files of\n"
    "INSTALL_DIR the release neither carries nor drops are warned about, as are\n"
    "bytes after the archive's end: neither fails the check.\n"
    "\n"
    "A warning of these kinds means the update would not do what it is meant to,\n"
    "and fails the check unless --allow KIND (repeatable) accepts its kind on\n"
    "purpose:\n";

const char kExitStatus[] =
    "\n"
    "Exit status: 0 every entry would go in and no warning fails the check;\n"
    "1 the archive cannot be opened, an entry would be refused (the updater\n"
    "would exit 2) or a warning of a kind not allowed was given; 2 bad usage;\n"
    "3 the check itself could not be made.\n";

void PrintUsage(FILE* out)
{
    std::fputs(kUsage, out);
    PrintWarningKindList(out);
    std::fputs(kExitStatus, out);
}

// The archive and the install folder by their place in argv.
struct Arguments {
    int archive;
    int installFolder;  // 0 without one
    uint32_t allowed;   // warning kinds accepted on purpose
    bool help;
};

bool Refuse(const char* subject, const char* problem)
{
    std::fprintf(stderr, "update-check: %s: %s\n\n", subject, problem);
    PrintUsage(stderr);
    return false;
}

bool AllowKind(const char* word, Arguments* arguments)
{
    const uint32_t kind = FindWarningKind(word);
    if (kind == 0) return Refuse(word, "no such kind of warning (see the kinds below)");
    arguments->allowed |= kind;
    return true;
}

// False, with the usage on standard error, for arguments that make no check.
bool ReadArguments(int argc, char** argv, Arguments* arguments)
{
    *arguments = Arguments{0, 0, 0, false};
    int names[2] = {0, 0};
    int named = 0;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (options && std::strcmp(argument, "--") == 0) {
            options = false;
        } else if (options &&
                   (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)) {
            arguments->help = true;
            return true;
        } else if (options && std::strcmp(argument, "--allow") == 0) {
            if (++i == argc) return Refuse("--allow", "a KIND must follow");
            if (!AllowKind(argv[i], arguments)) return false;
        } else if (options && argument[0] == '-' && argument[1] != '\0') {
            return Refuse(argument, "no such option");
        } else if (named == 2) {
            return Refuse(argument, "one archive and at most one install folder are taken");
        } else {
            names[named++] = i;
        }
    }
    if (named == 0) {
        PrintUsage(stderr);
        return false;
    }
    arguments->archive = names[0];
    arguments->installFolder = names[1];
    return true;
}

// An install folder that is none is said so: checked without it, every
// installed file would pass for new.
bool CheckInstallFolder(const char* installFolder)
{
    if (!installFolder) return true;
    const DWORD attributes = GetFileAttributesA(installFolder);
    const char* problem = nullptr;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        problem = "there is no such folder";
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        problem = "it is a file, not a folder";
    }
    if (!problem) return true;
    std::fprintf(stderr, "update-check: install folder %s: %s\n", installFolder, problem);
    return false;
}

// Not a kind that stops a release: the updater reads such an archive as
// unzip, bsdtar and Python's zipfile do, but whatever added the bytes may
// have meant them as part of it.
void PrintTrailingBytes(const char* archivePath)
{
    const uint32_t bytes = CountBytesAfterArchive(archivePath);
    if (bytes == 0) return;
    std::printf(
        "warning: %u bytes follow the archive's end record and comment: the updater reads the "
        "archive without them, as most tools do (7-Zip warns); whatever added them may have "
        "meant more\n",
        unsigned(bytes));
}

// The warning kinds found that stop the release. `archive` is the archive
// as given, which may lie in the install folder.
uint32_t PrintEntries(ArchiveCheck* check, const char* archive, bool installed)
{
    bool tooLongSeen = false;
    EntryVerdict verdict;
    while (CheckNextEntry(check, &verdict)) {
        PrintVerdict(verdict, stdout);
        tooLongSeen = tooLongSeen || verdict.cause == CAUSE_PATH_TOO_LONG;
    }
    const uint32_t kinds =
        PrintWarnings(check->warnings, installed ? check->installFolder : nullptr, stdout);
    PrintTrailingBytes(check->archivePath);
    if (installed) PrintFilesLeftBehind(archive, check->installFolder, check->warnings, stdout);
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
    return kinds;
}

void PrintStop(uint32_t kinds)
{
    std::fputs("stop: ", stdout);
    PrintWarningKinds(kinds, stdout);
    std::fputs(
        ": the update would not do what it is meant to (--allow KIND accepts a kind on "
        "purpose)\n",
        stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    Arguments arguments;
    if (!ReadArguments(argc, argv, &arguments)) return kExitUsage;
    if (arguments.help) {
        PrintUsage(stdout);
        return kExitClean;
    }
    // As the updater takes its archive: the paths exactly, never a best-fit
    // look-alike an older Windows would hand over.
    char archiveShortForm[MAX_PATH];
    char installShortForm[MAX_PATH];
    const char* archive = GetExactArgument(argc, argv, arguments.archive, archiveShortForm);
    const char* installFolder =
        arguments.installFolder
            ? GetExactArgument(argc, argv, arguments.installFolder, installShortForm)
            : nullptr;
    if (!archive || (arguments.installFolder && !installFolder)) {
        std::fprintf(stderr,
                     "update-check: %s cannot be named in this system's code page; give its short "
                     "name or a path in the code page's characters\n",
                     argv[archive ? arguments.installFolder : arguments.archive]);
        return kExitNotChecked;
    }
    if (!CheckInstallFolder(installFolder)) return kExitUsage;
    static ArchiveCheck check;  // large for a stack
    const CheckStart start = OpenCheck(&check, archive, installFolder);
    uint32_t stops = 0;
    switch (start) {
        case CheckStart::Ready:
            stops = PrintEntries(&check, archive, installFolder != nullptr) & ~arguments.allowed;
            if (stops) PrintStop(stops);
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
    if (start == CheckStart::Ready && !clean) {
        std::printf(
            "undone: with an entry refused, the updater would put every file back as "
            "it was and keep the archive\n");
    }
    if (!check.scratchRemoved) {
        std::fprintf(stderr, "update-check: %s could not be removed entirely\n",
                     check.scratch.root);
    }
    if (start == CheckStart::NotMade) return kExitNotChecked;
    return clean && stops == 0 ? kExitClean : kExitRefused;
}
