#include "directory_reader.h"

#include <new>

namespace {

// Keeps the first failure: a failed read replaces an earlier structural
// complaint, since the structure was not really seen.
void ReadField16(ByteSource* source, uint32_t* field, ReaderStatus* status)
{
    if (ReadUInt16(source, field) != READER_OK) {
        *status = READER_ERRNO;
    }
}

void ReadField32(ByteSource* source, uint32_t* field, ReaderStatus* status)
{
    if (ReadUInt32(source, field) != READER_OK) {
        *status = READER_ERRNO;
    }
}

ReaderStatus ReadCurrentHeader(DirectoryReader* reader)
{
    const ReaderStatus status =
        ReadCentralHeader(reader, &reader->currentInfo, &reader->localHeaderOffset, nullptr, 0);
    reader->currentValid = status == READER_OK;
    return status;
}

}  // namespace

DirectoryReader* OpenDirectory(ByteSource* source)
{
    if (source == nullptr) {
        return nullptr;
    }
    DirectoryCheck check{};
    if (CheckDirectory(source, &check) != DirectoryFault::None) {
        ReleaseByteSource(source);
        return nullptr;
    }
    DirectoryReader* reader = new (std::nothrow) DirectoryReader{};
    if (reader == nullptr) {
        ReleaseByteSource(source);
        return nullptr;
    }
    reader->source = source;
    reader->entryCount = check.entryCount;
    reader->archiveCommentSize = check.commentSize;
    reader->archiveStart = check.archiveStart;
    reader->endRecordPos = check.endRecordPos;
    reader->directorySize = check.directorySize;
    reader->directoryOffset = check.directoryOffset;
    reader->stream = nullptr;
    source->startOffset = 0;
    GoToFirstEntry(reader);
    return reader;
}

void CloseDirectory(DirectoryReader* reader)
{
    if (reader == nullptr) {
        return;
    }
    ReleaseByteSource(reader->source);
    delete reader;
}

ReaderStatus ReadCentralHeader(DirectoryReader* reader, EntryInfo* info,
                               uint32_t* localHeaderOffset, char* nameBuffer,
                               uint32_t nameBufferSize)
{
    if (reader == nullptr) {
        return READER_PARAM_ERROR;
    }
    ByteSource* source = reader->source;
    if (!SeekSource(source, reader->archiveStart + reader->currentHeaderPos)) {
        return READER_ERRNO;
    }
    ReaderStatus status = READER_OK;
    uint32_t signature = 0;
    if (ReadUInt32(source, &signature) != READER_OK) {
        status = READER_ERRNO;
    } else if (signature != kCentralSignature) {
        status = READER_BAD_ARCHIVE;
    }
    EntryInfo read{};
    uint32_t offset = 0;
    ReadField16(source, &read.versionMadeBy, &status);
    ReadField16(source, &read.versionNeeded, &status);
    ReadField16(source, &read.flags, &status);
    ReadField16(source, &read.method, &status);
    ReadField32(source, &read.dosDateTime, &status);
    ReadField32(source, &read.crc, &status);
    ReadField32(source, &read.compressedSize, &status);
    ReadField32(source, &read.uncompressedSize, &status);
    ReadField16(source, &read.nameSize, &status);
    ReadField16(source, &read.extraSize, &status);
    ReadField16(source, &read.commentSize, &status);
    ReadField16(source, &read.diskStart, &status);
    ReadField16(source, &read.internalAttributes, &status);
    ReadField32(source, &read.externalAttributes, &status);
    ReadField32(source, &offset, &status);
    if (status != READER_OK) {
        return status;
    }
    if (nameBuffer != nullptr && read.nameSize > 0 && nameBufferSize > 0) {
        uint32_t copySize = read.nameSize;
        if (read.nameSize < nameBufferSize) {
            nameBuffer[read.nameSize] = '\0';
        } else {
            copySize = nameBufferSize;
        }
        if (ReadBytes(nameBuffer, copySize, 1, source) != 1) {
            return READER_ERRNO;
        }
    }
    if (info != nullptr) {
        *info = read;
    }
    if (localHeaderOffset != nullptr) {
        *localHeaderOffset = offset;
    }
    return READER_OK;
}

ReaderStatus GoToFirstEntry(DirectoryReader* reader)
{
    if (reader == nullptr) {
        return READER_PARAM_ERROR;
    }
    reader->currentHeaderPos = reader->directoryOffset;
    reader->currentIndex = 0;
    return ReadCurrentHeader(reader);
}

ReaderStatus GoToNextEntry(DirectoryReader* reader)
{
    if (reader == nullptr) {
        return READER_PARAM_ERROR;
    }
    // ">=" rather than "==": an end record that counts no entries must not
    // let the walk run on over whatever follows the first header.
    if (!reader->currentValid ||
        static_cast<uint32_t>(reader->currentIndex) + 1 >= reader->entryCount) {
        return READER_END_OF_LIST;
    }
    const EntryInfo& info = reader->currentInfo;
    reader->currentHeaderPos +=
        kCentralFixedSize + info.nameSize + info.extraSize + info.commentSize;
    reader->currentIndex += 1;
    return ReadCurrentHeader(reader);
}
