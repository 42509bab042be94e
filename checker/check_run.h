// One check of an update archive: the install folder copied into a scratch
// folder, the updater's own unpack step (app/archive_unpack.h) run over the
// archive there entry by entry, and each entry judged after its step. The
// scratch goes again at the end, whatever happened; the archive and the
// install folder are only read.
#pragma once

#include <cstdint>

#include "../app/archive_unpack.h"
#include "archive_warnings.h"
#include "check_scratch.h"
#include "entry_headers.h"
#include "entry_verdict.h"
#include "install_copy.h"

enum class CheckStart {
    Ready,              // the entries can be checked
    ArchiveUnopened,    // the updater cannot open the archive
    UpdaterOutOfReach,  // in the install folder the updater could not find its own folder
    NotMade,            // the check itself could not be set up
};

struct ArchiveCheck {
    char startDirectory[MAX_PATH];  // gone back to at the end
    char installFolder[MAX_PATH];   // as the system names it; empty without one
    char archivePath[MAX_PATH];     // what the unpack reads: the archive, or its copy
    char problem[MAX_PATH + 96];    // why the check did not get Ready, in words
    CheckScratch scratch;
    InstallCopy copy;
    ArchiveUnpack unpack;
    HeaderWalk walk;
    ArchiveWarnings warnings;
    bool scratchRemoved;  // after CloseCheck: nothing of the scratch stayed
};

// Sets the check up; whatever it gives, CloseCheck is due. `installFolder`
// may be null. An archive that lies in the install folder is read from its
// copy, so that an entry of its name meets it as in the program folder.
CheckStart OpenCheck(ArchiveCheck* check, const char* archivePath, const char* installFolder);

// Runs the next entry's step and judges it; false once every entry has had
// its turn.
bool CheckNextEntry(ArchiveCheck* check, EntryVerdict* verdict);

// Ends the unpack, goes back to the starting directory and removes the
// scratch (scratchRemoved says whether all of it went). True when the archive
// opened and every entry went in.
bool CloseCheck(ArchiveCheck* check);
