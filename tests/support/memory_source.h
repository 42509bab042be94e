// A memory ByteSource over bytes that the caller keeps alive, a directory
// reader over such bytes, and owning pointers that release a source and
// close a reader.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zip/byte_source.h"
#include "zip/directory_reader.h"
#include "zip/entry_stream.h"

// Every field not named here keeps its zero or default value.
inline ByteSource* NewMemorySource(const std::vector<uint8_t>& bytes)
{
    ByteSource* source = new ByteSource{};
    source->memory = bytes.data();
    source->memorySize = static_cast<uint32_t>(bytes.size());
    return source;
}

// Null when the archive does not open.
inline DirectoryReader* OpenMemoryDirectory(const std::vector<uint8_t>& bytes)
{
    return OpenDirectory(NewMemorySource(bytes));
}

struct SourceDeleter {
    void operator()(ByteSource* source) const { ReleaseByteSource(source); }
};
using SourcePtr = std::unique_ptr<ByteSource, SourceDeleter>;

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
