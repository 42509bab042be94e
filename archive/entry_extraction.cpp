#include <cstring>
#include <new>

#include "../platform/path_text.h"
#include "../zip/entry_stream.h"
#include "archive_reader.h"
#include "ensure_directory.h"
#include "entry_mode.h"
#include "installed_copy.h"
#include "own_names.h"
#include "result_codes.h"
#include "status_translation.h"
#include "target_replacement.h"
#include "windows_names.h"

namespace {

// A name ending in a separator is a folder too, whatever its attributes say:
// no file can be made under such a name.
bool IsDirectoryEntry(const ArchiveEntry& entry, const char* targetName)
{
    return (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) || EndsWithSeparator(targetName);
}

// A time the archive does not give is zero, which SetFileTime takes as
// "leave this one alone": the file keeps the time of its making.
void SetEntryTimes(HANDLE file, const ArchiveEntry& entry)
{
    SetFileTime(file, &entry.creationTime, &entry.accessTime, &entry.writeTime);
}

}  // namespace

// One failed entry fails the whole update: Close then undoes every change.
int32_t ArchiveReader::ExtractEntry(int32_t index, const char* targetName)
{
    if (!directory) return RESULT_BAD_STATE;
    if (index < 0 || index >= int32_t(directory->entryCount) || !targetName) return RESULT_ARGS;
    const int32_t result = WriteEntry(index, targetName);
    if (result != RESULT_OK) updateFailed = true;
    return result;
}

int32_t ArchiveReader::WriteEntry(int32_t index, const char* targetName)
{
    const int32_t walked = TranslateReaderStatus(ReaderStage::FindEntry, WalkToEntry(index));
    if (walked != RESULT_OK) return walked;
    ArchiveEntry entry;
    const int32_t described = GetEntry(index, &entry);
    if (described != RESULT_OK) return described;
    if (IsDirectoryEntry(entry, targetName)) return ExtractDirectory(targetName);

    ExtractionTarget target;
    int32_t result = ResolveExtractionTarget(baseDirectory, targetName, &target);
    if (result == RESULT_OK)
        result = FindOldFile(&target, baseDirectory, IsFolderMadeByRun(journal, target.folder),
                             &writtenFiles);
    if (result != RESULT_OK) return result;
    if (IsTheArchive(target)) return RESULT_NO_FILE;
    // A read-only file is never replaced; one that already holds the entry's
    // bytes is in place.
    if (target.readOnly) {
        const EntryInfo& info = directory->currentInfo;
        return HoldsEntryData(target.path, info.uncompressedSize, info.crc) ? RESULT_OK
                                                                            : RESULT_NO_FILE;
    }
    bool folderKnown = false;
    if (!MakeTargetFolders(target, &folderKnown)) return RESULT_NO_FILE;
    OwnFilePaths own;
    bool inMadeFolder = false;
    HANDLE file = CreateTemporary(entry, target, folderKnown, &own, &inMadeFolder);
    if (file == INVALID_HANDLE_VALUE) return RESULT_NO_FILE;
    // Recorded before the temporary gets its data and anything the
    // application uses changes, so that an interruption at any point can be
    // undone. A new file in a folder the run made needs no record: undoing
    // the folder takes all it holds.
    const FileUpdate change{target.path, own.temporary, own.kept, own.movedAside};
    result = target.exists && !PlaceOldFileNames(target, &own) ? RESULT_NO_FILE : RESULT_OK;
    if (result == RESULT_OK && (target.exists || !inMadeFolder) &&
        !RecordFileUpdate(&journal, change))
        result = RESULT_WRITE;
    if (result != RESULT_OK) {
        // Not recorded: no undo would know of it.
        CloseHandle(file);
        RemoveOwnFile(own.temporary);
        return result;
    }
    result = WriteTemporary(file, entry);
    if (result == RESULT_OK) result = ReplaceTarget(change, &waits);
    if (result == RESULT_OK)
        RememberWrittenFile(&writtenFiles, baseDirectory, target.path, entry.uncompressedSize);
    return result;
}

// An entry that would be written over the archive being read is refused: the
// archive must stay readable to the end, and it is deleted after the run.
// Only a target of the archive's size is asked what file it is, whatever
// name or path leads there (another case, a short name, a second link);
// when that cannot be told, the archive's name alone refuses a target.
bool ArchiveReader::IsTheArchive(const ExtractionTarget& target) const
{
    if (!target.exists) return false;
    const bool sameName =
        IsSameNameIgnoringCase(target.path + std::strlen(target.folder), archiveName);
    if (!archive.known) return sameName;
    if (target.size != archiveSize) return false;
    const FileIdentity found = IdentifyFile(target.path);
    return found.known ? IsSameFile(found, archive) : sameName;
}

// A folder entry: the chain is made, and must exist afterwards.
int32_t ArchiveReader::ExtractDirectory(const char* targetName)
{
    const bool absolute = IsAbsoluteName(targetName);
    if (!absolute && HasParentComponent(targetName)) return RESULT_ARGS;
    if (HasOwnNameComponent(targetName) || IsChangedByWindows(targetName)) return RESULT_NO_FILE;
    const char* base = absolute ? nullptr : baseDirectory;
    char full[MAX_PATH];
    if (!ConcatenatePath(full, base, targetName)) return RESULT_NO_FILE;
    if (!EnsureDirectory(&journal, base, targetName)) return RESULT_NO_FILE;
    const DWORD attributes = GetFileAttributesA(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return RESULT_NO_FILE;
    }
    // A folder the update writes to: leftovers of earlier runs go, as for
    // the first file written in a folder.
    char folder[MAX_PATH];
    if (ConcatenatePath(folder, full, EndsWithSeparator(full) ? "" : "/")) PrepareFolder(folder);
    return RESULT_OK;
}

