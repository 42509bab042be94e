#include <cstdio>
#include <cstring>
#include <new>

#include "../zip/entry_stream.h"
#include "archive_reader.h"
#include "ensure_directory.h"
#include "result_codes.h"
#include "target_name.h"
#include "temporary_file.h"

namespace {

bool IsSet(const FILETIME& time)
{
    return time.dwLowDateTime != 0 || time.dwHighDateTime != 0;
}

// A directory entry: the chain is made and must exist afterwards.
int32_t ExtractDirectory(const char* base, const char* targetName, KnownFolders& knownFolders)
{
    char full[MAX_PATH];
    const int length = std::snprintf(full, MAX_PATH, "%s%s", base ? base : "", targetName);
    if (length < 0 || length >= MAX_PATH) return RESULT_NO_FILE;
    EnsureDirectory(base, targetName);
    const DWORD attributes = GetFileAttributesA(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return RESULT_NO_FILE;
    }
    RememberFolder(knownFolders, full);
    return RESULT_OK;
}

// An existing target that can never be replaced: a folder, or a read-only file.
bool IsReplaceable(const char* targetPath)
{
    const DWORD attributes = GetFileAttributesA(targetPath);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

}  // namespace

int32_t ArchiveReader::ExtractEntry(int32_t index, const char* targetName)
{
    if (!directory) return RESULT_BAD_STATE;
    if (index < 0 || index >= int32_t(directory->entryCount) || !targetName) return RESULT_ARGS;
    const int32_t walked = WalkToEntry(index);
    if (walked != RESULT_OK) return walked;
    ArchiveEntry entry;
    const int32_t described = GetEntry(index, &entry);
    if (described != RESULT_OK) return described;

    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) || EndsWithSeparator(targetName)) {
        const bool absolute = IsAbsoluteName(targetName);
        if (!absolute && HasParentComponent(targetName)) return RESULT_ARGS;
        return ExtractDirectory(absolute ? nullptr : baseDirectory, targetName, knownFolders);
    }

    const char* filePart = FindFilePart(targetName);
    const size_t directoryLength = size_t(filePart - targetName);
    if (directoryLength >= MAX_PATH) return RESULT_NO_FILE;
    char directoryPart[MAX_PATH];
    std::memcpy(directoryPart, targetName, directoryLength);
    directoryPart[directoryLength] = '\0';

    const char* base = IsAbsoluteName(directoryPart) ? nullptr : baseDirectory;
    if (base && HasParentComponent(targetName)) return RESULT_ARGS;
    char targetPath[MAX_PATH];
    int length =
        std::snprintf(targetPath, MAX_PATH, "%s%s%s", base ? base : "", directoryPart, filePart);
    if (length < 0 || length >= MAX_PATH) return RESULT_NO_FILE;
    char folder[MAX_PATH];
    length = std::snprintf(folder, MAX_PATH, "%s%s", base ? base : "", directoryPart);
    if (length < 0 || length >= MAX_PATH) return RESULT_NO_FILE;

    // A folder's chain is checked for the first file made in it only. Should
    // the folder have gone since, the temporary file cannot be made: the
    // chain is made again and the file tried once more.
    const bool known = IsKnownFolder(knownFolders, folder);
    if (!known) EnsureDirectory(base, directoryPart);
    if (!IsReplaceable(targetPath)) return RESULT_NO_FILE;
    if (!dataBuffer) dataBuffer = new (std::nothrow) uint8_t[kDataBufferSize];
    if (!dataBuffer) return RESULT_INFLATE;

    char temporaryPath[MAX_PATH];
    HANDLE file = CreateTemporaryFile(folder, entry.attributes, temporaryPath);
    if (file == INVALID_HANDLE_VALUE && known) {
        ForgetAllFolders(knownFolders);
        EnsureDirectory(base, directoryPart);
        file = CreateTemporaryFile(folder, entry.attributes, temporaryPath);
    }
    if (file == INVALID_HANDLE_VALUE) return RESULT_NO_FILE;
    RememberFolder(knownFolders, folder);

    int32_t result = CopyEntryData(file);
    if (result == RESULT_OK) {
        SetFileTime(file, IsSet(entry.creationTime) ? &entry.creationTime : nullptr,
                    IsSet(entry.accessTime) ? &entry.accessTime : nullptr,
                    IsSet(entry.writeTime) ? &entry.writeTime : nullptr);
    }
    if (!CloseHandle(file) && result == RESULT_OK) result = RESULT_WRITE;
    if (result == RESULT_OK && !MoveFileExA(temporaryPath, targetPath, MOVEFILE_REPLACE_EXISTING)) {
        result = RESULT_NO_FILE;
    }
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
        if (n == READER_PASSWORD) {
            result = RESULT_PASSWORD;
            break;
        }
        if (n < 0) {
            result = RESULT_INFLATE;
            break;
        }
        if (n > 0) {
            DWORD written = 0;
            if (!WriteFile(file, dataBuffer, DWORD(n), &written, nullptr) || written != DWORD(n)) {
                result = RESULT_WRITE;
                break;
            }
        }
        if (endFlag) break;
        if (n == 0) {
            result = RESULT_INFLATE;
            break;
        }
    }
    const int closed = CloseEntryStream(directory);
    if (result == RESULT_OK && closed != READER_OK) result = RESULT_CORRUPT;
    return result;
}
