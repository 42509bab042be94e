// The files of an install folder that a release neither carries nor lists
// as dropped (the packer's tavix-dropped.txt): after the update they stay as
// they are, beside the new version. Told for a release that has the list
// (packed with --previous), as warnings of no kind that stops a release,
// since an install also holds files of its own making (settings, logs) that
// no release carries.
#pragma once

#include <cstdint>
#include <cstdio>

#include "archive_warnings.h"

constexpr char kDropListName[] = "tavix-dropped.txt";

// One "warning: " line each, at most a screenful and then their number,
// for the files below `installFolder` that `warnings` (the archive's
// entries) does not carry and the drop list in `archivePath` does not name.
// Names are compared as '/'-separated paths, ASCII letters in either case;
// the archive itself and the updater's own names are left out. Gives how
// many files were found; 0 for an archive without the list.
uint32_t PrintFilesLeftBehind(const char* archivePath, const char* installFolder,
                              const ArchiveWarnings& warnings, FILE* out);
