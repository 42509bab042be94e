// The fields of one central directory header, each widened to 32 bits.
#pragma once

#include <cstdint>

struct EntryInfo {
    uint32_t versionMadeBy;  // high byte: host system
    uint32_t versionNeeded;
    uint32_t flags;   // bit 0 encrypted, bit 3 CRC and sizes follow the data, bit 11 UTF-8 name
    uint32_t method;  // 0 stored, 8 deflated
    uint32_t dosDateTime;  // MS-DOS time in the low 16 bits, date in the high 16 bits
    uint32_t crc;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint32_t nameSize;
    uint32_t extraSize;
    uint32_t commentSize;
    uint32_t diskStart;
    uint32_t internalAttributes;
    uint32_t externalAttributes;
};

constexpr uint32_t kFlagEncrypted = 0x0001;
constexpr uint32_t kFlagDataDescriptor = 0x0008;
constexpr uint32_t kFlagUtf8Name = 0x0800;
constexpr uint32_t kMethodStored = 0;
constexpr uint32_t kMethodDeflated = 8;
