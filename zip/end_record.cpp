#include <cstring>
#include <new>

#include "directory_reader.h"

namespace {

constexpr uint32_t kMaxSearchBack = 0xFFFF;
constexpr uint32_t kEndRecordSize = 22;

bool IsEndSignatureAt(const uint8_t* p)
{
    return p[0] == 0x50 && p[1] == 0x4B && p[2] == 0x05 && p[3] == 0x06;
}

// Whether the central directory that the record at `position` describes
// starts with a central header. The one directory without a header is an
// empty archive's, and an end record that says so is believed only where
// it is the whole archive, from the file's first byte: one appended to
// other data, or hidden in a comment, would turn any archive into nothing.
DirectoryFault FitDirectory(ByteSource* source, const uint8_t* record, uint32_t position)
{
    const uint32_t entries = DecodeUInt16(record + 8);
    const uint32_t total = DecodeUInt16(record + 10);
    const uint32_t size = DecodeUInt32(record + 12);
    const uint32_t offset = DecodeUInt32(record + 16);
    if (size == 0) {
        const bool empty = entries == 0 && total == 0 && offset == 0 &&
                           uint64_t(source->startOffset) + position == 0;
        return empty ? DirectoryFault::None : DirectoryFault::NoDirectoryAtEndRecord;
    }
    if (size > position || !SeekSource(source, position - size)) {
        return DirectoryFault::NoDirectoryAtEndRecord;
    }
    uint32_t signature = 0;
    if (ReadUInt32(source, &signature) != READER_OK) return DirectoryFault::Unreadable;
    return signature == kCentralSignature ? DirectoryFault::None
                                          : DirectoryFault::NoDirectoryAtEndRecord;
}

// The signatures in the stretch searched, up to two: only an archive with one
// is taken with bytes after it.
uint32_t CountSignatures(const uint8_t* tail, uint32_t size)
{
    uint32_t count = 0;
    for (uint32_t i = 0; i + 4 <= size && count < 2; ++i) {
        const void* hit = std::memchr(tail + i, 0x50, size - 3 - i);
        if (hit == nullptr) break;
        i = uint32_t(static_cast<const uint8_t*>(hit) - tail);
        if (IsEndSignatureAt(tail + i)) ++count;
    }
    return count;
}

}  // namespace

uint32_t FindEndRecord(ByteSource* source, DirectoryCheck* check)
{
    DirectoryCheck ignored{};
    DirectoryCheck& found = check ? *check : ignored;
    found.fault = DirectoryFault::Unreadable;
    found.bytesAfterComment = 0;
    uint32_t length = 0;
    if (!SourceLength(source, &length)) return kEndRecordNotFound;
    if (length < kEndRecordSize) {
        found.fault = DirectoryFault::NoEndRecord;
        return kEndRecordNotFound;
    }
    // The whole stretch searched, in one read: the first signature that fits
    // is wanted, not the last, so every one in it is looked at.
    const uint32_t back = length < kMaxSearchBack ? length : kMaxSearchBack;
    const uint32_t start = length - back;
    uint8_t* tail = new (std::nothrow) uint8_t[back];
    if (tail == nullptr) return kEndRecordNotFound;
    if (!SeekSource(source, start) || ReadBytes(tail, back, 1, source) != 1) {
        delete[] tail;
        return kEndRecordNotFound;
    }
    found.fault = DirectoryFault::NoEndRecord;
    uint32_t result = kEndRecordNotFound;
    uint32_t shortRecord = kEndRecordNotFound;    // the last whose comment ends before the file
    const uint32_t last = back - kEndRecordSize;  // the last offset a whole record fits at
    for (uint32_t i = 0; i <= last; ++i) {
        const void* hit = std::memchr(tail + i, 0x50, last + 1 - i);
        if (hit == nullptr) break;
        i = uint32_t(static_cast<const uint8_t*>(hit) - tail);
        if (!IsEndSignatureAt(tail + i)) continue;
        const uint64_t commentEnd =
            uint64_t(start) + i + kEndRecordSize + DecodeUInt16(tail + i + 20);
        if (commentEnd != length) {
            if (found.fault < DirectoryFault::EndRecordNotAtEnd) {
                found.fault = DirectoryFault::EndRecordNotAtEnd;
            }
            found.bytesAfterComment = commentEnd < length ? uint32_t(length - commentEnd) : 0;
            shortRecord = commentEnd < length ? start + i : kEndRecordNotFound;
            continue;
        }
        const DirectoryFault fault = FitDirectory(source, tail + i, start + i);
        if (fault != DirectoryFault::NoDirectoryAtEndRecord) {
            found.fault = fault;
            if (fault == DirectoryFault::None) result = start + i;
            break;
        }
        found.fault = fault;
        found.endRecordPos = start + i;
    }
    // Bytes after the comment, as a tool that appends a signature or padding
    // leaves them: believed only for the one end record there is, with a
    // directory that starts where it says (the walk checks the rest), and
    // never for an empty archive, which would turn any file into nothing.
    if (result == kEndRecordNotFound && shortRecord != kEndRecordNotFound &&
        CountSignatures(tail, back) == 1 && DecodeUInt32(tail + (shortRecord - start) + 12) != 0 &&
        FitDirectory(source, tail + (shortRecord - start), shortRecord) == DirectoryFault::None) {
        found.fault = DirectoryFault::None;
        result = shortRecord;
    } else if (result != kEndRecordNotFound) {
        found.bytesAfterComment = 0;
    }
    delete[] tail;
    return result;
}
