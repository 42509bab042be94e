// The two paths the update run starts from, the program folder and the
// archive argument (and the checker's arguments), in the narrow form every
// later call takes: the exact path or none, never a look-alike. Where the
// process code page cannot hold a path (an older Windows, which ignores the
// manifest's UTF-8), Windows gives the narrow calls a best-fit guess
// ("Tavix-l" for "Tavix-ł", "J?rg" for "Jörg") that can name another,
// existing file. So each narrow form is compared with the wide one, and the
// short (8.3) form stands in where the long one does not convert exactly.
#pragma once

#include "../platform/winapi.h"

// The folder of the updater's own executable, without the final separator
// (kept for a root: "C:\" and "/", not the drive's current directory). False
// when its path cannot be named exactly in 260 bytes, in its long form or
// its short one.
bool GetProgramFolder(char (&folder)[MAX_PATH + 1]);

// Argument `index`, a path ("" when there is none, as for the updater's
// archive): argv[index] itself when it is the argument exactly, else its
// short form, made in `shortForm`; null when neither names the file. A
// relative path's short form is looked for from the current directory.
const char* GetExactArgument(int argc, char** argv, int index, char (&shortForm)[MAX_PATH]);
