#include "directory_reader.h"

namespace {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kLocalFixedSize = 30;

// A failed read counts its field as zero and outranks any failed check.
void ReadLocalField(ByteSource* source, bool wide, uint32_t* field, ReaderStatus* status)
{
    const ReaderStatus readStatus = wide ? ReadUInt32(source, field) : ReadUInt16(source, field);
    if (readStatus != READER_OK) {
        *field = 0;
        *status = READER_ERRNO;
    }
}

void Check(bool holds, ReaderStatus* status)
{
    if (!holds && *status == READER_OK) {
        *status = READER_BAD_ARCHIVE;
    }
}

}  // namespace

ReaderStatus CheckLocalHeader(DirectoryReader* reader, LocalHeaderLayout* layout)
{
    if (reader == nullptr || layout == nullptr) {
        return READER_PARAM_ERROR;
    }
    layout->localVariableSize = 0;
    layout->extraOffset = 0;
    layout->localExtraSize = 0;
    ByteSource* source = reader->source;
    if (!SeekSource(source, reader->archiveStart + reader->localHeaderOffset)) {
        return READER_ERRNO;
    }
    const EntryInfo& central = reader->currentInfo;
    ReaderStatus status = READER_OK;
    uint32_t signature = 0, versionNeeded = 0, flags = 0, method = 0, dosDateTime = 0;
    uint32_t crc = 0, compressedSize = 0, uncompressedSize = 0, nameSize = 0, extraSize = 0;
    ReadLocalField(source, true, &signature, &status);
    Check(signature == kLocalSignature, &status);
    ReadLocalField(source, false, &versionNeeded, &status);
    ReadLocalField(source, false, &flags, &status);
    ReadLocalField(source, false, &method, &status);
    Check(method == central.method &&
              (central.method == kMethodStored || central.method == kMethodDeflated),
          &status);
    ReadLocalField(source, true, &dosDateTime, &status);
    // With a data descriptor the local CRC and sizes may be placeholders.
    bool sizesFollowData = (flags & kFlagDataDescriptor) != 0;
    ReadLocalField(source, true, &crc, &status);
    Check(sizesFollowData || crc == central.crc, &status);
    ReadLocalField(source, true, &compressedSize, &status);
    Check(sizesFollowData || compressedSize == central.compressedSize, &status);
    ReadLocalField(source, true, &uncompressedSize, &status);
    Check(sizesFollowData || uncompressedSize == central.uncompressedSize, &status);
    ReadLocalField(source, false, &nameSize, &status);
    Check(nameSize == central.nameSize, &status);
    ReadLocalField(source, false, &extraSize, &status);
    layout->localVariableSize = nameSize + extraSize;
    layout->extraOffset = reader->localHeaderOffset + kLocalFixedSize + nameSize;
    layout->localExtraSize = extraSize;
    return status;
}
