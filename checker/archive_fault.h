// Why the updater does not open an archive whose directory does not add up,
// in words: the reader's own check, told apart.
#pragma once

#include <cstddef>

// Writes the reason into `reason`; false when the directory adds up, so the
// archive failed to open for some other reason.
bool DescribeArchiveFault(const char* archivePath, char* reason, size_t size);
