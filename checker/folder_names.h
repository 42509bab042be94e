// Names met while walking a folder with FindFirstFileA, for the copy of the
// install folder and the removal of the scratch.
#pragma once

#include <cstdio>
#include <cstring>

#include "../platform/winapi.h"

// "." and "..": the folder itself and its parent, never walked into.
inline bool IsDotName(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// `folder` and `name` joined by '/'; false when they do not fit.
inline bool JoinPath(char (&path)[MAX_PATH], const char* folder, const char* name)
{
    const int length = std::snprintf(path, MAX_PATH, "%s/%s", folder, name);
    return length > 0 && length < MAX_PATH;
}
