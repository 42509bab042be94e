#include "unicode_path.h"

#include <zlib.h>

namespace {

constexpr uint32_t kUnicodePathTag = 0x7075;
constexpr uint32_t kUnicodePathVersion = 1;
constexpr uint32_t kBlockHeaderSize = 4;
constexpr uint32_t kVersionAndCrcSize = 5;

uint32_t StoredNameCrc(const char* storedName, uint32_t nameSize)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(storedName), uInt(nameSize)));
}

}  // namespace

ReaderStatus ReadUnicodePath(DirectoryReader* reader, const EntryInfo& info, const char* storedName,
                             char* buffer, uint32_t bufferSize, uint32_t* length)
{
    *length = 0;
    ByteSource* source = reader->source;
    const uint32_t field =
        reader->archiveStart + reader->currentHeaderPos + kCentralFixedSize + info.nameSize;
    uint32_t pos = 0;
    while (pos + kBlockHeaderSize <= info.extraSize) {
        uint32_t tag = 0, size = 0;
        if (!SeekSource(source, field + pos)) return READER_ERRNO;
        ReaderStatus status = ReadUInt16(source, &tag);
        if (status == READER_OK) status = ReadUInt16(source, &size);
        if (status != READER_OK) return status;
        // A block that runs past the field is not a block.
        if (pos + kBlockHeaderSize + size > info.extraSize) return READER_OK;
        if (tag == kUnicodePathTag) {
            if (size < kVersionAndCrcSize) return READER_OK;
            uint32_t version = 0, crc = 0;
            status = ReadByte(source, &version);
            if (status == READER_OK) status = ReadUInt32(source, &crc);
            if (status != READER_OK) return status;
            if (version != kUnicodePathVersion || crc != StoredNameCrc(storedName, info.nameSize)) {
                return READER_OK;
            }
            const uint32_t nameLength = size - kVersionAndCrcSize;
            if (nameLength < bufferSize && nameLength > 0 &&
                ReadBytes(buffer, nameLength, 1, source) != 1) {
                return READER_ERRNO;
            }
            *length = nameLength;
            return READER_OK;
        }
        pos += kBlockHeaderSize + size;
    }
    return READER_OK;
}
