#include "update_transaction.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "../platform/durable_files.h"
#include "../platform/path_text.h"
#include "installed_copy.h"
#include "own_names.h"
#include "result_codes.h"

namespace {

// The mirror of the install's tree inside the new area; staged files whose
// mirrored path does not fit get a numbered name in the area itself, which
// no mirrored name can be (the tree is one folder down).
constexpr char kMirrorFolder[] = "~tvx.new/t/";
constexpr char kNewAreaFolder[] = "~tvx.new/";
constexpr char kOldAreaFolder[] = "~tvx.old/";

constexpr int kPlaybackPasses = 3;

// The record goes out through a buffer of this size, whatever its length.
constexpr size_t kRecordBufferSize = 65536;
static_assert(kRecordBufferSize >= kSwapRecordHeadSize + kMaxSwapStepSize + kSwapRecordEndSize,
              "a step and the end fit after the head");

enum class Outcome { Done, Missing, Failed };

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool FullPath(const char* folder, const char* relative, char (&path)[MAX_PATH])
{
    return ConcatenatePath(path, folder, relative);
}

// `name` (an area or its mirror) of the volume at `root` (relative to
// `folder`); false when it does not fit.
bool AreaPath(const char* folder, const char* root, const char* name, char (&path)[MAX_PATH])
{
    const int length = std::snprintf(path, MAX_PATH, "%s%s%s", folder, root, name);
    return length > 0 && length < MAX_PATH;
}

// "~tvx.new/" or "~tvx.old/" of the volume at `root` and eight hex digits of
// `number`, one never given before in this run.
bool NumberedName(const char* root, const char* area, uint32_t number, char (&name)[MAX_PATH])
{
    const int length =
        std::snprintf(name, MAX_PATH, "%s%s%08lX", root, area, static_cast<unsigned long>(number));
    return length > 0 && length < MAX_PATH;
}

// The volume whose areas serve `relative`: the innermost one mounted on a
// folder it lies in, or the program folder's.
const StagingVolume& VolumeOf(const UpdateTransaction& update, const char* relative)
{
    const StagingVolume* found = &update.volumes[0];
    for (uint32_t i = 1; i < update.volumeCount; ++i) {
        const StagingVolume& volume = update.volumes[i];
        const size_t length = std::strlen(volume.root);
        if (std::strncmp(relative, volume.root, length) == 0 && length > std::strlen(found->root))
            found = &volume;
    }
    return *found;
}

// The volume root a path of the record's areas lies under: what comes
// before its area's name.
void AreaRootOf(const char* areaPath, char (&root)[MAX_PATH])
{
    root[0] = '\0';
    for (const char* area : {kNewAreaFolder, kOldAreaFolder}) {
        for (const char* at = std::strstr(areaPath, area); at; at = std::strstr(at + 1, area)) {
            if (at == areaPath || IsSeparator(at[-1])) {
                std::snprintf(root, MAX_PATH, "%.*s", int(at - areaPath), areaPath);
                return;
            }
        }
    }
}

const char* TextAt(const UpdateTransaction& update, uint32_t handle)
{
    return PoolRecordAt(update.texts, handle);
}

bool AddText(UpdateTransaction* update, const char* text, uint32_t* handle)
{
    const size_t length = std::strlen(text) + 1;
    if (!AddPoolRecord(&update->texts, length, handle)) return false;
    std::memcpy(PoolRecordAt(update->texts, *handle), text, length);
    return true;
}

bool AddStep(UpdateTransaction* update, SwapStepKind kind, const char* target, uint32_t staged,
             uint32_t old, uint32_t size, uint32_t crc, bool last)
{
    if (update->stepCount == update->stepCapacity) {
        // By half again, not twice: the old and the new array live at once.
        const uint32_t capacity = update->stepCapacity ? update->stepCapacity / 2 * 3 : 256;
        StagedStep* grown = new (std::nothrow) StagedStep[capacity];
        if (!grown) return false;
        if (update->steps) std::memcpy(grown, update->steps, update->stepCount * sizeof *grown);
        delete[] update->steps;
        update->steps = grown;
        update->stepCapacity = capacity;
    }
    StagedStep step{kind, last, size, crc, 0, staged, old};
    if (!AddText(update, target, &step.target)) return false;
    update->steps[update->stepCount++] = step;
    return true;
}

// The relative name of the mirror of the relative `path` in the new area;
// false when it does not fit.
bool MirrorName(const UpdateTransaction& update, const char* path, char (&name)[MAX_PATH])
{
    const char* root = VolumeOf(update, path).root;
    const int length =
        std::snprintf(name, MAX_PATH, "%s%s%s", root, kMirrorFolder, path + std::strlen(root));
    return length > 0 && length < MAX_PATH;
}

// Where a step's files wait in the areas, put together from its numbers.
struct StepNames {
    char staged[MAX_PATH];
    char old[MAX_PATH];
};

// A staged step as the record and the swap know it, its names in `names`;
// false when they do not fit.
bool DescribeStep(const UpdateTransaction& update, const StagedStep& staged, StepNames* names,
                  SwapStep* step)
{
    const char* target = TextAt(update, staged.target);
    const char* root = VolumeOf(update, target).root;
    names->staged[0] = names->old[0] = '\0';
    bool named = true;
    if (staged.kind == SwapStepKind::Tree || staged.kind == SwapStepKind::NewFile ||
        staged.kind == SwapStepKind::Replace) {
        named = staged.staged ? NumberedName(root, kNewAreaFolder, staged.staged, names->staged)
                              : MirrorName(update, target, names->staged);
    }
    if (staged.kind == SwapStepKind::Replace)
        named = named && NumberedName(root, kOldAreaFolder, staged.old, names->old);
    *step = SwapStep{staged.kind, staged.size, staged.crc, target, names->staged, names->old};
    return named;
}

// The steps of one swap in its order: a record's, decoded, or the run's own,
// described one at a time, which keeps a run of many files small.
struct SwapSteps {
    const SwapStep* decoded;          // a record's; null for the run's own
    const UpdateTransaction* update;  // the run's own, in `order`
    const uint32_t* order;
    uint32_t count;
};

bool StepAt(const SwapSteps& steps, uint32_t i, StepNames* names, SwapStep* step)
{
    if (steps.decoded) {
        *step = steps.decoded[i];
        return true;
    }
    return DescribeStep(*steps.update, steps.update->steps[steps.order[i]], names, step);
}

void FreeSteps(UpdateTransaction* update)
{
    delete[] update->steps;
    FreeRecordPool(&update->texts);
    update->steps = nullptr;
    update->stepCount = update->stepCapacity = 0;
}

// Clears the read-only attribute of `path` once, where it has one.
bool ClearReadOnly(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    const DWORD cleared = attributes & ~FILE_ATTRIBUTE_READONLY;
    return SetFileAttributesA(path, cleared ? cleared : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

Outcome RemoveFile(const char* path, WaitBudget* budget)
{
    bool cleared = false;
    for (uint32_t waits = 0;;) {
        if (DeleteFileA(path)) return Outcome::Done;
        const DWORD error = GetLastError();
        if (IsMissing(error)) return Outcome::Missing;
        if (error == ERROR_ACCESS_DENIED && !cleared && ClearReadOnly(path)) {
            cleared = true;
            continue;
        }
        if (!WaitWhileInUse(error, &waits, budget)) return Outcome::Failed;
    }
}

// A move onto a free name; a file someone holds is waited for.
Outcome MoveFile(const char* from, const char* to, DWORD flags, WaitBudget* budget)
{
    for (uint32_t waits = 0;;) {
        if (MoveFileExA(from, to, flags)) return Outcome::Done;
        const DWORD error = GetLastError();
        if (IsMissing(error)) return Outcome::Missing;
        if (!WaitWhileInUse(error, &waits, budget)) return Outcome::Failed;
    }
}

// Removes `folder` with all it holds; false when anything of it stays (a
// program still running from it).
bool RemoveTree(const char* folder, WaitBudget* budget)
{
    char pattern[MAX_PATH];
    if (!ConcatenatePath(pattern, folder, "/*")) return false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND) return true;
        if (error != ERROR_FILE_NOT_FOUND) return false;
    }
    bool emptied = true;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const char* name = found.cFileName;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            char path[MAX_PATH];
            const int length = std::snprintf(path, MAX_PATH, "%s/%s", folder, name);
            const bool named = length > 0 && length < MAX_PATH;
            const bool removed = named && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY
                                               ? RemoveTree(path, budget)
                                               : RemoveFile(path, budget) != Outcome::Failed);
            emptied = emptied && removed;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    if (!emptied) return false;
    return RemoveDirectoryA(folder) || IsMissing(GetLastError());
}

