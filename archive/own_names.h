// The names the updater gives files of its own, so that none of them can be
// taken for a file of the application, nor an entry for one of them:
//   "~tvxPPPPSSSS.tmp"  the temporary an entry is written to;
//   "~tvxPPPPSSSS.old"  an old file kept until its run commits or undoes;
//   "~tvx.undo"         a run's undo record, "~tvx.done" once it committed;
//   "NAME.~tvxPPPPSSSS.old"  an old file kept beside its name by earlier
//                       versions of the updater.
// The tag PPPPSSSS is eight upper-case hex digits: the process's low 16
// bits, then a serial number the process never gives twice, so that two
// files of one run never get one name.
#pragma once

#include <cstddef>

constexpr char kOwnMark[] = "~tvx";
constexpr size_t kOwnMarkLength = sizeof kOwnMark - 1;
constexpr size_t kOwnTagLength = 8;
constexpr size_t kOwnExtensionLength = 4;
constexpr size_t kOwnNameLength = kOwnMarkLength + kOwnTagLength + kOwnExtensionLength;
constexpr char kTemporaryExtension[] = ".tmp";
constexpr char kKeptExtension[] = ".old";
constexpr char kUndoRecordName[] = "~tvx.undo";
constexpr char kCommittedRecordName[] = "~tvx.done";

enum class OwnName {
    None,
    Temporary,   // "~tvxPPPPSSSS.tmp"
    Kept,        // "~tvxPPPPSSSS.old"
    KeptBeside,  // "NAME.~tvxPPPPSSSS.old", of earlier versions
    Record,      // "~tvx.undo" or "~tvx.done"
};

// The next tag, zero-terminated.
void MakeOwnTag(char (&tag)[kOwnTagLength + 1]);

// What the file name (one component, `length` bytes) is to the updater,
// exactly as it writes its names.
OwnName ClassifyOwnName(const char* fileName, size_t length);

// The length of NAME in "NAME.~tvxPPPPSSSS.old" (0 for any other name).
size_t KeptBesideNameLength(const char* fileName);

// Whether any component of `name` has one of the forms above, in any case
// (Windows takes "~TVX.UNDO" for "~tvx.undo"): no entry may be written
// under such a name, where a sweep or an undo would take it for its own.
bool HasOwnNameComponent(const char* name);
