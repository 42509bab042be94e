// The archives in tests/data made by real tools, with what Python's zipfile
// lists for each entry, and the known content of the source files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/zip_builder.h"

struct RealEntry {
    std::string name;  // raw name bytes
    uint32_t method;
    uint32_t flags;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint32_t crc;
};

struct RealArchive {
    std::string file;       // name inside tests/data
    uint32_t archiveStart;  // bytes before the archive that its offsets do not count
    uint32_t commentSize;
    std::vector<RealEntry> entries;
};

const std::vector<RealArchive>& RealArchives();

// The content of an entry by name, when the test knows it byte for byte
// (data.bin is known only by its CRC).
std::optional<ByteVector> KnownContent(const std::string& name);

// The password of the encrypted archive.
constexpr const char* kRealArchivePassword = "secret";
