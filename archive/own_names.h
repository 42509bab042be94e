// The names the updater gives things of its own in a program folder, so that
// none of them can be taken for a file of the application, nor an entry for
// one of them:
//   "~tvx.new"   the area the update's files are staged in;
//   "~tvx.old"   the area old files are moved out to during the swap;
//   "~tvx.next"  the swap record while it is written;
//   "~tvx.swap"  the swap record once whole: a swap that may be under way;
//   "~tvx.commit"  the same record once the swap is committed;
//   "~tvx.lock"  the lock file of the run.
// Earlier versions of the updater left names of their own too, which a run
// sweeps where it finds them (leftovers.h):
//   "~tvxPPPPSSSS.tmp", "~tvxPPPPSSSS.old" and "NAME.~tvxPPPPSSSS.old",
// with PPPPSSSS eight upper-case hex digits.
#pragma once

#include <cstddef>

constexpr char kOwnMark[] = "~tvx";
constexpr size_t kOwnMarkLength = sizeof kOwnMark - 1;
constexpr size_t kOwnTagLength = 8;
constexpr size_t kOwnExtensionLength = 4;
constexpr size_t kOwnNameLength = kOwnMarkLength + kOwnTagLength + kOwnExtensionLength;
constexpr char kNewArea[] = "~tvx.new";
constexpr char kOldArea[] = "~tvx.old";
constexpr char kNextRecordName[] = "~tvx.next";
constexpr char kSwapRecordName[] = "~tvx.swap";
constexpr char kCommittedRecordName[] = "~tvx.commit";
constexpr char kLockFileName[] = "~tvx.lock";

// What an earlier version's file name (one component, `length` bytes) is,
// exactly as it wrote its names.
enum class OwnName {
    None,
    Temporary,   // "~tvxPPPPSSSS.tmp"
    Kept,        // "~tvxPPPPSSSS.old"
    KeptBeside,  // "NAME.~tvxPPPPSSSS.old"
};
OwnName ClassifyOwnName(const char* fileName, size_t length);

// The length of NAME in "NAME.~tvxPPPPSSSS.old" (0 for any other name).
size_t KeptBesideNameLength(const char* fileName);

// Whether any component of `name` could reach a name of the updater's own:
// one that begins with "~tvx" in any case (Windows takes "~TVX.SWAP" for
// "~tvx.swap", and the 8.3 alias of every own name begins so), or an old
// file kept beside its name. No entry may be written under such a name.
bool HasOwnNameComponent(const char* name);
