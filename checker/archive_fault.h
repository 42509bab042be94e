// Why the updater does not open an archive whose directory does not add up,
// in words: the reader's own check, told apart.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the reason into `reason`; false when the directory adds up, so the
// archive failed to open for some other reason.
bool DescribeArchiveFault(const char* archivePath, char* reason, size_t size);

// The bytes after the end record and its comment of an archive that opens
// with them there; 0 for one that ends where its comment does, or that does
// not open.
uint32_t CountBytesAfterArchive(const char* archivePath);
