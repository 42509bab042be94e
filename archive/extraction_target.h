// Where a file entry goes: the paths one extraction builds from its target
// name, and the targets it refuses before anything is made.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"
#include "refusal_cause.h"
#include "written_files.h"

struct ExtractionTarget {
    const char* base;              // the reader's base directory; none for an absolute target
    char directoryPart[MAX_PATH];  // the target name up to and with its last separator
    char folder[MAX_PATH];         // base and directoryPart: the target's folder
    char path[MAX_PATH];           // folder and the file part: the file that is replaced
    bool exists;                   // there is an old file to replace
    bool readOnly;                 // the old file is read-only: it may never be replaced
    uint64_t size;                 // the old file's
};

// What refuses `targetName` itself, file or folder: a component of the
// updater's own names (own_names.h), or one Windows would change
// (windows_names.h).
RefusalCause FindNameRefusal(const char* targetName);

// Splits `targetName` and builds the paths below `baseDirectory` (for a
// relative folder part) or as it stands. Refused: a relative name with a
// ".." component, which could leave the base, a name FindNameRefusal
// refuses, and a path that does not fit. Nothing is looked up.
RefusalCause ResolveExtractionTarget(const char* baseDirectory, const char* targetName,
                                     ExtractionTarget* target);

// Finds whether there is an old file at the target, and a read-only one.
// Refused: a folder in the way, a file of `written` (one an
// earlier entry replaces, which no later entry replaces again; none asked
// when `written` is null), and a target
// the system cannot tell is there or not, unless `newWhenUnknown`: in a
// folder the install lacks nothing can be there, and a file taken for new
// never replaces anything (its move in would find the name taken). `baseDirectory` is the reader's.
RefusalCause FindOldFile(ExtractionTarget* target, const char* baseDirectory, bool newWhenUnknown,
                         WrittenFiles* written);
