#include "update_journal.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "../platform/path_text.h"
#include "../zip/byte_source.h"
#include "own_files.h"
#include "own_names.h"

namespace {

// The record file: this header, then one record per change (a folder about
// to be made, the same folder once made, a file written), each
//   size (4) | kind (1) | text count (1) | texts: length (2), bytes |
//   CRC-32 of kind to texts (4) | size again (4)
// little-endian. The size at the end lets the undo walk back from the last
// record; the CRC tells a record a crash tore from a whole one.
constexpr char kHeader[] = "TVXUNDO1";
constexpr DWORD kHeaderSize = sizeof kHeader - 1;
constexpr char kFolderMaking = 'D';  // a folder about to be made: goes when empty
constexpr char kFolderMade = 'M';    // made by the run: goes with all it holds
constexpr char kFileChanged = 'F';
constexpr uint32_t kMaxTexts = 4;
constexpr uint32_t kMinRecordSize = 4 + 1 + 1 + 4 + 4;
constexpr uint32_t kMaxRecordSize = kMinRecordSize + kMaxTexts * (2 + MAX_PATH);

struct Record {
    char kind;
    uint32_t count;
    char texts[kMaxTexts][MAX_PATH];
};

void PutU16(uint8_t* p, uint32_t value)
{
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
}

void PutU32(uint8_t* p, uint32_t value)
{
    PutU16(p, value & 0xFFFF);
    PutU16(p + 2, value >> 16);
}

uint32_t ChecksumOf(const uint8_t* bytes, uint32_t size)
{
    return uint32_t(crc32(0, bytes, uInt(size)));
}

// The record into `bytes`; its size, or 0 when a text does not fit a path.
uint32_t EncodeRecord(char kind, const char* const* texts, uint32_t count, uint8_t* bytes)
{
    uint32_t at = 4;
    bytes[at++] = uint8_t(kind);
    bytes[at++] = uint8_t(count);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t length = std::strlen(texts[i]);
        if (length >= MAX_PATH) return 0;
        PutU16(bytes + at, uint32_t(length));
        std::memcpy(bytes + at + 2, texts[i], length);
        at += 2 + uint32_t(length);
    }
    PutU32(bytes + at, ChecksumOf(bytes + 4, at - 4));
    const uint32_t size = at + 8;
    PutU32(bytes, size);
    PutU32(bytes + at + 4, size);
    return size;
}

// False for anything but one whole, intact record of `size` bytes.
bool DecodeRecord(const uint8_t* bytes, uint32_t size, Record* record)
{
    if (DecodeUInt32(bytes + size - 4) != size) return false;
    const uint32_t checked = size - 8;
    if (DecodeUInt32(bytes + checked) != ChecksumOf(bytes + 4, checked - 4)) return false;
    record->kind = char(bytes[4]);
    record->count = bytes[5];
    const bool folder = record->kind == kFolderMaking || record->kind == kFolderMade;
    if ((!folder && record->kind != kFileChanged) || record->count != (folder ? 1 : kMaxTexts))
        return false;
    uint32_t at = 6;
    for (uint32_t i = 0; i < record->count; ++i) {
        if (at + 2 > checked) return false;
        const uint32_t length = DecodeUInt16(bytes + at);
        if (length >= MAX_PATH || at + 2 + length > checked) return false;
        std::memcpy(record->texts[i], bytes + at + 2, length);
        record->texts[i][length] = '\0';
        at += 2 + length;
    }
    return at == checked;
}

enum class ReadOutcome { Read, End, Failed };

// A record file read through a window of it: records are read one after the
// other, forwards to commit, backwards to undo, a window at a time.
constexpr DWORD kWindowSize = 65536;

struct RecordFile {
    HANDLE file;
    DWORD windowStart;
    DWORD windowLength;  // 0: nothing read yet
    uint8_t window[kWindowSize];
};