// A folder's chain is made (recorded first) for the first file made in it
// only: `known` says that it was known to exist and nothing was checked.
bool ArchiveReader::MakeTargetFolders(const ExtractionTarget& target, bool* known)
{
    *known = IsKnownFolder(knownFolders, target.folder);
    if (*known) return true;
    if (!EnsureDirectory(&journal, target.base, target.directoryPart)) return false;
    PrepareFolder(target.folder);
    return true;
}

// The first time the run places anything in a folder: what earlier runs
// left there goes first.
void ArchiveReader::PrepareFolder(const char* folder)
{
    if (IsKnownFolder(knownFolders, folder)) return;
    SweepFolderOnce(&sweep, folder);
    RememberFolder(knownFolders, folder);
}

// The folder nearest the target with room for an own file, prepared.
bool ArchiveReader::FindOwnRoom(const ExtractionTarget& target, char (&room)[MAX_PATH])
{
    if (!FindRoomForOwnFile(target.folder, FloorLengthOf(target.folder, target.base), room))
        return false;
    PrepareFolder(room);
    return true;
}

// The two names an old file may be kept under: free own names beside it, or
// in the nearest folder above it with room.
bool ArchiveReader::PlaceOldFileNames(const ExtractionTarget& target, OwnFilePaths* paths)
{
    char room[MAX_PATH];
    return FindOwnRoom(target, room) && ChooseFreeOwnName(room, kKeptExtension, paths->kept) &&
           ChooseFreeOwnName(room, kKeptExtension, paths->movedAside);
}

// The temporary, made empty with the entry's attributes, beside the target
// or in the nearest folder above it with room; `inMadeFolder` says whether
// that folder is one the run made.
HANDLE ArchiveReader::CreateTemporary(const ArchiveEntry& entry, const ExtractionTarget& target,
                                      bool folderKnown, OwnFilePaths* paths, bool* inMadeFolder)
{
    paths->temporary[0] = paths->kept[0] = paths->movedAside[0] = '\0';
    char room[MAX_PATH];
    if (!FindOwnRoom(target, room)) return INVALID_HANDLE_VALUE;
    const DWORD attributes = entry.attributes ? entry.attributes : FILE_ATTRIBUTE_NORMAL;
    HANDLE file = CreateOwnTemporary(room, attributes, paths->temporary);
    if (file == INVALID_HANDLE_VALUE && folderKnown) {
        // The known folder has gone since: others may be gone with it.
        ForgetAllFolders(knownFolders);
        if (EnsureDirectory(&journal, target.base, target.directoryPart))
            file = CreateOwnTemporary(room, attributes, paths->temporary);
    }
    if (file == INVALID_HANDLE_VALUE) return file;
    RememberFolder(knownFolders, target.folder);
    *inMadeFolder = IsFolderMadeByRun(journal, room);
    return file;
}

// The data goes to the temporary and reaches the disk before the temporary
// takes the target's name: a power cut never leaves a file of zeros under a
// name the application uses. Closes `file`.
int32_t ArchiveReader::WriteTemporary(HANDLE file, const ArchiveEntry& entry)
{
    if (!dataBuffer) dataBuffer = new (std::nothrow) uint8_t[kDataBufferSize];
    // No memory to carry the data: nothing is written.
    int32_t result = dataBuffer ? ApplyEntryMode(file, directory->currentInfo) : RESULT_WRITE;
    if (result == RESULT_OK) result = CopyEntryData(file);
    if (result == RESULT_OK) SetEntryTimes(file, entry);
    if (result == RESULT_OK && !FlushFileBuffers(file)) result = RESULT_WRITE;
    // A failed temporary stays for the undo, since that it is still there is
    // what tells the undo that the target was never touched; its room on the
    // disk is given back at once.
    if (result != RESULT_OK && SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0)
        SetEndOfFile(file);
    if (!CloseHandle(file) && result == RESULT_OK) result = RESULT_WRITE;
    return result;
}

// Copies the current entry's data into `file`, one write per delivery, and
// accepts it only when it ended with every byte and the right CRC.
int32_t ArchiveReader::CopyEntryData(HANDLE file)
{
    OpenEntryStream(directory, password);
    int32_t result = RESULT_OK;
    for (;;) {
        uint8_t endFlag = 0;
        const int n = ReadEntryStream(directory, dataBuffer, kDataBufferSize, &endFlag);
        if (n < 0) {
            result = TranslateReaderStatus(ReaderStage::ReadData, n);
            break;
        }
        DWORD written = 0;
        if (n > 0 &&
            (!WriteFile(file, dataBuffer, DWORD(n), &written, nullptr) || written != DWORD(n))) {
            result = RESULT_WRITE;
            break;
        }
        if (endFlag) break;
        if (n == 0) {
            // Nothing delivered and no end: a stream that makes no progress.
            result = TranslateReaderStatus(ReaderStage::ReadData, READER_BAD_ARCHIVE);
            break;
        }
    }
    const ReaderStatus closed = CloseEntryStream(directory);
    if (result == RESULT_OK) result = TranslateReaderStatus(ReaderStage::CloseData, closed);
    return result;
}
