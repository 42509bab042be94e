// A memory ByteSource over bytes that the caller keeps alive, and a directory
// reader over such bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "zip/byte_source.h"
#include "zip/directory_reader.h"

inline ByteSource* NewMemorySource(const std::vector<uint8_t>& bytes) {
    return new ByteSource{false, false, nullptr, false, 0, false, bytes.data(),
                          static_cast<uint32_t>(bytes.size()), 0};
}

// Null when the archive does not open.
inline DirectoryReader* OpenMemoryDirectory(const std::vector<uint8_t>& bytes) {
    return OpenDirectory(NewMemorySource(bytes));
}
