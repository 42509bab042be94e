#include <cstring>
#include <memory>
#include <new>

#include "../platform/path_text.h"
#include "../zip/unicode_path.h"
#include "archive_reader.h"
#include "entry_attributes.h"
#include "entry_name.h"
#include "entry_times.h"
#include "name_encoding.h"
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

// The entry's name in the process code page, from UTF-8 or from the
// system's legacy code page: from the stored bytes themselves when bit 11
// says they are UTF-8, else from a Unicode Path block that belongs to them,
// else from the stored bytes in the legacy code page. A
// stored name of MAX_PATH bytes or more is refused, never cut: what is left
// of a cut name, once cleaned, can be the name of another file. So can what
// comes before a zero byte inside a name, or a stored name without its last
// byte when that is a lone lead byte of a double-byte code page (copied on
// character boundaries, "Tavix.exe\x81" becomes "Tavix.exe"): such names
// are damaged.
RefusalCause ReadEntryName(DirectoryReader* directory, const EntryInfo& info,
                           const char (&rawName)[MAX_PATH], char (&name)[MAX_PATH])
{
    if (info.nameSize >= MAX_PATH) return CAUSE_NAME_TOO_LONG;
    if (std::memchr(rawName, '\0', info.nameSize)) return CAUSE_NAME_HAS_ZERO;
    if (info.flags & kFlagUtf8Name) return ConvertUtf8Name(rawName, info.nameSize, name);
    char unicodePath[MAX_PATH * 4];
    uint32_t length = 0;
    const ReaderStatus status =
        ReadUnicodePath(directory, info, rawName, unicodePath, sizeof unicodePath, &length);
    if (status != READER_OK) return TranslateReaderStatus(ReaderStage::ReadNameBlock, status, info);
    if (length >= sizeof unicodePath) return CAUSE_NAME_TOO_LONG;
    if (length > 0) return ConvertUtf8Name(unicodePath, length, name);
    const RefusalCause converted = ConvertLegacyName(rawName, info.nameSize, name);
    if (converted != CAUSE_NONE) return converted;
    return EndsInLoneLeadByte(name) ? CAUSE_CUT_CHARACTER : CAUSE_NONE;
}

// Cleans the name and copies it into the 260-byte field.
void StoreCleanName(const char (&name)[MAX_PATH], char (&field)[MAX_PATH])
{
    const char* clean = SanitiseEntryName(name);
    _mbsnbcpy(reinterpret_cast<unsigned char*>(field),
              reinterpret_cast<const unsigned char*>(clean), MAX_PATH - 1);
    field[MAX_PATH - 1] = '\0';
}

}  // namespace

int32_t ArchiveReader::GetEntry(int32_t index, ArchiveEntry* entry)
{
    lastCause = DescribeEntry(index, entry);
    return ResultOfCause(lastCause);
}

RefusalCause ArchiveReader::DescribeEntry(int32_t index, ArchiveEntry* entry)
{
    if (!directory) return CAUSE_NOT_OPEN;
    if (index < -1 || index >= int32_t(directory->entryCount)) return CAUSE_NO_SUCH_ENTRY;
    if (index != -1 && index == cachedEntryIndex) {
        *entry = cachedEntry;
        return CAUSE_NONE;
    }
    if (index == -1) {
        FillCountRecord(directory->entryCount, entry);
        return CAUSE_NONE;
    }

    EntryInfo info{};
    char rawName[MAX_PATH];
    LocalHeaderLayout layout;
    ReaderStatus status = WalkToEntry(index);
    if (status == READER_OK)
        status = ReadCentralHeader(directory, &info, nullptr, rawName, MAX_PATH);
    if (status != READER_OK) return TranslateReaderStatus(ReaderStage::FindEntry, status, info);
    status = CheckLocalHeader(directory, &layout);
    if (status != READER_OK)
        return TranslateReaderStatus(ReaderStage::CheckLocalHeader, status, info);
    uint8_t* extraBytes = nullptr;
    status = ReadLocalExtraField(directory, layout, &extraBytes);
    if (status != READER_OK)
        return TranslateReaderStatus(ReaderStage::ReadLocalExtra, status, info);
    const std::unique_ptr<uint8_t[]> extra(extraBytes);
    char name[MAX_PATH];
    const RefusalCause named = ReadEntryName(directory, info, rawName, name);
    if (named != CAUSE_NONE) return named;

    ArchiveEntry described;
    described.index = directory->currentIndex;
    StoreCleanName(name, described.name);
    described.attributes = MapEntryAttributes(info.versionMadeBy, info.externalAttributes);
    ConvertDosDateTime(info.dosDateTime, &described.writeTime);
    described.accessTime = described.writeTime;
    described.creationTime = described.writeTime;
    described.compressedSize = info.compressedSize;
    described.uncompressedSize = info.uncompressedSize;
    ApplyExtendedTimestamp(extra.get(), layout.localExtraSize, &described);

    *entry = described;
    cachedEntry = described;
    cachedEntryIndex = index;
    return CAUSE_NONE;
}
