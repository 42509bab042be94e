// Memory ByteSources and the directory readers over them, and owning
// pointers that release a source and close a reader.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
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

// A directory reader over bytes it keeps itself; equal to nullptr when they
// do not open.
class MemoryDirectory {
public:
    explicit MemoryDirectory(std::vector<uint8_t> bytes)
        : bytes_(std::move(bytes)), reader_(OpenMemoryDirectory(bytes_))
    {
    }
    DirectoryReader* get() const { return reader_.get(); }
    // The bytes it reads: damaged after the open, they show what the walk
    // does with a header the open did not see so.
    std::vector<uint8_t>& bytes() { return bytes_; }
    DirectoryReader* operator->() const { return reader_.get(); }
    bool operator==(std::nullptr_t) const { return reader_ == nullptr; }
    bool operator!=(std::nullptr_t) const { return reader_ != nullptr; }

private:
    std::vector<uint8_t> bytes_;
    ReaderPtr reader_;
};
