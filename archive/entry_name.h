// Cleaning entry names of drive, root and parent-directory prefixes.
#pragma once

// Gives the part of `name` that remains once leading drive letters and
// separators, and everything up to a "\..\", "\../", "/../" or "/..\" (found
// on character boundaries of the current multibyte code page), are dropped.
const char* SanitiseEntryName(const char* name);
