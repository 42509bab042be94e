#include "archive_handle.h"

#include <new>

namespace {

// The checks every entry operation makes before it reaches the reader.
int32_t CheckHandle(const ArchiveHandle* handle)
{
    if (!handle) return RESULT_ARGS;
    if (handle->kind != kReadingHandle) return RESULT_WRONG_KIND;
    return RESULT_OK;
}

int32_t RecordReadResult(int32_t result)
{
    g_lastReadResult = result;
    return result;
}

}  // namespace

ArchiveHandle* OpenArchive(const char* fileName)
{
    ArchiveReader* reader = CreateArchiveReader();
    if (!reader) {
        RecordReadResult(RESULT_NO_FILE);
        return nullptr;
    }
    if (RecordReadResult(reader->Open(fileName)) != RESULT_OK) {
        DestroyArchiveReader(reader);
        return nullptr;
    }
    ArchiveHandle* handle = new (std::nothrow) ArchiveHandle{kReadingHandle, reader};
    if (!handle) {
        reader->Close();
        DestroyArchiveReader(reader);
        RecordReadResult(RESULT_NO_FILE);
    }
    return handle;
}

int32_t GetArchiveEntry(ArchiveHandle* handle, int32_t index, ArchiveEntry* entry)
{
    if (!entry) return RecordReadResult(RESULT_ARGS);
    entry->index = 0;
    entry->name[0] = '\0';
    entry->uncompressedSize = 0;
    int32_t result = CheckHandle(handle);
    if (result == RESULT_OK) result = handle->reader->GetEntry(index, entry);
    return RecordReadResult(result);
}

int32_t ExtractArchiveEntry(ArchiveHandle* handle, int32_t index, const char* targetName)
{
    int32_t result = CheckHandle(handle);
    if (result == RESULT_OK) result = handle->reader->ExtractEntry(index, targetName);
    return RecordReadResult(result);
}

int32_t CloseArchive(ArchiveHandle* handle)
{
    if (handle && handle->kind == kReadingHandle) {
        int32_t result = RecordReadResult(handle->reader->Close());
        DestroyArchiveReader(handle->reader);
        delete handle;
        return result;
    }
    // Anything but a reading handle belongs to the writing side.
    g_lastWriteResult = handle ? RESULT_WRONG_KIND : RESULT_ARGS;
    return g_lastWriteResult;
}

RefusalCause FindRefusalCause(const ArchiveHandle* handle)
{
    return handle && handle->kind == kReadingHandle ? handle->reader->lastCause : CAUSE_NONE;
}
