// The update as one transaction over the program folder: the install is the
// old version or the new one byte for byte, whatever fails, is killed or
// loses its power. As SQLite's pager lists its states, these are the states
// of one update and the one function that makes each transition:
//
//   Idle       no update of this run; no record and no area of it.
//              BeginUpdate -> Staging (refused while a record is there).
//   Staging    every entry's bytes go into the new area "~tvx.new", checked;
//              no file of the install changes. Invariant: what is there of
//              this run lies in the new area only.
//              PlaceTargetFolder, CreateStagedFile,
//              AddStagedFile: Staging -> Staging.
//              EndUpdate(incomplete): the new area removed -> Idle.
//   Prepared   EndUpdate(complete), first: the staged data flushed in one
//              pass, then the record written whole as "~tvx.next", flushed,
//              and renamed "~tvx.swap" with its folder flushed. Invariant
//              from here to the commit: "~tvx.swap" is on the disk and lists
//              every move, so a later run can undo any prefix of them.
//   Swapping   trees the install lacks moved in whole, then each old file
//              moved out to the old area "~tvx.old" and its new file moved
//              in, the main program and the updater itself last.
//              A failed move: UndoSwap -> Idle (exit 2, nothing left to play
//              back).
//   Committed  "~tvx.swap" renamed "~tvx.commit", written through to the disk:
//              the one step that makes the new version the install's.
//   Finished   the areas removed (a program still running stays for a later
//              run), then "~tvx.commit" -> Idle. EndUpdate gives RESULT_OK.
//
// A later run, inside the lock and before anything changes, calls
// RecoverUpdate: "~tvx.next" is discarded (nothing had moved), "~tvx.swap"
// undone, "~tvx.commit" finished, areas without a record removed. Playback
// puts an old file back only over a target that still holds what the run
// moved in (its size and CRC-32), and removes only what the run put there.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"
#include "file_identity.h"
#include "in_use_waits.h"
#include "known_folders.h"
#include "record_pool.h"
#include "refusal_cause.h"
#include "swap_record.h"

// The program the user starts, which goes in last: until the commit the
// program a user starts is the old one, which can run the updater again.
constexpr char kMainProgramName[] = "Tavix.exe";

enum class TransactionState { Idle, Staging, Prepared, Swapping, Committed, Finished };

// One step of the run as it is staged: its target a handle into the
// transaction's text pool, its names in the areas numbers, so that a step
// costs little more than its target's path.
struct StagedStep {
    SwapStepKind kind;
    bool last;  // the main program or the updater itself
    uint32_t size;
    uint32_t crc;
    uint32_t target;
    uint32_t staged;  // the number of its name in the new area; 0: its target's mirror there
    uint32_t old;     // the number of its old file's name in the old area (Replace)
};

// A volume the update stages on: the program folder's, or one mounted on a
// folder below it, each with areas of its own, so that every move of the
// swap stays on one volume.
constexpr uint32_t kMaxStagingVolumes = 8;
struct StagingVolume {
    char root[MAX_PATH];  // relative to the program folder: "" or a folder ending in '/'
    DWORD volume;
};

struct UpdateTransaction {
    TransactionState state;
    char folder[MAX_PATH];  // the program folder, ending in a separator
    size_t folderLength;
    StagedStep* steps;  // owned
    uint32_t stepCount;
    uint32_t stepCapacity;
    RecordPool texts;        // the steps' targets, zero-terminated, relative to `folder`
    uint32_t serial;         // the last number given to a name of this run: never one twice
    bool broken;             // a step could not be noted: the update cannot complete
    KnownFolders installed;  // install folders known to be there (relative)
    KnownFolders lacking;    // install folders the update brings (relative)
    KnownFolders mirrored;   // folders made in the new area (relative)
    StagingVolume volumes[kMaxStagingVolumes];  // the program folder's first
    uint32_t volumeCount;
    FileIdentity self;  // the running updater's file
    uint64_t selfSize;
    WaitBudget waits;  // for files in use during the swap and its undo
};

// A file being staged.
struct StagedFile {
    char path[MAX_PATH];    // in the new area
    uint32_t number;        // of its name there; 0: its target's mirror
    char target[MAX_PATH];  // relative to the program folder
    bool inTree;            // inside a folder the update brings, moved in with it
    bool readOnly;          // flushed at once: it cannot be opened for writing again
};

// Makes the new area in `folder` (the program folder, ending in a
// separator). RESULT_WRITE when a record is there (RecoverUpdate must come
// first) or the area cannot be made.
int32_t BeginUpdate(UpdateTransaction* update, const char* folder);

// For a target whose folder part (relative, ending in a separator, or
// empty) is `directoryPart`: its folders mirrored in the new area and those
// the install lacks noted; a folder that is another volume's gets areas of
// its own. `lacking` says whether the target's folder is one the update
// brings (so the target is new). Refused when a file stands where a folder
// must be, or the system cannot tell, or a folder cannot be staged.
RefusalCause PlaceTargetFolder(UpdateTransaction* update, const char* directoryPart, bool* lacking);

// Makes the staged file for `target` (relative), empty, with `attributes`.
// INVALID_HANDLE_VALUE when it cannot be made: an earlier entry of the run
// staged the same name (in the spelling the file system folds), or the disk
// refused.
HANDLE CreateStagedFile(UpdateTransaction* update, const char* target, bool lacking,
                        DWORD attributes, StagedFile* staged);

// Notes a staged file whose data went in whole (`size` bytes of CRC-32
// `crc`), replacing the install's file of `existingSize` bytes at `fullTarget`
// when `replaces`. False when it could not be noted.
bool AddStagedFile(UpdateTransaction* update, const StagedFile& staged, bool replaces,
                   const char* fullTarget, uint64_t existingSize, uint32_t size, uint32_t crc);

// The handle of the target of the step noted last, in `update.texts`.
uint32_t LastStagedTarget(const UpdateTransaction& update);

// Where the run staged the file for `target` (relative) under its own name,
// when it did; false otherwise (nothing staged, or staged under a number).
bool FindStagedFile(const UpdateTransaction& update, const char* target, char (&path)[MAX_PATH]);

// Removes a staged file that did not go in whole.
void DiscardStagedFile(const StagedFile& staged);

// Ends the run's update: with `complete`, prepares, swaps and commits it
// (RESULT_OK: the new version is complete and on the disk; RESULT_WRITE:
// it was undone, the install is the old version); without, the staged
// files go (RESULT_OK). Frees what the transaction holds either way.
int32_t EndUpdate(UpdateTransaction* update, bool complete);

// What an interrupted run left in `folder` (ending in a separator) played
// back: true when the install is whole (the old version or the new one) and
// nothing of an earlier run stands in the way; false when a record cannot
// be read whole (it is kept, nothing changes) or its playback could not be
// completed (the next run tries again).
bool RecoverUpdate(const char* folder);
