#include "directory_reader.h"

namespace {

struct EndRecord {
    uint32_t thisDisk;
    uint32_t directoryDisk;
    uint32_t entriesOnDisk;
    uint32_t totalEntries;
    uint32_t directorySize;
    uint32_t directoryOffset;
    uint32_t commentSize;
};

// The fields after the signature, which the search has seen already.
bool ReadEndRecord(ByteSource* source, uint32_t endPos, EndRecord* record)
{
    if (!SeekSource(source, endPos + 4)) return false;
    uint32_t* const fields16[] = {&record->thisDisk, &record->directoryDisk, &record->entriesOnDisk,
                                  &record->totalEntries};
    for (uint32_t* field : fields16) {
        if (ReadUInt16(source, field) != READER_OK) return false;
    }
    return ReadUInt32(source, &record->directorySize) == READER_OK &&
           ReadUInt32(source, &record->directoryOffset) == READER_OK &&
           ReadUInt16(source, &record->commentSize) == READER_OK;
}

// Walks the central headers from `position` while they last, the directory
// lasts and the count can still be told; gives where the walk stopped.
DirectoryFault WalkHeaders(ByteSource* source, uint64_t* position, uint32_t end, uint32_t* count)
{
    *count = 0;
    while (*position < end && *count < kMostHeadersCounted) {
        uint8_t fixed[kCentralFixedSize];
        if (!SeekSource(source, uint32_t(*position)) ||
            ReadBytes(fixed, kCentralFixedSize, 1, source) != 1) {
            return source->isFile && source->readFailed ? DirectoryFault::Unreadable
                                                        : DirectoryFault::HeaderDamaged;
        }
        if (DecodeUInt32(fixed) != kCentralSignature) return DirectoryFault::HeaderDamaged;
        *count += 1;
        *position += kCentralFixedSize + DecodeUInt16(fixed + 28) + DecodeUInt16(fixed + 30) +
                     DecodeUInt16(fixed + 32);
    }
    return DirectoryFault::None;
}

// Every central header the end record counts, in a row, and nothing else
// in the directory: an archive whose count or size lies would otherwise be
// installed in part, with entries dropped unseen.
DirectoryFault CheckHeaders(ByteSource* source, DirectoryCheck* check)
{
    const uint32_t end = check->endRecordPos;
    uint64_t position = end - check->directorySize;
    const DirectoryFault walked = WalkHeaders(source, &position, end, &check->headersFound);
    if (walked == DirectoryFault::Unreadable) return walked;
    if (walked == DirectoryFault::HeaderDamaged && check->headersFound < check->entryCount) {
        return walked;
    }
    if (position != end && check->headersFound <= check->entryCount) {
        return DirectoryFault::DirectoryEndDisagrees;
    }
    if (check->headersFound != check->entryCount) return DirectoryFault::CountDisagrees;
    return DirectoryFault::None;
}

}  // namespace

DirectoryFault CheckDirectory(ByteSource* source, DirectoryCheck* check)
{
    *check = DirectoryCheck{};
    const uint32_t endPos = FindEndRecord(source, check);
    if (endPos == kEndRecordNotFound) return check->fault;
    EndRecord record{};
    if (!ReadEndRecord(source, endPos, &record)) return check->fault = DirectoryFault::Unreadable;
    check->endRecordPos = endPos;
    check->entryCount = record.entriesOnDisk;
    check->directorySize = record.directorySize;
    check->directoryOffset = record.directoryOffset;
    check->commentSize = record.commentSize;
    if (record.totalEntries != record.entriesOnDisk || record.directoryDisk != 0 ||
        record.thisDisk != 0) {
        return check->fault = DirectoryFault::SpansDisks;
    }
    // Summed wide: offsets near 4 GiB must not wrap round to a small end.
    const uint64_t endFilePos = uint64_t(source->startOffset) + endPos;
    if (uint64_t(record.directoryOffset) + record.directorySize > endFilePos) {
        return check->fault = DirectoryFault::DirectoryPastEndRecord;
    }
    check->archiveStart = uint32_t(endFilePos - record.directoryOffset - record.directorySize);
    return check->fault = CheckHeaders(source, check);
}
