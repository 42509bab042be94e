#include <cstring>
#include <new>

#include "../platform/execute_permission.h"
#include "../platform/path_text.h"
#include "../zip/entry_stream.h"
#include "archive_reader.h"
#include "entry_mode.h"
#include "installed_copy.h"
#include "result_codes.h"
#include "status_translation.h"
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

// One failed entry fails the whole update: Close then swaps nothing in.
int32_t ArchiveReader::ExtractEntry(int32_t index, const char* targetName)
{
    lastCause = CAUSE_NOT_OPEN;
    if (!directory) return ResultOfCause(lastCause);
    lastStaged[0] = '\0';
    lastCause = CAUSE_NO_SUCH_ENTRY;
    if (index < 0 || index >= int32_t(directory->entryCount) || !targetName)
        return ResultOfCause(lastCause);
    lastCause = WriteEntry(index, targetName);
    if (lastCause != CAUSE_NONE) updateFailed = true;
    return ResultOfCause(lastCause);
}

RefusalCause ArchiveReader::WriteEntry(int32_t index, const char* targetName)
{
    const RefusalCause walked =
        TranslateReaderStatus(ReaderStage::FindEntry, WalkToEntry(index), directory->currentInfo);
    if (walked != CAUSE_NONE) return walked;
    ArchiveEntry entry;
    const RefusalCause described = DescribeEntry(index, &entry);
    if (described != CAUSE_NONE) return described;
    if (IsDirectoryEntry(entry, targetName)) return ExtractDirectory(targetName);

    ExtractionTarget target;
    RefusalCause cause = ResolveExtractionTarget(baseDirectory, targetName, &target);
    if (cause != CAUSE_NONE) return cause;
    // The update names only paths below the program folder.
    if (!target.base) return CAUSE_OUTSIDE_FOLDER;
    bool lacking = false;
    cause = PlaceTargetFolder(&update, target.directoryPart, &lacking);
    // Another spelling of a file an earlier entry replaces is refused: by the
    // staged mirror for every spelling the file system folds, by the
    // installed file's identity for a short alias, which it does not.
    if (cause == CAUSE_NONE)
        cause = FindOldFile(&target, baseDirectory, lacking,
                            MayBeShortAlias(targetName) ? &writtenFiles : nullptr);
    if (cause != CAUSE_NONE) return cause;
    if (IsTheArchive(target)) return CAUSE_IS_THE_ARCHIVE;
    const EntryInfo& info = directory->currentInfo;
    // A read-only file is never replaced; one that already holds the entry's
    // bytes is in place.
    if (target.readOnly) {
        return HoldsEntryData(target.path, info.uncompressedSize, info.crc)
                   ? CAUSE_NONE
                   : CAUSE_READ_ONLY_TARGET;
    }
    if (!lacking) SweepFolder(target.folder);
    StagedFile staged;
    const DWORD attributes = entry.attributes ? entry.attributes : FILE_ATTRIBUTE_NORMAL;
    HANDLE file = CreateStagedFile(&update, targetName, lacking, attributes, &staged);
    if (file == INVALID_HANDLE_VALUE) {
        // The mirror holds a file of this name when an earlier entry staged
        // it, in any spelling the file system folds.
        char earlier[MAX_PATH];
        return FindStagedFile(update, targetName, earlier) ? CAUSE_WRITTEN_BEFORE
                                                           : CAUSE_CANNOT_CREATE;
    }
    cause = WriteStagedFile(file, entry, target, staged.readOnly);
    if (cause == CAUSE_NONE && !AddStagedFile(&update, staged, target.exists, target.path,
                                              target.size, info.uncompressedSize, info.crc))
        cause = CAUSE_CANNOT_WRITE;
    if (cause != CAUSE_NONE) {
        DiscardStagedFile(staged);
        return cause;
    }
    if (target.exists)
        RememberWrittenFile(&writtenFiles, LastStagedTarget(update), uint32_t(target.size));
    std::memcpy(lastStaged, staged.path, sizeof lastStaged);
    return CAUSE_NONE;
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

// A folder entry: a folder the install lacks is staged, to go in with the
// swap; a file in its way refuses it.
RefusalCause ArchiveReader::ExtractDirectory(const char* targetName)
{
    if (IsAbsoluteName(targetName)) return CAUSE_OUTSIDE_FOLDER;
    if (HasParentComponent(targetName)) return CAUSE_PARENT_COMPONENT;
    const RefusalCause named = FindNameRefusal(targetName);
    if (named != CAUSE_NONE) return named;
    char relative[MAX_PATH];
    char full[MAX_PATH];
    if (!ConcatenatePath(relative, targetName, EndsWithSeparator(targetName) ? "" : "/") ||
        !ConcatenatePath(full, baseDirectory, relative))
        return CAUSE_PATH_TOO_LONG;
    bool lacking = false;
    const RefusalCause placed = PlaceTargetFolder(&update, relative, &lacking);
    if (placed == CAUSE_NONE && !lacking) SweepFolder(full);
    return placed;
}

// The first time the run places anything in a folder of the install: what
// earlier versions of the updater left there goes.
void ArchiveReader::SweepFolder(const char* folder)
{
    if (IsKnownFolder(sweptFolders, folder)) return;
    SweepFolderOnce(&sweep, folder);
    RememberFolder(sweptFolders, folder);
}

// The data goes to the staged file, the new file keeps the execute bits of
// the one it replaces, and the entry's times. A read-only file is flushed
// now, since nothing can open it for writing later; every other staged file
// reaches the disk with all the others before the swap. Closes `file`.
RefusalCause ArchiveReader::WriteStagedFile(HANDLE file, const ArchiveEntry& entry,
                                            const ExtractionTarget& target, bool readOnly)
{
    if (!dataBuffer) dataBuffer = new (std::nothrow) uint8_t[kDataBufferSize];
    // No memory to carry the data: nothing is written.
    RefusalCause cause = dataBuffer && ApplyEntryMode(file, directory->currentInfo) == RESULT_OK
                             ? CAUSE_NONE
                             : CAUSE_CANNOT_WRITE;
    if (cause == CAUSE_NONE && target.exists) {
        const uint32_t kept = ReadExecuteBits(target.path);
        if (kept != 0 && !AllowExecution(file, kept)) cause = CAUSE_CANNOT_WRITE;
    }
    if (cause == CAUSE_NONE) cause = CopyEntryData(file);
    if (cause == CAUSE_NONE) SetEntryTimes(file, entry);
    if (cause == CAUSE_NONE && readOnly && !FlushFileBuffers(file)) cause = CAUSE_CANNOT_WRITE;
    if (!CloseHandle(file) && cause == CAUSE_NONE) cause = CAUSE_CANNOT_WRITE;
    return cause;
}

// Copies the current entry's data into `file`, one write per delivery, and
// accepts it only when it ended with every byte and the right CRC.
RefusalCause ArchiveReader::CopyEntryData(HANDLE file)
{
    const EntryInfo& info = directory->currentInfo;
    OpenEntryStream(directory, password);
    RefusalCause cause = CAUSE_NONE;
    for (;;) {
        uint8_t endFlag = 0;
        const int n = ReadEntryStream(directory, dataBuffer, kDataBufferSize, &endFlag);
        if (n < 0) {
            cause = TranslateReaderStatus(ReaderStage::ReadData, n, info);
            break;
        }
        DWORD written = 0;
        if (n > 0 &&
            (!WriteFile(file, dataBuffer, DWORD(n), &written, nullptr) || written != DWORD(n))) {
            cause = CAUSE_CANNOT_WRITE;
            break;
        }
        if (endFlag) break;
        if (n == 0) {
            // Nothing delivered and no end: a stream that makes no progress.
            cause = TranslateReaderStatus(ReaderStage::ReadData, READER_BAD_ARCHIVE, info);
            break;
        }
    }
    const ReaderStatus closed = CloseEntryStream(directory);
    if (cause == CAUSE_NONE) cause = TranslateReaderStatus(ReaderStage::CloseData, closed, info);
    return cause;
}
