// Builds ZIP archives field by field for tests, so that a test can make
// exactly the odd or hostile archive it needs. Everything the archive declares
// is computed from the content unless a test overrides it.
//
//   TestEntry e;
//   e.name = "dir/a.txt";
//   e.data = Bytes("hello");
//   e.method = 8;
//   std::vector<uint8_t> zip = BuildZip({e});
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/file_content.h"

// Per-header replacements for what the builder would write. Unset fields keep
// the computed value; set ones are written as they stand, however wrong.
struct HeaderOverrides {
    std::optional<uint16_t> versionNeeded;
    std::optional<uint16_t> flags;  // replaces the whole flag word
    std::optional<uint16_t> method;
    std::optional<uint32_t> dosDateTime;  // time in the low 16 bits, date in the high 16 bits
    std::optional<uint32_t> crc;
    std::optional<uint32_t> compressedSize;
    std::optional<uint32_t> uncompressedSize;
    std::optional<uint16_t> nameLength;   // the length field only; the name bytes stay
    std::optional<uint16_t> extraLength;  // the length field only; the extra bytes stay
    std::optional<uint32_t> signature;
    std::optional<uint32_t> localHeaderOffset;  // central header only
    std::optional<uint16_t> diskStart;          // central header only
};

struct TestEntry {
    std::string name;      // raw name bytes, written as they stand (no conversion)
    ByteVector data;       // the uncompressed content
    uint16_t method = 8;   // 0 stored, 8 raw deflate; any other value stores `data` as is
    int deflateLevel = 6;  // zlib level for method 8
    std::optional<ByteVector> payload;  // replaces the compressed bytes (before encryption)

    uint16_t flags = 0;  // extra flag bits, e.g. 0x0800 (UTF-8 name)
    bool dataDescriptor =
        false;  // sets flag bit 3, zero CRC/sizes locally, descriptor after the data
    bool descriptorSignature = true;  // the descriptor starts with 0x08074B50

    std::optional<std::string> password;  // traditional encryption; sets flag bit 0
    std::optional<uint8_t> checkByte;     // replaces the 12th encryption header byte's plain value
    uint32_t encryptionSeed = 1;          // makes the 11 random header bytes

    uint16_t dosTime = 0x6062;    // 12:03:04
    uint16_t dosDate = 0x5A81;    // 2025-04-01
    uint16_t versionMadeBy = 20;  // high byte: host (0 MS-DOS, 3 Unix, 10 NTFS)
    uint16_t versionNeeded = 20;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;  // e.g. 0x10 directory, 0x01 read-only, or Unix mode << 16

    ByteVector localExtra;                 // local header extra field
    ByteVector centralExtra;               // central header extra field
    std::string comment;                   // entry comment (central header only)
    std::optional<std::string> localName;  // a different name in the local header

    // Declared values for both headers and the descriptor (e.g. a lying CRC).
    std::optional<uint32_t> crc;
    std::optional<uint32_t> compressedSize;
    std::optional<uint32_t> uncompressedSize;

    HeaderOverrides local;    // applied last, to the local header only
    HeaderOverrides central;  // applied last, to the central header only
};

struct ZipOptions {
    ByteVector prefix;                  // data before the archive (a stub)
    bool offsetsFromFileStart = false;  // offsets count the prefix too (like `zip -A`)
    ByteVector comment;                 // archive comment, any length
    ByteVector afterData;               // bytes between the last entry and the central directory
    ByteVector afterDirectory;          // bytes between the central directory and the end record
    ByteVector trailer;  // bytes after the comment (the length field does not count them)

    // End record fields; unset ones are computed.
    std::optional<uint16_t> thisDisk;
    std::optional<uint16_t> directoryDisk;
    std::optional<uint16_t> entriesOnDisk;
    std::optional<uint16_t> totalEntries;
    std::optional<uint32_t> directorySize;
    std::optional<uint32_t> directoryOffset;
    std::optional<uint16_t> commentLength;
    bool writeEndRecord = true;  // false leaves the end record out altogether
};

// Where things landed in the built archive, as positions in the returned bytes.
struct EntryLayout {
    uint32_t localHeaderPos;
    uint32_t dataPos;   // first byte after the local header (encryption header included)
    uint32_t dataSize;  // bytes of entry data as written
    uint32_t centralHeaderPos;
    uint32_t crc;  // the true CRC-32 of `data`
};

struct ZipLayout {
    std::vector<EntryLayout> entries;
    uint32_t archiveStart;  // length of the prefix
    uint32_t directoryPos;
    uint32_t directorySize;
    uint32_t endRecordPos;
};

ByteVector BuildZip(const std::vector<TestEntry>& entries, const ZipOptions& options = {},
                    ZipLayout* layout = nullptr);

// One end record with the given values, e.g. to hide a second one in a comment.
ByteVector EndRecordBytes(uint16_t entries, uint32_t directorySize, uint32_t directoryOffset,
                          uint16_t commentLength);

// An extended timestamp ("UT") extra block: the flag byte (bit 0 modification,
// bit 1 access, bit 2 creation time present) and then `times` as given, in
// Unix seconds. Local blocks usually carry every time the flags name, central
// ones only the modification time.
ByteVector ExtendedTimestampExtra(uint8_t flagBits, const std::vector<uint32_t>& times);

// An Info-ZIP Unicode Path extra block (tag 0x7075) for the central header:
// version 1, the CRC-32 of `storedName` (or `crc` when given) and `utf8Name`.
ByteVector UnicodePathExtra(const std::string& storedName, const std::string& utf8Name,
                            std::optional<uint32_t> crc = std::nullopt);

// Raw deflate (window bits -15) at the given level.
ByteVector DeflateRaw(const ByteVector& data, int level = 6);

uint32_t Crc32Of(const ByteVector& data);
ByteVector Bytes(const std::string& text);
// An entry with every other field at its default.
TestEntry FileEntry(const std::string& name, const ByteVector& data, uint16_t method = 8);
// A stored entry without data whose DOS attributes say folder.
TestEntry FolderEntry(const std::string& name);
// `size` bytes that deflate poorly but are the same on every run.
ByteVector PseudoRandomBytes(size_t size, uint32_t seed);
// `size` bytes of readable text that deflate well.
ByteVector RepeatedText(size_t size);

// Traditional encryption of `plain` (header already in front of it or not):
// the encryption the reader undoes, written from the cipher's description.
ByteVector EncryptTraditional(const ByteVector& plain, const std::string& password);
