#include "entry_headers.h"

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
    headers->unicodePath = false;
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
    // Only whether the block is there: the updater's reading is the name.
    char unused[1];
    uint32_t length = 0;
    headers->unicodePath = !headers->nameCut &&
                           ReadUnicodePath(walk->directory, headers->info, headers->name, unused, 0,
                                           &length) == READER_OK &&
                           length > 0;
}

void CloseHeaderWalk(HeaderWalk* walk)
{
    CloseDirectory(walk->directory);
    walk->directory = nullptr;
}
