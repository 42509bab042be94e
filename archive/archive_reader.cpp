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
    reader->lastCause = CAUSE_NONE;
    reader->writtenFiles.paths = &reader->update.texts;
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
    ByteSource* source = OpenByteSource(fileName);
    if (!source) return RESULT_NO_FILE;
    std::snprintf(archiveName, MAX_PATH, "%s", FindFilePart(fileName));
    archive = IdentifyOpenFile(source->file, &archiveSize);
    directory = OpenDirectory(source);
    if (!directory) return RESULT_NO_FILE;
    const int32_t begun = BeginUpdate(&update, baseDirectory);
    if (begun != RESULT_OK) {
        CloseDirectory(directory);
        directory = nullptr;
    }
    return begun;
}

int32_t ArchiveReader::Close()
{
    if (directory) CloseDirectory(directory);
    directory = nullptr;
    ForgetWrittenFiles(&writtenFiles);
    return EndUpdate(&update, !updateFailed);
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
