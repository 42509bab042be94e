// Making many written files durable at once, which Windows and Linux do
// best in different ways: no single Windows call stands for it.
#pragma once

#include "winapi.h"

// Every file below `folder` (written and closed) on the disk, with its
// name: on Windows each file is flushed (FlushFileBuffers) after all are
// written, read-only ones left out (they cannot be opened for writing, so
// whoever writes one flushes it); on Linux one syncfs(2) of the folder's
// file system, or fsync(2) of each file and folder where syncfs is missing.
// FALSE, with the last error, when any of it failed.
BOOL FlushFolderFiles(LPCSTR folder);
