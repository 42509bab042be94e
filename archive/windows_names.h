// Names Windows would make into another file than the one they name: it
// trims a trailing dot or space from every component ("bin " is "bin", if a
// folder of that very name can be made at all, Explorer cannot delete it),
// opens a device for CON, NUL, COM1 and the like whatever their extension,
// and reads "name:stream" as a stream of another file. Such a name is
// refused on Linux too, where it would be made as it stands: an archive
// makes the same files on both. "." and ".." are left to the callers: they
// are path syntax, which Windows resolves, not names it changes.
#pragma once

#include <cstddef>

enum class WindowsNameRule {
    None,
    TrailingDotOrSpace,  // "bin ", "a.txt.", "...": Windows trims them
    DeviceName,          // "NUL", "com1.log", "Aux .txt", "LPT²": a device, not a file
    Colon,               // "a.txt:x": a stream of "a.txt"
};

struct WindowsNameChange {
    WindowsNameRule rule;
    const char* component;  // the component it is found in; null for None
    size_t length;          // that component's length in bytes
};

// The first component of `name` that Windows would change, split on
// character boundaries of the current code page; an absolute name's drive
// ("C:") is no component. `name` is in the process code page.
WindowsNameChange FindWindowsNameChange(const char* name);

// What Windows would change in one component of `length` bytes (no
// separator in it).
WindowsNameRule FindComponentChange(const char* component, size_t length);

// Whether a component of `name` could be a short (8.3) alias of another
// name, as Windows makes them: a '~' followed by a digit ("PROGRA~1.TXT").
// Only such a name can reach, in one folder, a file another name reaches
// without the file system folding the two into one.
bool MayBeShortAlias(const char* name);

// The part of a component Windows compares with its devices: up to the
// first dot, trailing spaces dropped ("Aux" of "Aux .txt").
size_t DeviceStemLength(const char* component, size_t length);
