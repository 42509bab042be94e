// Making a chain of directories, parents first.
#pragma once

// Makes `base` (a path ending in a separator, or null) when it is missing,
// then each missing directory of `path` below it, from the top down. Any
// existing object counts as present; nothing is reported.
void EnsureDirectory(const char* base, const char* path);
