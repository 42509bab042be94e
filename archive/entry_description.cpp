#include <cstring>
#include <new>

#include "archive_reader.h"
#include "entry_attributes.h"
#include "entry_name.h"
#include "entry_times.h"
#include "result_codes.h"
#include "status_translation.h"

namespace {

void FillCountRecord(uint32_t entryCount, ArchiveEntry* entry)
{
    entry->index = int32_t(entryCount);
    entry->name[0] = '\0';
    entry->attributes = 0;
    entry->accessTime = FILETIME{0, 0};
    entry->creationTime = FILETIME{0, 0};
    entry->writeTime = FILETIME{0, 0};
    entry->compressedSize = 0;
    entry->uncompressedSize = 0;
}

// Reads the local extra field into a new buffer of exactly its length (null
// for an empty field).
ReaderStatus ReadLocalExtraField(DirectoryReader* directory, const LocalHeaderLayout& layout,
                                 uint8_t** extra)
{
    *extra = nullptr;
    if (!SeekSource(directory->source, directory->archiveStart + layout.extraOffset)) {
        return READER_ERRNO;
    }
    if (layout.localExtraSize == 0) return READER_OK;
    uint8_t* buffer = new (std::nothrow) uint8_t[layout.localExtraSize];
    if (!buffer) return READER_INTERNAL_ERROR;
    if (ReadBytes(buffer, layout.localExtraSize, 1, directory->source) != 1) {
        delete[] buffer;
        return READER_ERRNO;
    }
    *extra = buffer;
    return READER_OK;
}

// Cleans the stored name and copies it into the 260-byte field. A name too
// long for the field keeps its first 259 bytes, cut on a character boundary.
void StoreCleanName(const char (&rawName)[MAX_PATH], uint32_t nameSize, char (&name)[MAX_PATH])
{
    char work[MAX_PATH + 1];
    const uint32_t length = nameSize < MAX_PATH ? nameSize : MAX_PATH;
    std::memcpy(work, rawName, length);
    work[length] = '\0';
    const char* clean = SanitiseEntryName(work);
    _mbsnbcpy(reinterpret_cast<unsigned char*>(name), reinterpret_cast<const unsigned char*>(clean),
              MAX_PATH - 1);
    name[MAX_PATH - 1] = '\0';
}

}  // namespace

int32_t ArchiveReader::GetEntry(int32_t index, ArchiveEntry* entry)
{
    if (!directory) return RESULT_BAD_STATE;
    if (index < -1 || index >= int32_t(directory->entryCount)) return RESULT_ARGS;
    if (index != -1 && index == cachedEntryIndex) {
        *entry = cachedEntry;
        return RESULT_OK;
    }
    if (index == -1) {
        FillCountRecord(directory->entryCount, entry);
        return RESULT_OK;
    }

    EntryInfo info;
    char rawName[MAX_PATH];
    LocalHeaderLayout layout;
    ReaderStatus status = WalkToEntry(index);
    if (status == READER_OK)
        status = ReadCentralHeader(directory, &info, nullptr, rawName, MAX_PATH);
    if (status == READER_OK) status = CheckLocalHeader(directory, &layout);
    if (status != READER_OK) return TranslateReaderStatus(ReaderStage::FindEntry, status);
    uint8_t* extra = nullptr;
    status = ReadLocalExtraField(directory, layout, &extra);
    if (status != READER_OK) return TranslateReaderStatus(ReaderStage::ReadLocalExtra, status);

    ArchiveEntry described;
    described.index = directory->currentIndex;
    StoreCleanName(rawName, info.nameSize, described.name);
    described.attributes = MapEntryAttributes(info.versionMadeBy, info.externalAttributes);
    ConvertDosDateTime(info.dosDateTime, &described.writeTime);
    described.accessTime = described.writeTime;
    described.creationTime = described.writeTime;
    described.compressedSize = info.compressedSize;
    described.uncompressedSize = info.uncompressedSize;
    ApplyExtendedTimestamp(extra, layout.localExtraSize, &described);
    delete[] extra;

    *entry = described;
    cachedEntry = described;
    cachedEntryIndex = index;
    return RESULT_OK;
}