// A pass that failed (a listing refused, a file held) is made again: each
// finds what the one before left.
bool RemoveAreas(const char* folder, const char* root, WaitBudget* budget)
{
    bool removed = false;
    for (int pass = 0; pass < kPlaybackPasses && !removed; ++pass) {
        removed = true;
        for (const char* name : {kNewArea, kOldArea}) {
            char area[MAX_PATH];
            removed = AreaPath(folder, root, name, area) && RemoveTree(area, budget) && removed;
        }
    }
    return removed;
}

void RemoveAreasOfVolumes(const UpdateTransaction& update, WaitBudget* budget)
{
    for (uint32_t i = 0; i < update.volumeCount; ++i) {
        RemoveAreas(update.folder, update.volumes[i].root, budget);
    }
}

// The areas of every volume the steps name, the program folder's too.
void RemoveAreasOfSteps(const char* folder, const SwapSteps& steps, WaitBudget* budget)
{
    if (!steps.decoded) {
        RemoveAreasOfVolumes(*steps.update, budget);
        return;
    }
    RemoveAreas(folder, "", budget);
    char removed[kMaxStagingVolumes][MAX_PATH];
    uint32_t removedCount = 0;
    for (uint32_t i = 0; i < steps.count; ++i) {
        const SwapStep& step = steps.decoded[i];
        char root[MAX_PATH];
        AreaRootOf(step.staged[0] ? step.staged : step.old, root);
        if (root[0] == '\0') continue;
        bool seen = false;
        for (uint32_t j = 0; j < removedCount && !seen; ++j)
            seen = std::strcmp(removed[j], root) == 0;
        if (seen) continue;
        RemoveAreas(folder, root, budget);
        if (removedCount < kMaxStagingVolumes) std::memcpy(removed[removedCount++], root, MAX_PATH);
    }
}

