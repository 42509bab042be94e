#include "extraction_target.h"

#include <cstdio>
#include <cstring>

#include "../platform/path_text.h"
#include "result_codes.h"
#include "windows_names.h"

namespace {

// `first` and `second` run together; false when they do not fit.
bool JoinPath(char (&path)[MAX_PATH], const char* first, const char* second)
{
    const int length = std::snprintf(path, MAX_PATH, "%s%s", first ? first : "", second);
    return length >= 0 && length < MAX_PATH;
}

// An existing target that can never be replaced: a folder, or a read-only
// file; or one that must not be: a file this run wrote. Refused before any
// data is written in vain.
bool IsReplaceable(const char* baseDirectory, const char* targetPath, WrittenFiles* written)
{
    WIN32_FILE_ATTRIBUTE_DATA found;
    if (!GetFileAttributesExA(targetPath, GetFileExInfoStandard, &found)) return true;
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return false;
    return !IsWrittenFile(written, baseDirectory, targetPath, found);
}

}  // namespace

int32_t ResolveExtractionTarget(const char* baseDirectory, const char* targetName,
                                WrittenFiles* written, ExtractionTarget* target)
{
    const char* filePart = FindFilePart(targetName);
    const size_t directoryLength = size_t(filePart - targetName);
    if (directoryLength >= MAX_PATH) return RESULT_NO_FILE;
    std::memcpy(target->directoryPart, targetName, directoryLength);
    target->directoryPart[directoryLength] = '\0';

    target->base = IsAbsoluteName(target->directoryPart) ? nullptr : baseDirectory;
    if (target->base && HasParentComponent(targetName)) return RESULT_ARGS;
    if (IsChangedByWindows(targetName)) return RESULT_NO_FILE;
    if (!JoinPath(target->folder, target->base, target->directoryPart)) return RESULT_NO_FILE;
    if (!JoinPath(target->path, target->folder, filePart)) return RESULT_NO_FILE;
    if (!IsReplaceable(baseDirectory, target->path, written)) return RESULT_NO_FILE;
    return RESULT_OK;
}
