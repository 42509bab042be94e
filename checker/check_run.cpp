#include "check_run.h"

#include <cstdio>
#include <cstring>

#include "../archive/entry_mode.h"
#include "../platform/path_text.h"
#include "archive_fault.h"
#include "file_comparison.h"

#ifndef UPDATER_FILE_NAME
#error "UPDATER_FILE_NAME: the updater's file name in the program folder, from the build"
#endif

namespace {

bool ReadCurrentDirectory(char (&path)[MAX_PATH])
{
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, path);
    return length > 0 && length < MAX_PATH;
}

// The archive named from where the checker was started, not from the scratch.
bool MakeArchivePath(const char* startDirectory, const char* archive, char (&path)[MAX_PATH])
{
    const int length = IsAbsoluteName(archive)
                           ? std::snprintf(path, MAX_PATH, "%s", archive)
                           : std::snprintf(path, MAX_PATH, "%s/%s", startDirectory, archive);
    return length > 0 && length < MAX_PATH;
}

// The folder as the updater there would know it: its current directory.
bool ReadInstallFolder(const char* installFolder, ArchiveCheck* check)
{
    const bool entered =
        SetCurrentDirectoryA(installFolder) && ReadCurrentDirectory(check->installFolder);
    return SetCurrentDirectoryA(check->startDirectory) && entered;
}

// The updater finds its folder from its own path, which must stay below
// MAX_PATH, or it unpacks nothing.
bool UpdaterFitsIn(const char* installFolder)
{
    return std::strlen(installFolder) + 1 + std::strlen(UPDATER_FILE_NAME) < MAX_PATH;
}

const char* DescribeUnopenedArchive(const char* archivePath, char (&reason)[MAX_PATH])
{
    const DWORD attributes = GetFileAttributesA(archivePath);
    if (attributes == INVALID_FILE_ATTRIBUTES) return "there is no such file";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a folder";
    if (DescribeArchiveFault(archivePath, reason, sizeof reason)) return reason;
    return "it is not a ZIP archive the updater can read";
}

void NameVerdict(const ArchiveUnpack& unpack, const EntryHeaders& headers, EntryVerdict* verdict)
{
    const size_t size = sizeof verdict->name;
    if (unpack.described == RESULT_OK && unpack.entry.name[0] != '\0') {
        const bool folder = (unpack.entry.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                            !EndsWithSeparator(unpack.entry.name);
        std::snprintf(verdict->name, size, "%s%s", unpack.entry.name, folder ? "/" : "");
    } else if (headers.reached) {
        std::snprintf(verdict->name, size, "%s%s", headers.name, headers.nameCut ? "..." : "");
    } else {
        std::snprintf(verdict->name, size, "(entry %ld)", static_cast<long>(verdict->index) + 1);
    }
}

void JudgeStep(const ArchiveCheck& check, const EntryHeaders& headers, EntryVerdict* verdict)
{
    const ArchiveUnpack& unpack = check.unpack;
    const ArchiveEntry& entry = unpack.entry;
    const bool described = unpack.described == RESULT_OK;
    const bool folder = described && ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) ||
                                      EndsWithSeparator(entry.name));
    const char* base = unpack.handle->reader->baseDirectory;
    verdict->result = described ? unpack.extracted : unpack.described;
    verdict->reason[0] = '\0';
    verdict->cause = CAUSE_NONE;
    verdict->mode = kNoEntryMode;
    if (verdict->result != RESULT_OK) {
        verdict->kind = VerdictKind::Refused;
        // The step's extraction describes the entry again, and a refused
        // description is refused again for the same cause.
        verdict->cause = FindRefusalCause(unpack.handle);
        DescribeRefusal(verdict->result, verdict->cause, headers.reached ? headers.info.method : 0,
                        verdict->reason);
        return;
    }
    if (folder) {
        verdict->kind = VerdictKind::Folder;
        return;
    }
    char result[MAX_PATH * 2];
    char original[MAX_PATH * 2];
    // The mode the Linux updater takes its execute bits from.
    if (headers.reached) verdict->mode = FindEntryMode(headers.info);
    // The new file as the run staged it; a read-only one already in place
    // was staged as it stands.
    const char* staged = unpack.handle->reader->lastStaged;
    if (staged[0] != '\0') {
        std::snprintf(result, sizeof result, "%s", staged);
    } else {
        std::snprintf(result, sizeof result, "%s%s", base, entry.name);
    }
    std::snprintf(original, sizeof original, "%s/%s", check.installFolder, entry.name);
    switch (CompareWithOriginal(result, check.installFolder[0] ? original : nullptr)) {
        case FileChange::New:
            verdict->kind = VerdictKind::New;
            break;
        case FileChange::Replaced:
            verdict->kind = VerdictKind::Replaced;
            break;
        case FileChange::Unchanged:
            verdict->kind = VerdictKind::Unchanged;
            break;
    }
}

