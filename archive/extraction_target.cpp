#include "extraction_target.h"

#include <cstdio>
#include <cstring>

#include "../platform/path_text.h"
#include "result_codes.h"

namespace {

// `first` and `second` run together; false when they do not fit.
bool JoinPath(char (&path)[MAX_PATH], const char* first, const char* second)
{
    const int length = std::snprintf(path, MAX_PATH, "%s%s", first ? first : "", second);
    return length >= 0 && length < MAX_PATH;
}

// An existing target that can never be replaced: a folder, or a read-only
// file. Refused before any data is written in vain.
bool IsReplaceable(const char* targetPath)
{
    const DWORD attributes = GetFileAttributesA(targetPath);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

}  // namespace

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
    if (!JoinPath(target->folder, target->base, target->directoryPart)) return RESULT_NO_FILE;
    if (!JoinPath(target->path, target->folder, filePart)) return RESULT_NO_FILE;
    if (!IsReplaceable(target->path)) return RESULT_NO_FILE;
    return RESULT_OK;
}
