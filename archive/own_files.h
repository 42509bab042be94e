// Where the updater puts files of its own (see own_names.h): beside the
// file they serve when the name fits there, otherwise in the nearest folder
// above it with room. Either way on the file's own volume, so that one
// rename moves a temporary in and an old file aside.
#pragma once

#include <cstddef>

#include "../platform/winapi.h"

// The files of the updater's own that one extraction may make: the
// temporary, and two names the old target may be kept under (see
// update_journal.h).
struct OwnFilePaths {
    char temporary[MAX_PATH];
    char kept[MAX_PATH];
    char movedAside[MAX_PATH];
};

// The folder for an own file that serves a file in `folder` (ending in a
// separator): `folder` itself when an own name fits there, else the nearest
// folder above it whose path is no shorter than `floorLength` bytes. False
// when none has room.
bool FindRoomForOwnFile(const char* folder, size_t floorLength, char (&room)[MAX_PATH]);

// Makes a new file of an own name (a temporary) in `folder` for writing,
// with `attributes`, and gives its path: its making claims the name, so no
// other file can have it. INVALID_HANDLE_VALUE, with the last error, when
// none could be made.
HANDLE CreateOwnTemporary(const char* folder, DWORD attributes, char (&path)[MAX_PATH]);

// A name of the updater's own with `extension` in `folder` that no file has
// yet. False when none could be found.
bool ChooseFreeOwnName(const char* folder, const char* extension, char (&path)[MAX_PATH]);

// Deletes an own file of this run's that no record lists, read-only or not.
void RemoveOwnFile(const char* path);

// The length of the part of `path` no own file may climb above: the base
// for a path below it, the root of an absolute one.
size_t FloorLengthOf(const char* path, const char* base);
