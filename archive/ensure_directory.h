// Making a chain of directories, parents first, each recorded in the undo
// record before it is made, so that an undone run takes it away again.
#pragma once

#include "update_journal.h"

// Makes `base` (a path ending in a separator, or null) when it is missing,
// then each missing directory of `path` below it, from the top down. Any
// existing object counts as present; a directory that cannot be made shows
// only later, when nothing can be made in it. False when a missing directory
// could not be recorded, or the system could not say whether one is there:
// then nothing more is made.
bool EnsureDirectory(UpdateJournal* journal, const char* base, const char* path);
