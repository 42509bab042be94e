#include "archive_reader.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "../platform/path_text.h"
#include "result_codes.h"

namespace {

// The current directory, ending in a separator. A directory too long to leave
// room for the separator and terminator is refused rather than cut.
bool ReadBaseDirectory(char (&baseDirectory)[MAX_PATH])
{
    baseDirectory[0] = '\0';
    char current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH - 1, current);
    if (length == 0 || length >= MAX_PATH - 1) return false;
    if (!EndsWithSeparator(current)) {
        current[length++] = '/';
        current[length] = '\0';
    }
    std::memcpy(baseDirectory, current, length + 1);
    return true;
}

}  // namespace

ArchiveReader* CreateArchiveReader()
{
    ArchiveReader* reader = new (std::nothrow) ArchiveReader();
    if (!reader) return nullptr;
    reader->directory = nullptr;
    reader->openEntryIndex = -1;
    reader->cachedEntryIndex = -1;
    reader->password = nullptr;
    reader->dataBuffer = nullptr;
    reader->baseDirectory[0] = '\0';
    reader->damagedEntryIndex = -1;
    reader->waits.waitsLeft = kWaitsPerRun;
    reader->journal.file = INVALID_HANDLE_VALUE;
    return reader;
}

void DestroyArchiveReader(ArchiveReader* reader)
{
    if (!reader) return;
    delete[] reader->password;
    delete[] reader->dataBuffer;
    delete reader;
}

int32_t ArchiveReader::Open(const char* fileName)
{
    if (directory || openEntryIndex != -1) return RESULT_BAD_STATE;
    if (!ReadBaseDirectory(baseDirectory)) return RESULT_NO_FILE;
    // An interrupted run is undone before anything else, whether this
    // archive opens or not; one that cannot be undone yet leaves this run
    // nothing to do.
    if (!OpenUpdateJournal(&journal, baseDirectory)) return RESULT_WRITE;
    ByteSource* source = OpenByteSource(fileName);
    if (!source) return RESULT_NO_FILE;
    std::snprintf(archiveName, MAX_PATH, "%s", FindFilePart(fileName));
    archive = IdentifyOpenFile(source->file, &archiveSize);
    directory = OpenDirectory(source);
    return directory ? RESULT_OK : RESULT_NO_FILE;
}

int32_t ArchiveReader::Close()
{
    if (directory) CloseDirectory(directory);
    directory = nullptr;
    ForgetWrittenFiles(&writtenFiles);
    const bool finished = updateFailed ? UndoUpdate(&journal) : CommitUpdate(&journal);
    return finished ? RESULT_OK : RESULT_WRITE;
}

// Moves the directory reader to entry `index`, forward one entry at a time.
// A reader whose current header could not be read starts again from the
// first entry, so one failed read does not strand every later entry. A
// damaged header is remembered instead: no entry behind it can be reached,
// and an end record that claims 65535 entries must not make every one of
// them walk the directory again.
ReaderStatus ArchiveReader::WalkToEntry(int32_t index)
{
    if (damagedEntryIndex >= 0 && index >= damagedEntryIndex) return READER_BAD_ARCHIVE;
    ReaderStatus status = READER_OK;
    if (index < directory->currentIndex || !directory->currentValid) {
        status = GoToFirstEntry(directory);
    }
    while (status == READER_OK && directory->currentIndex < index) {
        status = GoToNextEntry(directory);
    }
    if (status == READER_BAD_ARCHIVE) damagedEntryIndex = directory->currentIndex;
    return status;
}
