#include "extraction_target.h"

#include <cstring>

#include "../platform/path_text.h"
#include "own_names.h"
#include "result_codes.h"
#include "windows_names.h"

// A folder can never be replaced, and is refused before any data is written
// in vain; so is a file this run wrote, and a target the system cannot tell
// about, since taking it for a new file could cost the old one.
int32_t FindOldFile(ExtractionTarget* target, const char* baseDirectory, bool newWhenUnknown,
                    WrittenFiles* written)
{
    WIN32_FILE_ATTRIBUTE_DATA found;
    target->exists = GetFileAttributesExA(target->path, GetFileExInfoStandard, &found) != FALSE;
    target->readOnly = target->exists && (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    target->size = target->exists ? (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow : 0;
    if (!target->exists) {
        if (newWhenUnknown) return RESULT_OK;
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RESULT_OK
                                                                              : RESULT_NO_FILE;
    }
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return RESULT_NO_FILE;
    return written && IsWrittenFile(written, baseDirectory, target->path, found) ? RESULT_NO_FILE
                                                                                 : RESULT_OK;
}

int32_t ResolveExtractionTarget(const char* baseDirectory, const char* targetName,
                                ExtractionTarget* target)
{
    const char* filePart = FindFilePart(targetName);
    const size_t directoryLength = size_t(filePart - targetName);
    if (directoryLength >= MAX_PATH) return RESULT_NO_FILE;
    std::memcpy(target->directoryPart, targetName, directoryLength);
    target->directoryPart[directoryLength] = '\0';

    target->base = IsAbsoluteName(target->directoryPart) ? nullptr : baseDirectory;
    if (target->base && HasParentComponent(targetName)) return RESULT_ARGS;
    if (HasOwnNameComponent(targetName) || IsChangedByWindows(targetName)) return RESULT_NO_FILE;
    if (!ConcatenatePath(target->folder, target->base, target->directoryPart))
        return RESULT_NO_FILE;
    if (!ConcatenatePath(target->path, target->folder, filePart)) return RESULT_NO_FILE;
    target->exists = target->readOnly = false;
    target->size = 0;
    return RESULT_OK;
}
