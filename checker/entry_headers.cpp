#include "entry_headers.h"

#include <cstring>

#include "../zip/unicode_path.h"

namespace {

// The updater's own way there: a reader whose header could not be read starts
// again from the first entry; a damaged header stops the walk for good.
ReaderStatus WalkToEntry(HeaderWalk* walk, int32_t index)
{
    DirectoryReader* directory = walk->directory;
    if (walk->damagedIndex >= 0 && index >= walk->damagedIndex) return READER_BAD_ARCHIVE;
    ReaderStatus status = READER_OK;
    if (index < directory->currentIndex || !directory->currentValid) {
        status = GoToFirstEntry(directory);
    }
    while (status == READER_OK && directory->currentIndex < index) {
        status = GoToNextEntry(directory);
    }
    if (status == READER_BAD_ARCHIVE) walk->damagedIndex = directory->currentIndex;
    return status;
}

void ReadUtf8Name(DirectoryReader* directory, EntryHeaders* headers)
{
    const EntryInfo& info = headers->info;
    if (headers->nameCut) return;
    if (info.flags & kFlagUtf8Name) {
        std::memcpy(headers->utf8Name, headers->name, info.nameSize);
        headers->utf8Length = info.nameSize;
        return;
    }
    // A block that cannot be read leaves no UTF-8 name: the refusal is then
    // told as damaged headers.
    ReadUnicodePath(directory, info, headers->name, headers->utf8Name, sizeof headers->utf8Name,
                    &headers->utf8Length);
}

}  // namespace

bool OpenHeaderWalk(HeaderWalk* walk, const char* archivePath)
{
    walk->damagedIndex = -1;
    walk->directory = OpenDirectory(OpenByteSource(archivePath));
    return walk->directory != nullptr;
}

void ReadEntryHeaders(HeaderWalk* walk, int32_t index, EntryHeaders* headers)
{
    headers->reached = false;
    headers->name[0] = '\0';
    headers->nameCut = false;
    headers->localAgrees = false;
    headers->utf8Length = 0;
    if (!walk->directory || WalkToEntry(walk, index) != READER_OK) return;
    if (ReadCentralHeader(walk->directory, &headers->info, nullptr, headers->name, MAX_PATH) !=
        READER_OK) {
        return;
    }
    headers->reached = true;
    if (headers->info.nameSize >= MAX_PATH) {
        headers->nameCut = true;
        headers->name[MAX_PATH - 1] = '\0';
    }
    LocalHeaderLayout layout;
    headers->localAgrees = CheckLocalHeader(walk->directory, &layout) == READER_OK;
    ReadUtf8Name(walk->directory, headers);
}

void CloseHeaderWalk(HeaderWalk* walk)
{
    CloseDirectory(walk->directory);
    walk->directory = nullptr;
}
