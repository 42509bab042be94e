#include "archive_unpack.h"

void OpenUnpack(ArchiveUnpack* unpack, const char* archivePath)
{
    unpack->handle = OpenArchive(archivePath);
    unpack->entry = ArchiveEntry{};
    GetArchiveEntry(unpack->handle, -1, &unpack->entry);
    unpack->entryCount = unpack->entry.index;
    unpack->nextIndex = 0;
    unpack->complete = unpack->handle != nullptr;
    unpack->described = RESULT_OK;
    unpack->extracted = RESULT_OK;
}

bool UnpackNextEntry(ArchiveUnpack* unpack)
{
    if (unpack->nextIndex >= unpack->entryCount) return false;
    const int32_t index = unpack->nextIndex++;
    unpack->described = GetArchiveEntry(unpack->handle, index, &unpack->entry);
    unpack->extracted = ExtractArchiveEntry(unpack->handle, index, unpack->entry.name);
    unpack->complete =
        unpack->complete && unpack->described == RESULT_OK && unpack->extracted == RESULT_OK;
    return true;
}

bool CloseUnpack(ArchiveUnpack* unpack)
{
    // Closing commits the update, or undoes it when an entry failed.
    const bool closed = CloseArchive(unpack->handle) == RESULT_OK;
    unpack->handle = nullptr;
    unpack->complete = unpack->complete && closed;
    return unpack->complete;
}

bool UnpackArchive(const char* archivePath)
{
    ArchiveUnpack unpack;
    OpenUnpack(&unpack, archivePath);
    while (UnpackNextEntry(&unpack)) {
    }
    return CloseUnpack(&unpack);
}