// The number above every numbered name left in the old area (a program
// still running when its run ended), so that no name is given twice.
uint32_t FindSerialAbove(const char* folder, const char* root)
{
    char pattern[MAX_PATH];
    const int length = std::snprintf(pattern, MAX_PATH, "%s%s%s*", folder, root, kOldAreaFolder);
    if (length < 0 || length >= MAX_PATH) return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    uint32_t highest = 0;
    do {
        uint32_t value = 0;
        const char* digit = found.cFileName;
        for (; *digit && digit - found.cFileName < 8; ++digit) {
            const char c = *digit;
            const int nibble = c >= '0' && c <= '9'   ? c - '0'
                               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                      : -1;
            if (nibble < 0) break;
            value = value << 4 | uint32_t(nibble);
        }
        if (*digit == '\0' && digit - found.cFileName == 8 && value > highest) highest = value;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return highest;
}

// A folder made, or one already there; a file in its way is not one.
bool CreateFolder(const char* path)
{
    if (CreateDirectoryA(path, nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// --- the record -------------------------------------------------------

// The steps in the order of the swap, as indices: trees and their contents
// first, then every other file, the main program and the updater itself
// last.
std::unique_ptr<uint32_t[]> OrderSteps(const UpdateTransaction& update)
{
    std::unique_ptr<uint32_t[]> ordered(new (std::nothrow) uint32_t[update.stepCount]);
    if (!ordered) return ordered;
    uint32_t at = 0;
    for (int pass = 0; pass < 3; ++pass) {
        for (uint32_t i = 0; i < update.stepCount; ++i) {
            const StagedStep& step = update.steps[i];
            const bool tree = step.kind == SwapStepKind::Tree ||
                              step.kind == SwapStepKind::TreeFolder ||
                              step.kind == SwapStepKind::TreeFile;
            const int wanted = tree ? 0 : step.last ? 2 : 1;
            if (wanted == pass) ordered[at++] = i;
        }
    }
    return ordered;
}

bool WriteWhole(HANDLE file, const uint8_t* bytes, size_t size)
{
    DWORD written = 0;
    return WriteFile(file, bytes, DWORD(size), &written, nullptr) && written == DWORD(size);
}

// Writes the record of `steps` as "~tvx.next", through a buffer of
// kRecordBufferSize, flushed, then renames it "~tvx.swap", written through:
// the record is on the disk whole before the first move.
bool WriteRecord(const char* folder, const SwapSteps& steps)
{
    char next[MAX_PATH];
    char swap[MAX_PATH];
    if (!FullPath(folder, kNextRecordName, next) || !FullPath(folder, kSwapRecordName, swap))
        return false;
    const std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kRecordBufferSize]);
    if (!buffer) return false;
    HANDLE file =
        CreateFileA(next, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    SwapRecordEncoder encoder;
    size_t used = EncodeSwapRecordHead(&encoder, steps.count, buffer.get());
    bool whole = true;
    for (uint32_t i = 0; whole && i < steps.count; ++i) {
        StepNames names;
        SwapStep step;
        const size_t size = StepAt(steps, i, &names, &step) ? SwapStepSize(step) : 0;
        whole = size != 0;
        if (whole && used + size + kSwapRecordEndSize > kRecordBufferSize) {
            whole = WriteWhole(file, buffer.get(), used);
            used = 0;
        }
        if (whole) used += EncodeSwapStep(&encoder, step, buffer.get() + used);
    }
    used += EncodeSwapRecordEnd(encoder, buffer.get() + used);
    whole = whole && WriteWhole(file, buffer.get(), used) && FlushFileBuffers(file);
    if (!CloseHandle(file) || !whole ||
        !MoveFileExA(next, swap, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(next);
        return false;
    }
    return true;
}

// The whole record at `path`, or Missing; Failed when it cannot be read.
Outcome ReadRecord(const char* path, std::unique_ptr<uint8_t[]>* bytes, size_t* size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return IsMissing(GetLastError()) ? Outcome::Missing : Outcome::Failed;
    size_t capacity = 65536;
    *size = 0;
    bytes->reset(new (std::nothrow) uint8_t[capacity]);
    bool read = *bytes != nullptr;
    while (read) {
        if (*size == capacity) {
            std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[capacity * 2]);
            if (!grown) {
                read = false;
                break;
            }
            std::memcpy(grown.get(), bytes->get(), *size);
            *bytes = std::move(grown);
            capacity *= 2;
        }
        DWORD got = 0;
        if (!ReadFile(file, bytes->get() + *size, DWORD(capacity - *size), &got, nullptr)) {
            read = false;
            break;
        }
        if (got == 0) break;
        *size += got;
    }
    CloseHandle(file);
    return read ? Outcome::Done : Outcome::Failed;
}

// --- the swap and its undo --------------------------------------------

bool DoStep(const char* folder, const SwapStep& step, WaitBudget* budget)
{
    char target[MAX_PATH];
    char staged[MAX_PATH];
    char old[MAX_PATH];
    if (!FullPath(folder, step.target, target) || !FullPath(folder, step.staged, staged) ||
        !FullPath(folder, step.old, old))
        return false;
    switch (step.kind) {
        case SwapStepKind::TreeFolder:
        case SwapStepKind::TreeFile:
            return true;
        case SwapStepKind::Tree:
        case SwapStepKind::NewFile:
            return MoveFile(staged, target, 0, budget) == Outcome::Done;
        case SwapStepKind::Replace:
            // A running program cannot be replaced but can be moved out.
            return MoveFile(target, old, 0, budget) == Outcome::Done &&
                   MoveFile(staged, target, 0, budget) == Outcome::Done;
    }
    return false;
}

// Moves a file the run put at `target` back into the new area, under a
// fresh name: a program started from it since can be moved, not deleted.
bool MoveBackIntoArea(const char* folder, const SwapStep& step, const char* target,
                      uint32_t* serial, WaitBudget* budget)
{
    char root[MAX_PATH];
    AreaRootOf(step.staged, root);
    char area[MAX_PATH];
    if (!AreaPath(folder, root, kNewArea, area) || !CreateFolder(area)) return false;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[MAX_PATH];
        char away[MAX_PATH];
        const int length = std::snprintf(name, MAX_PATH, "%s%su%07lX", root, kNewAreaFolder,
                                         static_cast<unsigned long>(++*serial & 0xFFFFFFF));
        if (length < 0 || length >= MAX_PATH || !FullPath(folder, name, away)) return false;
        if (MoveFile(target, away, 0, budget) == Outcome::Done) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

bool HoldsNewFile(const char* path, const SwapStep& step)
{
    return HoldsEntryData(path, step.size, step.crc);
}

bool Exists(const char* path, bool* known)
{
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return true;
    *known = IsMissing(GetLastError());
    return false;
}

// Undoes one step, whatever part of it was done: only what still holds what
// the run put there is taken back. True when nothing of it is left to undo.
bool UndoStep(const char* folder, const SwapStep& step, uint32_t* serial, WaitBudget* budget)
{
    char target[MAX_PATH];
    char old[MAX_PATH];
    if (!FullPath(folder, step.target, target) || !FullPath(folder, step.old, old)) return false;
    bool known = true;
    switch (step.kind) {
        case SwapStepKind::Tree:
        case SwapStepKind::TreeFolder:
            // Only an empty folder goes: a file a user saved in it stays.
            RemoveDirectoryA(target);
            return true;
        case SwapStepKind::TreeFile:
        case SwapStepKind::NewFile:
            if (!Exists(target, &known)) return known;
            if (!HoldsNewFile(target, step)) return true;
            return MoveBackIntoArea(folder, step, target, serial, budget);
        case SwapStepKind::Replace: {
            if (!Exists(old, &known)) return known;  // never moved out, or back already
            const bool there = Exists(target, &known);
            if (!there && !known) return false;
            if (there) {
                // Someone else's file since: it stays, and the old one with the area.
                if (!HoldsNewFile(target, step)) return true;
                if (!MoveBackIntoArea(folder, step, target, serial, budget)) return false;
            }
            return MoveFile(old, target, 0, budget) == Outcome::Done;
        }
    }
    return false;
}

// Undoes `steps`, last first; every step that can be is undone, so that the
// install is as near the old version as it can be.
bool UndoSteps(const char* folder, const SwapSteps& steps, uint32_t* serial, WaitBudget* budget)
{
    bool undone = true;
    for (uint32_t i = steps.count; i-- > 0;) {
        StepNames names;
        SwapStep step;
        const bool stepUndone =
            StepAt(steps, i, &names, &step) && UndoStep(folder, step, serial, budget);
        undone = stepUndone && undone;
    }
    return undone;
}

// Undoes the swap of `path`'s record, passes again where one failed, then
// removes the areas and the record.
bool PlayBackUndo(const char* folder, const char* path, const SwapSteps& steps, uint32_t* serial,
                  WaitBudget* budget)
{
    bool undone = false;
    for (int pass = 0; pass < kPlaybackPasses && !undone; ++pass) {
        undone = UndoSteps(folder, steps, serial, budget);
    }
    if (!undone) return false;
    RemoveAreasOfSteps(folder, steps, budget);
    return RemoveFile(path, budget) != Outcome::Failed;
}

// The areas go, then the committed record: a program still running from
// the old area stays for a later run.
bool FinishCommitted(const char* folder, const char* done, const SwapSteps& steps,
                     WaitBudget* budget)
{
    // A running program's old file is refused for as long as it runs:
    // nothing is waited for.
    WaitBudget none{0};
    RemoveAreasOfSteps(folder, steps, &none);
    return RemoveFile(done, budget) != Outcome::Failed;
}

int32_t SwapAndCommit(UpdateTransaction* update)
{
    const char* folder = update->folder;
    if (update->stepCount == 0) {
        RemoveAreasOfVolumes(*update, &update->waits);
        return RESULT_OK;
    }
    const std::unique_ptr<uint32_t[]> order = OrderSteps(*update);
    const SwapSteps steps{nullptr, update, order.get(), update->stepCount};
    bool prepared = order != nullptr;
    // The staged data on the disk, volume by volume, before anything names
    // it; then the old areas the swap moves old files into.
    for (uint32_t i = 0; prepared && i < update->volumeCount; ++i) {
        char area[MAX_PATH];
        char oldArea[MAX_PATH];
        const char* root = update->volumes[i].root;
        prepared = AreaPath(folder, root, kNewArea, area) &&
                   AreaPath(folder, root, kOldArea, oldArea) && FlushFolderFiles(area) &&
                   CreateFolder(oldArea);
    }
    if (!prepared || !WriteRecord(folder, steps)) {
        RemoveAreasOfVolumes(*update, &update->waits);
        return RESULT_WRITE;
    }
    update->state = TransactionState::Prepared;
    char swap[MAX_PATH];
    char done[MAX_PATH];
    FullPath(folder, kSwapRecordName, swap);
    FullPath(folder, kCommittedRecordName, done);

    update->state = TransactionState::Swapping;
    bool swapped = true;
    for (uint32_t i = 0; swapped && i < steps.count; ++i) {
        StepNames names;
        SwapStep step;
        swapped = StepAt(steps, i, &names, &step) && DoStep(folder, step, &update->waits);
    }
    // The commit: written through, so that it is on the disk before the
    // archive is deleted.
    if (swapped) {
        for (uint32_t waits = 0;;) {
            if (MoveFileExA(swap, done, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) break;
            if (!WaitWhileInUse(GetLastError(), &waits, &update->waits)) {
                swapped = false;
                break;
            }
        }
    }
    if (!swapped) {
        // A budget of its own: the undo must not fail for the swap's waits.
        WaitBudget undoWaits{kWaitsPerRun};
        const bool undone = PlayBackUndo(folder, swap, steps, &update->serial, &undoWaits);
        (void)undone;  // a record left is undone by the next run's recovery
        update->state = TransactionState::Idle;
        return RESULT_WRITE;
    }
    update->state = TransactionState::Committed;
    FinishCommitted(folder, done, steps, &update->waits);
    update->state = TransactionState::Finished;
    return RESULT_OK;
}

// The mirror of the relative `path` in the new area; false when it does not
// fit.
bool MirrorPath(const UpdateTransaction& update, const char* path, char (&mirror)[MAX_PATH])
{
    char name[MAX_PATH];
    return MirrorName(update, path, name) && FullPath(update.folder, name, mirror);
}

// Makes the new area of the volume at `root` (relative; "" for the program
// folder's), an earlier run's left there removed first: its names could be
// this run's.
bool BeginArea(UpdateTransaction* update, const char* root)
{
    char area[MAX_PATH];
    char mirror[MAX_PATH];
    if (!AreaPath(update->folder, root, kNewArea, area) ||
        !AreaPath(update->folder, root, kMirrorFolder, mirror) || !RemoveTree(area, &update->waits))
        return false;
    if (!CreateFolder(area) || !CreateFolder(mirror)) {
        RemoveTree(area, &update->waits);
        return false;
    }
    const uint32_t above = FindSerialAbove(update->folder, root);
    if (above > update->serial) update->serial = above;
    return true;
}

// A folder of the install that is another volume than the one it lies on
// (a mount point, a junction) stages what goes below it on its own volume.
bool NoteVolume(UpdateTransaction* update, const char* relative, const char* full)
{
    const FileIdentity identity = IdentifyFile(full);
    if (!identity.known) return true;
    if (identity.volume == VolumeOf(*update, relative).volume) return true;
    if (update->volumeCount == kMaxStagingVolumes) return false;
    StagingVolume& volume = update->volumes[update->volumeCount];
    std::snprintf(volume.root, MAX_PATH, "%s", relative);
    volume.volume = identity.volume;
    if (!BeginArea(update, relative)) return false;
    ++update->volumeCount;
    return true;
}

// Whether `relative` (a folder, ending in a separator) of the install is
// mirrored in the new area, made there, parents first, where it fits.
bool MirrorFolder(UpdateTransaction* update, const char* relative)
{
    if (relative[0] == '\0' || IsKnownFolder(update->mirrored, relative)) return true;
    char chain[MAX_PATH];
    for (const char* end = relative; *end;) {
        end = FindComponentEnd(end);
        if (*end == '\0') break;
        ++end;  // with its separator
        std::snprintf(chain, MAX_PATH, "%.*s", int(end - relative), relative);
        if (IsKnownFolder(update->mirrored, chain)) continue;
        char mirror[MAX_PATH];
        if (!MirrorPath(*update, chain, mirror) || !CreateFolder(mirror)) return false;
        RememberFolder(update->mirrored, chain);
    }
    return true;
}

// Looks at one folder of a target's chain (relative, ending in a
// separator) in the install, given whether its parent is one the update
// brings.
RefusalCause PlaceFolder(UpdateTransaction* update, const char* relative, bool* lacking)
{
    if (IsKnownFolder(update->lacking, relative)) {
        *lacking = true;
        return CAUSE_NONE;
    }
    if (!*lacking && IsKnownFolder(update->installed, relative)) return CAUSE_NONE;
    const bool topmost = !*lacking;
    if (topmost) {
        // Asked without its separator, which would make a file in the way
        // look missing.
        char full[MAX_PATH];
        if (!FullPath(update->folder, relative, full)) return CAUSE_PATH_TOO_LONG;
        full[std::strlen(full) - 1] = '\0';
        const DWORD attributes = GetFileAttributesA(full);
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return CAUSE_FILE_FOR_FOLDER;
            if (!NoteVolume(update, relative, full)) return CAUSE_FOLDER_NOT_MADE;
            RememberFolder(update->installed, relative);
            return CAUSE_NONE;
        }
        if (!IsMissing(GetLastError())) return CAUSE_FOLDER_NOT_MADE;
    }
    // A folder the update brings: it is made in the new area, and a
    // topmost one goes in whole with one move.
    if (!MirrorFolder(update, relative)) return CAUSE_FOLDER_NOT_MADE;
    char target[MAX_PATH];
    std::snprintf(target, MAX_PATH, "%s", relative);
    const size_t targetLength = std::strlen(target);
    if (targetLength > 0 && IsSeparator(target[targetLength - 1])) target[targetLength - 1] = '\0';
    const SwapStepKind kind = topmost ? SwapStepKind::Tree : SwapStepKind::TreeFolder;
    const bool noted = AddStep(update, kind, target, 0, 0, 0, 0, false);
    if (!noted) {
        update->broken = true;
        return CAUSE_CANNOT_WRITE;
    }
    RememberFolder(update->lacking, relative);
    *lacking = true;
    return CAUSE_NONE;
}

}  // namespace

int32_t BeginUpdate(UpdateTransaction* update, const char* folder)
{
    update->state = TransactionState::Idle;
    update->steps = nullptr;
    update->texts = RecordPool{};
    FreeSteps(update);
    update->broken = false;
    ForgetAllFolders(update->installed);
    ForgetAllFolders(update->lacking);
    ForgetAllFolders(update->mirrored);
    update->waits.waitsLeft = kWaitsPerRun;
    const size_t length = std::strlen(folder);
    if (length >= MAX_PATH) return RESULT_NO_FILE;
    std::memcpy(update->folder, folder, length + 1);
    update->folderLength = length;
    update->serial = 0;
    char path[MAX_PATH];
    for (const char* record : {kSwapRecordName, kCommittedRecordName, kNextRecordName}) {
        if (!FullPath(folder, record, path)) return RESULT_NO_FILE;
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES || !IsMissing(GetLastError()))
            return RESULT_WRITE;
    }
    char self[MAX_PATH];
    const DWORD selfLength = GetModuleFileNameA(nullptr, self, MAX_PATH);
    update->self = selfLength > 0 && selfLength < MAX_PATH ? IdentifyFile(self) : FileIdentity{};
    if (update->self.known) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        update->selfSize = GetFileAttributesExA(self, GetFileExInfoStandard, &data)
                               ? (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow
                               : UINT64_MAX;
    }
    const FileIdentity programFolder = IdentifyFile(folder);
    update->volumes[0].root[0] = '\0';
    update->volumes[0].volume = programFolder.volume;
    update->volumeCount = 1;
    if (!BeginArea(update, "")) return RESULT_WRITE;
    update->state = TransactionState::Staging;
    return RESULT_OK;
}

RefusalCause PlaceTargetFolder(UpdateTransaction* update, const char* directoryPart, bool* lacking)
{
    *lacking = false;
    if (update->state != TransactionState::Staging) return CAUSE_NOT_OPEN;
    char relative[MAX_PATH];
    for (const char* end = directoryPart; *end;) {
        end = FindComponentEnd(end);
        if (*end == '\0') break;
        ++end;  // with its separator
        const size_t length = size_t(end - directoryPart);
        std::memcpy(relative, directoryPart, length);
        relative[length] = '\0';
        const RefusalCause placed = PlaceFolder(update, relative, lacking);
        if (placed != CAUSE_NONE) return placed;
    }
    return CAUSE_NONE;
}

HANDLE CreateStagedFile(UpdateTransaction* update, const char* target, bool lacking,
                        DWORD attributes, StagedFile* staged)
{
    staged->path[0] = '\0';
    if (update->state != TransactionState::Staging) return INVALID_HANDLE_VALUE;
    std::snprintf(staged->target, MAX_PATH, "%s", target);
    char folderPart[MAX_PATH];
    std::snprintf(folderPart, MAX_PATH, "%.*s", int(FindFilePart(target) - target), target);
    // Mirrored where it fits, so that the file system itself refuses a second
    // entry of the same name in any spelling it folds.
    const bool mirrored =
        MirrorFolder(update, folderPart) && MirrorPath(*update, target, staged->path);
    staged->inTree = lacking && mirrored;
    staged->number = mirrored ? 0 : ++update->serial;
    if (!mirrored) {
        char name[MAX_PATH];
        if (!NumberedName(VolumeOf(*update, folderPart).root, kNewAreaFolder, staged->number,
                          name) ||
            !FullPath(update->folder, name, staged->path)) {
            staged->path[0] = '\0';
            return INVALID_HANDLE_VALUE;
        }
    }
    staged->readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    HANDLE file =
        CreateFileA(staged->path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) staged->path[0] = '\0';
    return file;
}

bool AddStagedFile(UpdateTransaction* update, const StagedFile& staged, bool replaces,
                   const char* fullTarget, uint64_t existingSize, uint32_t size, uint32_t crc)
{
    const char* target = staged.target;
    const bool last = IsSameNameIgnoringCase(target, kMainProgramName) ||
                      (replaces && update->self.known && existingSize == update->selfSize &&
                       IsSameFile(IdentifyFile(fullTarget), update->self));
    bool noted = false;
    if (replaces) {
        const uint32_t old = ++update->serial;
        char name[MAX_PATH];
        noted = NumberedName(VolumeOf(*update, target).root, kOldAreaFolder, old, name) &&
                AddStep(update, SwapStepKind::Replace, target, staged.number, old, size, crc, last);
    } else if (staged.inTree) {
        noted = AddStep(update, SwapStepKind::TreeFile, target, 0, 0, size, crc, false);
    } else {
        noted = AddStep(update, SwapStepKind::NewFile, target, staged.number, 0, size, crc, last);
    }
    if (!noted) update->broken = true;
    return noted;
}

uint32_t LastStagedTarget(const UpdateTransaction& update)
{
    return update.steps[update.stepCount - 1].target;
}

bool FindStagedFile(const UpdateTransaction& update, const char* target, char (&path)[MAX_PATH])
{
    return update.state == TransactionState::Staging && MirrorPath(update, target, path) &&
           GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

void DiscardStagedFile(const StagedFile& staged)
{
    if (staged.path[0] == '\0') return;
    SetFileAttributesA(staged.path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(staged.path);
}

int32_t EndUpdate(UpdateTransaction* update, bool complete)
{
    int32_t result = RESULT_OK;
    if (update->state == TransactionState::Staging) {
        if (complete && !update->broken) {
            result = SwapAndCommit(update);
        } else {
            RemoveAreasOfVolumes(*update, &update->waits);
        }
    }
    FreeSteps(update);
    update->state = TransactionState::Idle;
    return result;
}

bool RecoverUpdate(const char* folder)
{
    WaitBudget budget{kWaitsPerRun};
    char next[MAX_PATH];
    char swap[MAX_PATH];
    char done[MAX_PATH];
    if (!FullPath(folder, kNextRecordName, next) || !FullPath(folder, kSwapRecordName, swap) ||
        !FullPath(folder, kCommittedRecordName, done))
        return true;  // no record fits here, so none was left here
    // A record never completed: nothing had moved.
    if (RemoveFile(next, &budget) == Outcome::Failed) return false;
    bool known = true;
    const bool committed = Exists(done, &known);
    if (!known) return false;
    const char* record = committed ? done : swap;
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    const Outcome read = ReadRecord(record, &bytes, &size);
    if (read == Outcome::Failed) return false;
    if (read == Outcome::Missing) {
        RemoveAreas(folder, "", &budget);
        return true;
    }
    // A record that cannot be read whole changes nothing: it stays, and so
    // does the install as it is. A count no record of this size could hold
    // is not believed.
    uint32_t count = 0;
    if (!ReadSwapStepCount(bytes.get(), size, &count) || count > size / 9) return false;
    std::unique_ptr<SwapStep[]> steps(new (std::nothrow) SwapStep[count + 1]);
    if (!steps || !DecodeSwapRecord(bytes.get(), size, steps.get(), count, &count)) return false;
    const SwapSteps decoded{steps.get(), nullptr, nullptr, count};
    if (committed) return FinishCommitted(folder, done, decoded, &budget);
    uint32_t serial = FindSerialAbove(folder, "");
    return PlayBackUndo(folder, swap, decoded, &serial, &budget);
}
