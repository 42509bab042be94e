// Path text as Windows reads it, for every place that splits names: '/' and
// '\' both separate components, and a name is absolute when it begins with a
// separator or has ':' as its second byte. Separators are looked for on
// character boundaries of the current multibyte code page, so that the
// trail byte 0x5C of a double-byte character never splits a name. Pure
// text: nothing is looked up.
#pragma once

#include "winapi.h"

bool IsSeparator(char c);

bool IsAbsoluteName(const char* name);

// The last separator of `name`, or null when there is none.
const char* FindLastSeparator(const char* name);

// Everything after the last separator; all of `name` when there is none.
const char* FindFilePart(const char* name);

bool EndsWithSeparator(const char* name);

// The end of the component that begins at `start`: its first separator, or
// the terminator.
const char* FindComponentEnd(const char* start);

// Whether any component, between separators or at either end, is "..".
bool HasParentComponent(const char* name);

// Whether the last character of `name` is cut: a lead byte of the current
// multibyte code page with nothing after it.
bool EndsInLoneLeadByte(const char* name);

// Whether two names are the same but for the case of ASCII letters (as
// Windows compares them; other letters are compared as bytes here).
bool IsSameNameIgnoringCase(const char* first, const char* second);

// `first` (none when null) and `second` run together into `path`, nothing
// put between them; false when they do not fit, and nothing is cut to fit.
bool ConcatenatePath(char (&path)[MAX_PATH], const char* first, const char* second);
