// A memory ByteSource over bytes that the caller keeps alive, a directory
// reader over such bytes, and an owning pointer that closes a reader.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zip/byte_source.h"
#include "zip/directory_reader.h"
#include "zip/entry_stream.h"

inline ByteSource* NewMemorySource(const std::vector<uint8_t>& bytes)
{
    return new ByteSource{false, false, nullptr,      false,
                          0,     false, bytes.data(), static_cast<uint32_t>(bytes.size()),
                          0};
}

// Null when the archive does not open.
inline DirectoryReader* OpenMemoryDirectory(const std::vector<uint8_t>& bytes)
{
    return OpenDirectory(NewMemorySource(bytes));
}

// Closes the reader's open stream, if any, and then the reader.
struct ReaderDeleter {
    void operator()(DirectoryReader* reader) const
    {
        if (reader->stream != nullptr) {
            CloseEntryStream(reader);
        }
        CloseDirectory(reader);
    }
};
using ReaderPtr = std::unique_ptr<DirectoryReader, ReaderDeleter>;
