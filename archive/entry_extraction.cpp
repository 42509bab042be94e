#include <cstdio>
#include <cstring>
#include <new>

#include "../platform/path_text.h"
#include "../zip/entry_stream.h"
#include "archive_reader.h"
#include "ensure_directory.h"
#include "result_codes.h"
#include "status_translation.h"
#include "temporary_file.h"
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

int32_t ArchiveReader::ExtractEntry(int32_t index, const char* targetName)
{
    if (!directory) return RESULT_BAD_STATE;
    if (index < 0 || index >= int32_t(directory->entryCount) || !targetName) return RESULT_ARGS;
    const int32_t walked = TranslateReaderStatus(ReaderStage::FindEntry, WalkToEntry(index));
    if (walked != RESULT_OK) return walked;
    ArchiveEntry entry;
    const int32_t described = GetEntry(index, &entry);
    if (described != RESULT_OK) return described;
    if (IsDirectoryEntry(entry, targetName)) return ExtractDirectory(targetName);

    ExtractionTarget target;
    const int32_t resolved =
        ResolveExtractionTarget(baseDirectory, targetName, &writtenFiles, &target);
    if (resolved != RESULT_OK) return resolved;
    if (IsTheArchive(target)) return RESULT_NO_FILE;
    const bool folderKnown = MakeTargetFolders(target);
    char temporaryPath[MAX_PATH];
    const int32_t written = WriteTemporary(entry, target, folderKnown, temporaryPath);
    if (written != RESULT_OK) return written;
    const int32_t replaced = ReplaceTarget(temporaryPath, target.path, &replacement, &movedAside);
    if (replaced == RESULT_OK) {
        RememberWrittenFile(&writtenFiles, baseDirectory, target.path, entry.uncompressedSize);
    }
    return replaced;
}

// An entry that would be written over the archive being read is refused: the
// archive must stay readable to the end, and it is deleted after the run.
// Only a target of the archive's file name is opened to compare what file
// it is, whatever path leads there; when the archive's own identity is not
// known, that name alone refuses it.
bool ArchiveReader::IsTheArchive(const ExtractionTarget& target) const
{
    const char* filePart = target.path + std::strlen(target.folder);
    if (!IsSameNameIgnoringCase(filePart, archiveName)) return false;
    if (!archiveIdentityKnown) return true;
    HANDLE file = CreateFileA(target.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION found;
    const bool known = GetFileInformationByHandle(file, &found) != FALSE;
    CloseHandle(file);
    return !known || (found.dwVolumeSerialNumber == archiveIdentity.dwVolumeSerialNumber &&
                      found.nFileIndexHigh == archiveIdentity.nFileIndexHigh &&
                      found.nFileIndexLow == archiveIdentity.nFileIndexLow);
}

// A folder entry: the chain is made, and must exist afterwards.
int32_t ArchiveReader::ExtractDirectory(const char* targetName)
{
    const bool absolute = IsAbsoluteName(targetName);
    if (!absolute && HasParentComponent(targetName)) return RESULT_ARGS;
    if (IsChangedByWindows(targetName)) return RESULT_NO_FILE;
    const char* base = absolute ? nullptr : baseDirectory;
    char full[MAX_PATH];
    const int length = std::snprintf(full, MAX_PATH, "%s%s", base ? base : "", targetName);
    if (length < 0 || length >= MAX_PATH) return RESULT_NO_FILE;
    const bool existed = GetFileAttributesA(full) != INVALID_FILE_ATTRIBUTES;
    EnsureDirectory(base, targetName);
    const DWORD attributes = GetFileAttributesA(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return RESULT_NO_FILE;
    }
    if (existed && !IsKnownFolder(knownFolders, full)) {
        // A folder the update writes to: leftovers of earlier runs go, as
        // for the first file written in a folder (one made now has none).
        char folder[MAX_PATH];
        const char* separator = EndsWithSeparator(full) ? "" : "/";
        const int folderLength = std::snprintf(folder, MAX_PATH, "%s%s", full, separator);
        if (folderLength > 0 && folderLength < MAX_PATH) DeleteLeftoversIn(folder);
    }
    RememberFolder(knownFolders, full);
    return RESULT_OK;
}

// A folder's chain is checked for the first file made in it only: true when
// the folder is known to exist and nothing was checked. That first time,
// what earlier runs moved aside there and could not delete goes (a folder
// this run makes has none).
bool ArchiveReader::MakeTargetFolders(const ExtractionTarget& target)
{
    if (IsKnownFolder(knownFolders, target.folder)) return true;
    const bool existed = GetFileAttributesA(target.folder) != INVALID_FILE_ATTRIBUTES;
    EnsureDirectory(target.base, target.directoryPart);
    if (existed) DeleteLeftoversIn(target.folder);
    return false;
}

// The data goes to a temporary beside the target first, so that a failed
// entry never leaves a broken file in place of a good one.
int32_t ArchiveReader::WriteTemporary(const ArchiveEntry& entry, const ExtractionTarget& target,
                                      bool folderKnown, char (&temporaryPath)[MAX_PATH])
{
    if (!dataBuffer) dataBuffer = new (std::nothrow) uint8_t[kDataBufferSize];
    if (!dataBuffer) return RESULT_WRITE;  // no memory to carry the data: nothing is written
    HANDLE file = CreateTemporaryFile(target.folder, entry.attributes, temporaryPath);
    if (file == INVALID_HANDLE_VALUE && folderKnown) {
        // The known folder has gone since: others may be gone with it.
        ForgetAllFolders(knownFolders);
        EnsureDirectory(target.base, target.directoryPart);
        file = CreateTemporaryFile(target.folder, entry.attributes, temporaryPath);
    }
    if (file == INVALID_HANDLE_VALUE) return RESULT_NO_FILE;
    RememberFolder(knownFolders, target.folder);

    int32_t result = CopyEntryData(file);
    if (result == RESULT_OK) SetEntryTimes(file, entry);
    if (!CloseHandle(file) && result == RESULT_OK) result = RESULT_WRITE;
    if (result != RESULT_OK) RemoveTemporaryFile(temporaryPath);
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
