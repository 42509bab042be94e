#include "extraction_target.h"

#include <cstring>

#include "../platform/path_text.h"
#include "own_names.h"
#include "windows_names.h"

RefusalCause FindNameRefusal(const char* targetName)
{
    if (HasOwnNameComponent(targetName)) return CAUSE_OWN_NAME;
    switch (FindWindowsNameChange(targetName).rule) {
        case WindowsNameRule::TrailingDotOrSpace:
            return CAUSE_TRAILING_DOT_OR_SPACE;
        case WindowsNameRule::DeviceName:
            return CAUSE_DEVICE_NAME;
        case WindowsNameRule::Colon:
            return CAUSE_STREAM_NAME;
        case WindowsNameRule::None:
            break;
    }
    return CAUSE_NONE;
}

// A folder can never be replaced, and is refused before any data is written
// in vain; so is a file this run wrote, and a target the system cannot tell
// about, since taking it for a new file could cost the old one.
RefusalCause FindOldFile(ExtractionTarget* target, const char* baseDirectory, bool newWhenUnknown,
                         WrittenFiles* written)
{
    WIN32_FILE_ATTRIBUTE_DATA found;
    target->exists = GetFileAttributesExA(target->path, GetFileExInfoStandard, &found) != FALSE;
    target->readOnly = target->exists && (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    target->size = target->exists ? (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow : 0;
    if (!target->exists) {
        if (newWhenUnknown) return CAUSE_NONE;
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? CAUSE_NONE
                   : CAUSE_TARGET_UNKNOWN;
    }
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return CAUSE_FOLDER_TARGET;
    return written && IsWrittenFile(written, baseDirectory, target->path, found)
               ? CAUSE_WRITTEN_BEFORE
               : CAUSE_NONE;
}

RefusalCause ResolveExtractionTarget(const char* baseDirectory, const char* targetName,
                                     ExtractionTarget* target)
{
    const char* filePart = FindFilePart(targetName);
    const size_t directoryLength = size_t(filePart - targetName);
    if (directoryLength >= MAX_PATH) return CAUSE_PATH_TOO_LONG;
    std::memcpy(target->directoryPart, targetName, directoryLength);
    target->directoryPart[directoryLength] = '\0';

    target->base = IsAbsoluteName(target->directoryPart) ? nullptr : baseDirectory;
    if (target->base && HasParentComponent(targetName)) return CAUSE_PARENT_COMPONENT;
    const RefusalCause named = FindNameRefusal(targetName);
    if (named != CAUSE_NONE) return named;
    if (!ConcatenatePath(target->folder, target->base, target->directoryPart) ||
        !ConcatenatePath(target->path, target->folder, filePart))
        return CAUSE_PATH_TOO_LONG;
    target->exists = target->readOnly = false;
    target->size = 0;
    return CAUSE_NONE;
}
