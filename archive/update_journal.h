// The update's commit and undo, after SQLite's rollback journal: the install
// is either the old version or the new one, whatever fails or interrupts a
// run.
//
// Every change a run makes to the install is written to its undo record
// ("~tvx.undo" in the program folder) and the record made durable before
// the change is made: a folder made, a file written to a temporary that then
// takes its target's name, the old target kept under a name of the
// updater's own. Nothing old is deleted before the run ends.
// - Commit is one rename: "~tvx.undo" becomes "~tvx.done". Then the kept old
//   files are deleted (those still in use stay for a later run), and the
//   record with them.
// - Undo plays the record back, last change first: kept files go back under
//   their names, added files and temporaries go, folders the run made go
//   with all they hold. Then the record is deleted.
// - A record found when a run opens is played back before that run changes
//   anything: an undo record belongs to a run that was killed or lost its
//   power, and is undone; a committed one is finished.
#pragma once

#include "../platform/winapi.h"
#include "in_use_waits.h"
#include "known_folders.h"

struct UpdateJournal {
    char undoPath[MAX_PATH];   // the undo record; empty when the folder leaves no room
    char donePath[MAX_PATH];   // the same record once committed
    HANDLE file;               // the undo record while changes are recorded
    bool changed;              // the record exists: there is something to commit or undo
    bool broken;               // a record could not be written whole: no further change
    WaitBudget waits;          // for files in use while committing or undoing
    KnownFolders madeFolders;  // folders this run made, as they were spelt (some forgotten)
};

// One file written under its target's name. `kept` and `movedAside` are
// empty for a target that does not exist yet; otherwise the old file is kept
// as `kept` (a second name of it) or, where it cannot be replaced in one step
// (a running program) or a file system has no second names, moved to
// `movedAside`.
struct FileUpdate {
    const char* target;
    const char* temporary;
    const char* kept;
    const char* movedAside;
};

// Opens the journal of `folder` (the program folder, ending in a separator)
// and first plays back what an interrupted run left there. False when that
// could not be completed: the old version may not be whole yet, and this run
// must change nothing (the next one tries again).
bool OpenUpdateJournal(UpdateJournal* journal, const char* folder);

// Record a change before it is made; false when the record could not be
// made durable, and then the change must not be made. A folder is recorded
// twice: before it is made (undone, it goes when empty: it may have been
// there after all), and once it was made (undone, it goes with all it
// holds, so that new files written into it need no record of their own).
bool RecordFolderMaking(UpdateJournal* journal, const char* folder);
bool RecordFolderMade(UpdateJournal* journal, const char* folder);
bool RecordFileUpdate(UpdateJournal* journal, const FileUpdate& change);

// Whether this run made `folder` (ending in a separator), spelt as it was
// made (a folder of another spelling, or one forgotten, counts as not made).
bool IsFolderMadeByRun(const UpdateJournal& journal, const char* folder);

// Makes the recorded changes the install's: true when committed. When the
// commit itself fails, the changes are undone and it gives false.
bool CommitUpdate(UpdateJournal* journal);

// Puts the install back as it was before the first recorded change: true
// when it is, and the record is gone. False leaves the record for the next
// run to finish the undo.
bool UndoUpdate(UpdateJournal* journal);
