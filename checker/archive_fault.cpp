#include "archive_fault.h"

#include <cstdio>

#include "../zip/directory_reader.h"

namespace {

const char* Entries(uint32_t count)
{
    return count == 1 ? "entry" : "entries";
}

void DescribeCount(const DirectoryCheck& check, char* reason, size_t size)
{
    if (check.headersFound >= kMostHeadersCounted) {
        std::snprintf(reason, size,
                      "the end record counts %u %s but the directory holds more than 65535",
                      unsigned(check.entryCount), Entries(check.entryCount));
        return;
    }
    std::snprintf(reason, size, "the end record counts %u %s but the directory holds %u",
                  unsigned(check.entryCount), Entries(check.entryCount),
                  unsigned(check.headersFound));
}

// A ZIP64 archive keeps its directory's place in records of its own, right
// before the end record: the last of them, the locator, ends where it begins.
bool IsZip64(ByteSource* source, const DirectoryCheck& check)
{
    constexpr uint32_t kLocatorSize = 20;
    constexpr uint32_t kLocatorSignature = 0x07064B50;
    uint32_t signature = 0;
    return check.endRecordPos >= kLocatorSize &&
           SeekSource(source, check.endRecordPos - kLocatorSize) &&
           ReadUInt32(source, &signature) == READER_OK && signature == kLocatorSignature;
}

}  // namespace

bool DescribeArchiveFault(const char* archivePath, char* reason, size_t size)
{
    ByteSource* source = OpenByteSource(archivePath);
    if (!source) {
        std::snprintf(reason, size, "it cannot be opened for reading");
        return true;
    }
    DirectoryCheck check{};
    const DirectoryFault fault = CheckDirectory(source, &check);
    const bool zip64 = fault == DirectoryFault::NoDirectoryAtEndRecord && IsZip64(source, check);
    ReleaseByteSource(source);
    switch (fault) {
        case DirectoryFault::None:
            return false;
        case DirectoryFault::Unreadable:
            std::snprintf(reason, size, "it cannot be read");
            break;
        case DirectoryFault::NoEndRecord:
            std::snprintf(reason, size,
                          "it has no end record: it is not a ZIP archive, or it is cut short");
            break;
        case DirectoryFault::EndRecordNotAtEnd:
            if (check.bytesAfterComment > 0) {
                std::snprintf(reason, size,
                              "%u bytes follow its end record and comment, where the file "
                              "should end",
                              unsigned(check.bytesAfterComment));
            } else {
                std::snprintf(reason, size,
                              "its end record's comment runs past the end of the file");
            }
            break;
        case DirectoryFault::NoDirectoryAtEndRecord:
            std::snprintf(reason, size,
                          zip64 ? "it is a ZIP64 archive, which the updater cannot read"
                                : "no central directory starts where its end record says");
            break;
        case DirectoryFault::SpansDisks:
            std::snprintf(reason, size, "its end record describes an archive split over disks");
            break;
        case DirectoryFault::DirectoryPastEndRecord:
            std::snprintf(reason, size,
                          "its end record's directory offset points before the start of the file");
            break;
        case DirectoryFault::HeaderDamaged:
            std::snprintf(reason, size,
                          "the central header of entry %u is damaged (the end record counts %u)",
                          unsigned(check.headersFound) + 1, unsigned(check.entryCount));
            break;
        case DirectoryFault::DirectoryEndDisagrees:
            std::snprintf(reason, size, "the directory does not end where the end record says");
            break;
        case DirectoryFault::CountDisagrees:
            DescribeCount(check, reason, size);
            break;
    }
    return true;
}

uint32_t CountBytesAfterArchive(const char* archivePath)
{
    ByteSource* source = OpenByteSource(archivePath);
    if (!source) return 0;
    DirectoryCheck check{};
    const DirectoryFault fault = CheckDirectory(source, &check);
    ReleaseByteSource(source);
    return fault == DirectoryFault::None ? check.bytesAfterComment : 0;
}
