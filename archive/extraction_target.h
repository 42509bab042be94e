// Where a file entry goes: the paths one extraction builds from its target
// name, and the targets it refuses before anything is made.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"
#include "written_files.h"

struct ExtractionTarget {
    const char* base;              // the reader's base directory; none for an absolute target
    char directoryPart[MAX_PATH];  // the target name up to and with its last separator
    char folder[MAX_PATH];         // base and directoryPart: where the temporary is made
    char path[MAX_PATH];           // folder and the file part: the file that is replaced
};

// Splits `targetName` and builds the paths below `baseDirectory` (for a
// relative folder part) or as it stands. RESULT_ARGS for a relative name with
// a ".." component, which could leave the base; RESULT_NO_FILE for a name
// Windows would change (windows_names.h), a path that does not fit, or a
// target that must not be replaced: a folder, a read-only file, a file of
// `written`.
int32_t ResolveExtractionTarget(const char* baseDirectory, const char* targetName,
                                WrittenFiles* written, ExtractionTarget* target);