// Reads the window that holds [position, position + size): from `position`
// on, or when reading backwards, up to its end.
ReadOutcome FillWindow(RecordFile* records, DWORD position, DWORD size)
{
    const bool backwards = records->windowLength != 0 && position < records->windowStart;
    const DWORD end = position + size;
    records->windowStart = backwards && end > kWindowSize ? end - kWindowSize
                           : backwards                    ? 0
                                                          : position;
    records->windowLength = 0;
    if (SetFilePointer(records->file, LONG(records->windowStart), nullptr, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER)
        return ReadOutcome::Failed;
    DWORD read = 0;
    if (!ReadFile(records->file, records->window, kWindowSize, &read, nullptr))
        return ReadOutcome::Failed;
    records->windowLength = read;
    return ReadOutcome::Read;
}

// A read that fails is not the end of the records: it must not be taken for
// one, or changes behind it would stay.
ReadOutcome ReadBytesAt(RecordFile* records, DWORD position, void* buffer, DWORD size)
{
    const bool inWindow = records->windowLength != 0 && position >= records->windowStart &&
                          position - records->windowStart + size <= records->windowLength;
    if (!inWindow) {
        const ReadOutcome filled = FillWindow(records, position, size);
        if (filled != ReadOutcome::Read) return filled;
        if (position - records->windowStart + size > records->windowLength) return ReadOutcome::End;
    }
    std::memcpy(buffer, records->window + (position - records->windowStart), size);
    return ReadOutcome::Read;
}

// The record at `position`, or End where the whole records end: at the end
// of the file, or at a record a crash tore.
ReadOutcome ReadRecordAt(RecordFile* file, DWORD position, Record* record, uint32_t* size)
{
    uint8_t bytes[kMaxRecordSize];
    ReadOutcome outcome = ReadBytesAt(file, position, bytes, 4);
    if (outcome != ReadOutcome::Read) return outcome;
    *size = DecodeUInt32(bytes);
    if (*size < kMinRecordSize || *size > kMaxRecordSize) return ReadOutcome::End;
    outcome = ReadBytesAt(file, position + 4, bytes + 4, *size - 4);
    if (outcome != ReadOutcome::Read) return outcome;
    return DecodeRecord(bytes, *size, record) ? ReadOutcome::Read : ReadOutcome::End;
}

// Where the first record starts: 0 when the header itself never got whole.
ReadOutcome ReadHeader(RecordFile* file, DWORD* firstRecord)
{
    char header[kHeaderSize];
    const ReadOutcome outcome = ReadBytesAt(file, 0, header, kHeaderSize);
    const bool whole =
        outcome == ReadOutcome::Read && std::memcmp(header, kHeader, kHeaderSize) == 0;
    *firstRecord = whole ? kHeaderSize : 0;
    return outcome == ReadOutcome::Failed ? outcome : ReadOutcome::Read;
}

// Where the whole records of `file` end; false when it could not be read.
bool FindRecordsEnd(RecordFile* file, DWORD* end)
{
    if (ReadHeader(file, end) == ReadOutcome::Failed) return false;
    if (*end == 0) return true;
    for (;;) {
        Record record;
        uint32_t size = 0;
        const ReadOutcome outcome = ReadRecordAt(file, *end, &record, &size);
        if (outcome == ReadOutcome::Failed) return false;
        if (outcome == ReadOutcome::End) return true;
        *end += size;
    }
}

// Clears the read-only attribute of `path` once, where it has one: a new
// file of a read-only entry must still be removable by the undo.
bool ClearReadOnly(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    const DWORD cleared = attributes & ~FILE_ATTRIBUTE_READONLY;
    return SetFileAttributesA(path, cleared ? cleared : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

enum class Outcome { Done, Missing, Failed };

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

// A new file started since (the new program, run after an interruption)
// cannot be replaced but can be renamed: it goes under a name of the
// updater's own, and is deleted at once where the system lets it, otherwise
// by a later run's sweep.
bool MoveRunningFileAway(const char* target)
{
    char folder[MAX_PATH];
    char room[MAX_PATH];
    char away[MAX_PATH];
    std::snprintf(folder, MAX_PATH, "%.*s", int(FindFilePart(target) - target), target);
    if (!FindRoomForOwnFile(folder, FloorLengthOf(folder, nullptr), room) ||
        !ChooseFreeOwnName(room, kKeptExtension, away) || !MoveFileExA(target, away, 0))
        return false;
    DeleteFileA(away);
    return true;
}

// Moves the old file `kept` back over `target`, whatever the new one is.
Outcome PutBack(const char* kept, const char* target, WaitBudget* budget)
{
    bool cleared = false;
    bool movedAway = false;
    for (uint32_t waits = 0;;) {
        if (MoveFileExA(kept, target, MOVEFILE_REPLACE_EXISTING)) return Outcome::Done;
        const DWORD error = GetLastError();
        if (IsMissing(error)) return Outcome::Missing;
        if (error == ERROR_ACCESS_DENIED && !cleared && ClearReadOnly(target)) {
            cleared = true;
            continue;
        }
        // Only while the old file is there to take its place is the new one
        // moved away.
        if (error == ERROR_ACCESS_DENIED && !movedAway &&
            GetFileAttributesA(kept) != INVALID_FILE_ATTRIBUTES && MoveRunningFileAway(target)) {
            movedAway = true;
            continue;
        }
        if (!WaitWhileInUse(error, &waits, budget)) return Outcome::Failed;
    }
}

// The old file never left its name: `kept` is only its second one, and
// goes. A name of a read-only file goes only once the file is not read-only;
// the old file keeps its attributes all the same. While someone holds the
// file no name of it can go: the second name then stays for a later run's
// sweep, and the install is the old version all the same.
void RemoveSecondName(const char* kept, const char* target, WaitBudget* budget)
{
    const DWORD attributes = GetFileAttributesA(target);
    RemoveFile(kept, budget);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(target, attributes);
}

// A folder the run was about to make goes when it is empty: one that is not
// may have been there before, and was not the run's to take.
void RemoveFolderIfEmpty(const char* folder, WaitBudget* budget)
{
    for (uint32_t waits = 0;;) {
        if (RemoveDirectoryA(folder)) return;
        if (!WaitWhileInUse(GetLastError(), &waits, budget)) return;
    }
}

// A folder the run made is the run's with all it holds: new files written
// into it are not recorded one by one, so the undo takes them with it.
bool RemoveMadeFolder(const char* folder, WaitBudget* budget)
{
    char inside[MAX_PATH];
    char pattern[MAX_PATH];
    if (!ConcatenatePath(inside, folder, EndsWithSeparator(folder) ? "" : "/") ||
        !ConcatenatePath(pattern, inside, "*"))
        return false;
    WIN32_FIND_DATAA found;
    HANDLE search = INVALID_HANDLE_VALUE;
    for (uint32_t waits = 0; search == INVALID_HANDLE_VALUE;) {
        search = FindFirstFileA(pattern, &found);
        if (search != INVALID_HANDLE_VALUE) break;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) break;  // nothing in it
        if (error == ERROR_PATH_NOT_FOUND) return true;
        if (!WaitWhileInUse(error, &waits, budget)) return false;
    }
    bool emptied = true;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const char* name = found.cFileName;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            char path[MAX_PATH];
            const bool named = ConcatenatePath(path, inside, name);
            const bool removed = named && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY
                                               ? RemoveMadeFolder(path, budget)
                                               : RemoveFile(path, budget) != Outcome::Failed);
            emptied = emptied && removed;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    for (uint32_t waits = 0; emptied;) {
        if (RemoveDirectoryA(folder)) return true;
        const DWORD error = GetLastError();
        if (IsMissing(error)) return true;
        if (!WaitWhileInUse(error, &waits, budget)) return false;
    }
    return false;
}

// The temporary takes the target's name only as its last step, and only the
// undo removes it: while it is there, the target is still the old file (or
// none). Each step finds what an earlier, interrupted undo left, so the undo
// can be played back again and again.
bool UndoFileUpdate(const Record& record, WaitBudget* budget)
{
    const char* target = record.texts[0];
    const char* temporary = record.texts[1];
    const char* kept = record.texts[2];
    const char* movedAside = record.texts[3];
    if (kept[0] == '\0') {
        const Outcome removed = RemoveFile(temporary, budget);
        if (removed != Outcome::Missing) return removed == Outcome::Done;
        return RemoveFile(target, budget) != Outcome::Failed;  // the file the run added
    }
    const Outcome fromAside = PutBack(movedAside, target, budget);
    if (fromAside == Outcome::Failed) return false;
    if (fromAside == Outcome::Done) {
        return RemoveFile(kept, budget) != Outcome::Failed &&
               RemoveFile(temporary, budget) != Outcome::Failed;
    }
    const Outcome removed = RemoveFile(temporary, budget);
    if (removed == Outcome::Failed) return false;
    if (removed == Outcome::Done) {
        RemoveSecondName(kept, target, budget);
        return true;
    }
    const Outcome fromKept = PutBack(kept, target, budget);
    if (fromKept != Outcome::Done) return fromKept == Outcome::Missing;
    // Where renaming one name of a file onto another changes nothing, the
    // second name is still there.
    return RemoveFile(kept, budget) != Outcome::Failed;
}

bool UndoRecord(const Record& record, WaitBudget* budget)
{
    switch (record.kind) {
        case kFolderMaking:
            RemoveFolderIfEmpty(record.texts[0], budget);
            return true;
        case kFolderMade:
            return RemoveMadeFolder(record.texts[0], budget);
        default:
            return UndoFileUpdate(record, budget);
    }
}

// What stays of a committed change: the old files. One still in use (a
// running program) cannot go now; a later run sweeps it.
void FinishRecord(const Record& record)
{
    if (record.kind != kFileChanged) return;
    for (uint32_t i = 2; i < kMaxTexts; ++i) {
        if (record.texts[i][0] != '\0') DeleteFileA(record.texts[i]);
    }
}

// A record file to read, or Missing when there is none: only a record the
// system says is not there is taken for none. A scanner may hold a record
// that was just written.
Outcome OpenRecordFile(const char* path, RecordFile* records, WaitBudget* budget)
{
    records->windowStart = 0;
    records->windowLength = 0;
    for (uint32_t waits = 0;;) {
        records->file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (records->file != INVALID_HANDLE_VALUE) return Outcome::Done;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return Outcome::Missing;
        if (!WaitWhileInUse(error, &waits, budget)) return Outcome::Failed;
    }
}

// Undoes the records of `file`, last change first: true when every change
// is undone.
bool UndoRecords(RecordFile* file, WaitBudget* budget)
{
    DWORD position = 0;
    bool undone = FindRecordsEnd(file, &position);
    for (bool readable = undone; readable && position > kHeaderSize;) {
        uint8_t sizeBytes[4];
        Record record;
        uint32_t sizeRead = 0;
        const uint32_t size = ReadBytesAt(file, position - 4, sizeBytes, 4) == ReadOutcome::Read
                                  ? DecodeUInt32(sizeBytes)
                                  : 0;
        readable = size != 0 && size <= position - kHeaderSize &&
                   ReadRecordAt(file, position - size, &record, &sizeRead) == ReadOutcome::Read &&
                   sizeRead == size;
        // Every change is undone that can be, so that the install is as
        // near the old version as it can be until the next run finishes.
        undone = readable && UndoRecord(record, budget) && undone;
        position -= size;
    }
    return undone;
}

// Deletes the old files the committed records of `file` list: true when it
// read them all.
bool FinishRecords(RecordFile* file)
{
    DWORD position = 0;
    ReadOutcome outcome = ReadHeader(file, &position);
    while (outcome == ReadOutcome::Read && position != 0) {
        Record record;
        uint32_t size = 0;
        outcome = ReadRecordAt(file, position, &record, &size);
        if (outcome != ReadOutcome::Read) break;
        FinishRecord(record);
        position += size;
    }
    return outcome != ReadOutcome::Failed;
}

// A pass that failed (a read the disk refused, a file still held) is made
// again: each pass finds what the one before left, and a read that failed
// once often goes through the next time.
constexpr int kPlaybackPasses = 3;

// Plays the record at `path` back (a committed one is finished, an undo
// record undone) and then deletes it; a record not played back through
// stays for the next run. True when no record is left.
bool PlayBackRecord(const char* path, bool committed, WaitBudget* budget)
{
    for (int pass = 0; pass < kPlaybackPasses; ++pass) {
        const std::unique_ptr<RecordFile> file(new (std::nothrow) RecordFile);
        if (!file) continue;
        const Outcome opened = OpenRecordFile(path, file.get(), budget);
        if (opened == Outcome::Missing) return true;
        if (opened == Outcome::Failed) continue;
        const bool played = committed ? FinishRecords(file.get()) : UndoRecords(file.get(), budget);
        CloseHandle(file->file);
        if (played) return RemoveFile(path, budget) != Outcome::Failed;
    }
    return false;
}

void CloseRecordFile(UpdateJournal* journal)
{
    if (journal->file != INVALID_HANDLE_VALUE) CloseHandle(journal->file);
    journal->file = INVALID_HANDLE_VALUE;
}

bool AppendRecord(UpdateJournal* journal, char kind, const char* const* texts, uint32_t count)
{
    if (journal->broken) return false;
    uint8_t bytes[kHeaderSize + kMaxRecordSize];
    const bool first = journal->file == INVALID_HANDLE_VALUE;
    const DWORD at = first ? kHeaderSize : 0;
    const uint32_t size = EncodeRecord(kind, texts, count, bytes + at);
    if (size == 0) return false;
    if (first) {
        journal->file = CreateFileA(journal->undoPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (journal->file == INVALID_HANDLE_VALUE) {
            journal->broken = true;
            return false;
        }
        journal->changed = true;
        std::memcpy(bytes, kHeader, kHeaderSize);
    }
    // A record written in part, or not known to be on the disk, guards
    // nothing: no change may follow it.
    DWORD written = 0;
    if (!WriteFile(journal->file, bytes, at + size, &written, nullptr) || written != at + size ||
        !FlushFileBuffers(journal->file)) {
        journal->broken = true;
        return false;
    }
    return true;
}

}  // namespace

bool OpenUpdateJournal(UpdateJournal* journal, const char* folder)
{
    journal->file = INVALID_HANDLE_VALUE;
    journal->changed = false;
    journal->broken = false;
    ForgetAllFolders(journal->madeFolders);
    journal->waits.waitsLeft = kWaitsPerRun;
    if (!ConcatenatePath(journal->undoPath, folder, kUndoRecordName) ||
        !ConcatenatePath(journal->donePath, folder, kCommittedRecordName)) {
        // No record fits here, so none was left here either; and no change
        // can be guarded.
        journal->undoPath[0] = journal->donePath[0] = '\0';
        journal->broken = true;
        return true;
    }
    // A committed record not yet finished lists names that this run could
    // reuse: it must be gone before anything of this run is made.
    return PlayBackRecord(journal->donePath, true, &journal->waits) &&
           PlayBackRecord(journal->undoPath, false, &journal->waits);
}

bool RecordFolderMaking(UpdateJournal* journal, const char* folder)
{
    const char* texts[] = {folder};
    return AppendRecord(journal, kFolderMaking, texts, 1);
}

bool RecordFolderMade(UpdateJournal* journal, const char* folder)
{
    const char* texts[] = {folder};
    if (!AppendRecord(journal, kFolderMade, texts, 1)) return false;
    // Kept as folders are asked about: with a separator at the end.
    char spelt[MAX_PATH];
    if (EndsWithSeparator(folder)) {
        RememberFolder(journal->madeFolders, folder);
    } else if (ConcatenatePath(spelt, folder, "/")) {
        RememberFolder(journal->madeFolders, spelt);
    }
    return true;
}

bool IsFolderMadeByRun(const UpdateJournal& journal, const char* folder)
{
    return IsKnownFolder(journal.madeFolders, folder);
}

bool RecordFileUpdate(UpdateJournal* journal, const FileUpdate& change)
{
    const char* texts[] = {change.target, change.temporary, change.kept, change.movedAside};
    return AppendRecord(journal, kFileChanged, texts, kMaxTexts);
}

bool CommitUpdate(UpdateJournal* journal)
{
    if (!journal->changed) return true;
    CloseRecordFile(journal);
    for (uint32_t waits = 0;;) {
        // The commit: from here on the new version is the install's.
        if (MoveFileExA(journal->undoPath, journal->donePath, MOVEFILE_REPLACE_EXISTING)) break;
        if (!WaitWhileInUse(GetLastError(), &waits, &journal->waits)) {
            UndoUpdate(journal);
            return false;
        }
    }
    journal->changed = false;
    // What fails here is finished by the next run, before it changes anything.
    PlayBackRecord(journal->donePath, true, &journal->waits);
    return true;
}

bool UndoUpdate(UpdateJournal* journal)
{
    if (!journal->changed) return true;
    CloseRecordFile(journal);
    if (!PlayBackRecord(journal->undoPath, false, &journal->waits)) return false;
    journal->changed = false;
    return true;
}
