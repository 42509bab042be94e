// How extraction reads a target name: separators, absolute names, the split
// into folder and file, and parent-directory components.
#pragma once

#include <cstddef>

bool IsSeparator(char c);

// Begins with a separator, or has ':' as its second byte.
bool IsAbsoluteName(const char* name);

bool EndsWithSeparator(const char* name);

// Everything after the last separator; all of `name` when there is none.
const char* FindFilePart(const char* name);

// Whether any component, between separators or at either end, is "..".
bool HasParentComponent(const char* name);