CheckStart Stop(ArchiveCheck* check, CheckStart start, const char* problem, const char* path = "")
{
    std::snprintf(check->problem, sizeof check->problem, problem, path);
    return start;
}

}  // namespace

CheckStart OpenCheck(ArchiveCheck* check, const char* archivePath, const char* installFolder)
{
    check->installFolder[0] = '\0';
    check->problem[0] = '\0';
    check->scratch.root[0] = '\0';
    check->scratch.lengthMatched = true;
    check->scratchRemoved = true;
    check->unpack.handle = nullptr;
    check->unpack.entryCount = 0;
    check->unpack.nextIndex = 0;
    check->unpack.complete = false;
    check->walk.directory = nullptr;
    check->warnings = ArchiveWarnings{nullptr, 0, 0};
    if (!ReadCurrentDirectory(check->startDirectory)) {
        return Stop(check, CheckStart::NotMade, "the current directory cannot be read");
    }
    char archive[MAX_PATH];
    if (!MakeArchivePath(check->startDirectory, archivePath, archive)) {
        return Stop(check, CheckStart::ArchiveUnopened, "its path is 260 bytes or more");
    }
    check->copy.archive = IdentifyFile(archive);
    check->copy.archiveCopy[0] = '\0';
    if (installFolder) {
        if (!ReadInstallFolder(installFolder, check)) {
            return Stop(check, CheckStart::NotMade, "%s cannot be entered", installFolder);
        }
        if (!UpdaterFitsIn(check->installFolder)) {
            return Stop(check, CheckStart::UpdaterOutOfReach,
                        "the updater's own path there would be 260 bytes or more, so it would "
                        "unpack nothing");
        }
    }
    if (!MakeCheckScratch(&check->scratch, std::strlen(check->installFolder))) {
        return Stop(check, CheckStart::NotMade,
                    "no scratch folder can be made in the temporary folder");
    }
    if (installFolder &&
        !CopyInstallFolder(check->installFolder, check->scratch.base, &check->copy)) {
        return Stop(check, CheckStart::NotMade, "%s cannot be copied", check->copy.failedPath);
    }
    std::snprintf(check->archivePath, MAX_PATH, "%s",
                  check->copy.archiveCopy[0] ? check->copy.archiveCopy : archive);
    OpenUnpack(&check->unpack, check->archivePath);
    if (!check->unpack.handle) {
        char reason[MAX_PATH];
        return Stop(check, CheckStart::ArchiveUnopened, "%s",
                    DescribeUnopenedArchive(check->archivePath, reason));
    }
    OpenHeaderWalk(&check->walk, check->archivePath);
    if (!OpenWarnings(&check->warnings, check->unpack.entryCount)) {
        return Stop(check, CheckStart::NotMade, "there is no memory for the entries' notes");
    }
    return CheckStart::Ready;
}

bool CheckNextEntry(ArchiveCheck* check, EntryVerdict* verdict)
{
    if (!UnpackNextEntry(&check->unpack)) return false;
    verdict->index = check->unpack.nextIndex - 1;
    EntryHeaders headers;
    ReadEntryHeaders(&check->walk, verdict->index, &headers);
    NameVerdict(check->unpack, headers, verdict);
    JudgeStep(*check, headers, verdict);
    const bool described = check->unpack.described == RESULT_OK;
    NoteEntry(&check->warnings, *verdict, described ? check->unpack.entry.attributes : 0, headers);
    return true;
}

bool CloseCheck(ArchiveCheck* check)
{
    const bool complete = CloseUnpack(&check->unpack);
    CloseHeaderWalk(&check->walk);
    CloseWarnings(&check->warnings);
    SetCurrentDirectoryA(check->startDirectory);
    check->scratchRemoved = RemoveCheckScratch(&check->scratch);
    return complete;
}
