#include <cstring>
#include <new>

#include "../platform/execute_permission.h"
#include "../platform/path_text.h"
#include "../zip/entry_stream.h"
#include "archive_reader.h"
#include "entry_mode.h"
#include "installed_copy.h"
#include "own_names.h"
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
    if (!directory) return RESULT_BAD_STATE;
    lastStaged[0] = '\0';
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
    if (result != RESULT_OK) return result;
    // The update names only paths below the program folder.
    if (!target.base) return RESULT_NO_FILE;
    bool lacking = false;
    result = PlaceTargetFolder(&update, target.directoryPart, &lacking);
    // Another spelling of a file an earlier entry replaces is refused: by the
    // staged mirror for every spelling the file system folds, by the
    // installed file's identity for a short alias, which it does not.
    if (result == RESULT_OK)
        result = FindOldFile(&target, baseDirectory, lacking,
                             MayBeShortAlias(targetName) ? &writtenFiles : nullptr);
    if (result != RESULT_OK) return result;
    if (IsTheArchive(target)) return RESULT_NO_FILE;
    const EntryInfo& info = directory->currentInfo;
    // A read-only file is never replaced; one that already holds the entry's
    // bytes is in place.
    if (target.readOnly) {
        return HoldsEntryData(target.path, info.uncompressedSize, info.crc) ? RESULT_OK
                                                                            : RESULT_NO_FILE;
    }
    if (!lacking) SweepFolder(target.folder);
    StagedFile staged;
    const DWORD attributes = entry.attributes ? entry.attributes : FILE_ATTRIBUTE_NORMAL;
    HANDLE file = CreateStagedFile(&update, targetName, lacking, attributes, &staged);
    if (file == INVALID_HANDLE_VALUE) return RESULT_NO_FILE;
    result = WriteStagedFile(file, entry, target, staged.readOnly);
    if (result == RESULT_OK && !AddStagedFile(&update, staged, target.exists, target.path,
                                              target.size, info.uncompressedSize, info.crc))
        result = RESULT_WRITE;
    if (result != RESULT_OK) {
        DiscardStagedFile(staged);
        return result;
    }
    if (target.exists)
        RememberWrittenFile(&writtenFiles, baseDirectory, target.path, uint32_t(target.size));
    std::memcpy(lastStaged, staged.path, sizeof lastStaged);
    return RESULT_OK;
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
int32_t ArchiveReader::ExtractDirectory(const char* targetName)
{
    if (IsAbsoluteName(targetName)) return RESULT_NO_FILE;
    if (HasParentComponent(targetName)) return RESULT_ARGS;
    if (HasOwnNameComponent(targetName) || IsChangedByWindows(targetName)) return RESULT_NO_FILE;
    char relative[MAX_PATH];
    char full[MAX_PATH];
    if (!ConcatenatePath(relative, targetName, EndsWithSeparator(targetName) ? "" : "/") ||
        !ConcatenatePath(full, baseDirectory, relative))
        return RESULT_NO_FILE;
    bool lacking = false;
    const int32_t placed = PlaceTargetFolder(&update, relative, &lacking);
    if (placed == RESULT_OK && !lacking) SweepFolder(full);
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
int32_t ArchiveReader::WriteStagedFile(HANDLE file, const ArchiveEntry& entry,
                                       const ExtractionTarget& target, bool readOnly)
{
    if (!dataBuffer) dataBuffer = new (std::nothrow) uint8_t[kDataBufferSize];
    // No memory to carry the data: nothing is written.
    int32_t result = dataBuffer ? ApplyEntryMode(file, directory->currentInfo) : RESULT_WRITE;
    if (result == RESULT_OK && target.exists) {
        const uint32_t kept = ReadExecuteBits(target.path);
        if (kept != 0 && !AllowExecution(file, kept)) result = RESULT_WRITE;
    }
    if (result == RESULT_OK) result = CopyEntryData(file);
    if (result == RESULT_OK) SetEntryTimes(file, entry);
    if (result == RESULT_OK && readOnly && !FlushFileBuffers(file)) result = RESULT_WRITE;
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
