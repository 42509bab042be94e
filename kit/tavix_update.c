/* The main program's half of an update: see tavix_update.h. Written so that
 * it also compiles as C++, as the project's Linux build compiles it. */
#include "tavix_update.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* What the updater leaves in the program folder when a run of it was cut
 * short in its swap (or is in it now): its record, before and after the
 * commit. The kit's test holds this line to the updater's own names. */
static const char* const kUpdaterRecords[] = {"~tvx.swap", "~tvx.commit"};

#define TVX_NOTE_HEADER "tavix-update 1"
#define TVX_NOTE_SIZE (MAX_PATH + 3 * TVX_VERSION_SIZE + 128)
#define TVX_MOST_LIST_BYTES (4u << 20)
#define TVX_READ_CHUNK 65536u
#define TVX_HELD_WAIT_MS 100u
#define TVX_HELD_BUDGET_MS 2000u /* for one list: files a scanner holds a moment */
#define TVX_TICKS_PER_SECOND 10000000ull

/* ---- SHA-256 ---------------------------------------------------------- */

static const DWORD kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

static DWORD RotateRight(DWORD value, int bits)
{
    return (value >> bits) | (value << (32 - bits));
}

static void HashBlock(TvxSha256* hash, const unsigned char* block)
{
    DWORD w[64];
    DWORD v[8];
    int i;
    for (i = 0; i < 16; ++i) {
        w[i] = ((DWORD)block[4 * i] << 24) | ((DWORD)block[4 * i + 1] << 16) |
               ((DWORD)block[4 * i + 2] << 8) | (DWORD)block[4 * i + 3];
    }
    for (i = 16; i < 64; ++i) {
        const DWORD s0 = RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const DWORD s1 = RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    memcpy(v, hash->state, sizeof v);
    for (i = 0; i < 64; ++i) {
        const DWORD s1 = RotateRight(v[4], 6) ^ RotateRight(v[4], 11) ^ RotateRight(v[4], 25);
        const DWORD choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
        const DWORD t1 = v[7] + s1 + choice + kRoundConstants[i] + w[i];
        const DWORD s0 = RotateRight(v[0], 2) ^ RotateRight(v[0], 13) ^ RotateRight(v[0], 22);
        const DWORD majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        memmove(v + 1, v, 7 * sizeof v[0]);
        v[4] += t1;
        v[0] = t1 + s0 + majority;
    }
    for (i = 0; i < 8; ++i) hash->state[i] += v[i];
}

void TvxStartSha256(TvxSha256* hash)
{
    static const DWORD kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    memcpy(hash->state, kInitial, sizeof kInitial);
    hash->bitsLow = 0;
    hash->bitsHigh = 0;
    hash->used = 0;
}

void TvxAddSha256(TvxSha256* hash, const void* data, size_t size)
{
    const unsigned char* bytes = (const unsigned char*)data;
    while (size > 0) {
        size_t take = 64 - hash->used;
        if (take > size) take = size;
        memcpy(hash->block + hash->used, bytes, take);
        hash->used += (DWORD)take;
        bytes += take;
        size -= take;
        {
            const DWORD bits = (DWORD)take * 8;
            hash->bitsLow += bits;
            if (hash->bitsLow < bits) ++hash->bitsHigh;
        }
        if (hash->used == 64) {
            HashBlock(hash, hash->block);
            hash->used = 0;
        }
    }
}

void TvxFinishSha256(TvxSha256* hash, unsigned char digest[32])
{
    unsigned char length[8];
    static const unsigned char kPad = 0x80;
    static const unsigned char kZero = 0;
    int i;
    for (i = 0; i < 4; ++i) {
        length[i] = (unsigned char)(hash->bitsHigh >> (24 - 8 * i));
        length[4 + i] = (unsigned char)(hash->bitsLow >> (24 - 8 * i));
    }
    TvxAddSha256(hash, &kPad, 1);
    while (hash->used != 56) TvxAddSha256(hash, &kZero, 1);
    TvxAddSha256(hash, length, 8);
    for (i = 0; i < 32; ++i) digest[i] = (unsigned char)(hash->state[i / 4] >> (24 - 8 * (i % 4)));
}

/* ---- a download ------------------------------------------------------- */

static int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static BOOL ReadHexDigest(const char* text, unsigned char digest[32])
{
    int i;
    if (text == NULL || strlen(text) != 64) return FALSE;
    for (i = 0; i < 32; ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return FALSE;
        digest[i] = (unsigned char)(high * 16 + low);
    }
    return TRUE;
}

TvxDownload TvxCheckDownload(const char* archivePath, unsigned long long size,
                             const char* sha256Hex)
{
    unsigned char expected[32];
    unsigned char actual[32];
    unsigned long long total = 0;
    TvxSha256 hash;
    HANDLE file;
    unsigned char* buffer;
    BOOL read = TRUE;
    if (!ReadHexDigest(sha256Hex, expected)) return TVX_DOWNLOAD_BAD_HASH;
    file = CreateFileA(archivePath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return TVX_DOWNLOAD_UNREADABLE;
    buffer = (unsigned char*)malloc(TVX_READ_CHUNK);
    TvxStartSha256(&hash);
    read = buffer != NULL;
    while (read && total <= size) {
        DWORD got = 0;
        read = ReadFile(file, buffer, TVX_READ_CHUNK, &got, NULL);
        if (!read || got == 0) break;
        TvxAddSha256(&hash, buffer, got);
        total += got;
    }
    free(buffer);
    CloseHandle(file);
    if (!read) return TVX_DOWNLOAD_UNREADABLE;
    if (total != size) return TVX_DOWNLOAD_WRONG_SIZE;
    TvxFinishSha256(&hash, actual);
    return memcmp(actual, expected, 32) == 0 ? TVX_DOWNLOAD_OK : TVX_DOWNLOAD_WRONG_HASH;
}

/* ---- paths and small files -------------------------------------------- */

/* The attributes to give a file that is to lose its read-only one; Windows
 * takes FILE_ATTRIBUTE_NORMAL only alone. */
static DWORD WithoutReadOnly(DWORD attributes)
{
    const DWORD kept =
        attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    return kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
}

/* `folder` and `name` joined; FALSE when they do not fit. */
static BOOL JoinPath(char path[MAX_PATH], const char* folder, const char* name)
{
    const int length = snprintf(path, MAX_PATH, "%s\\%s", folder, name);
    return length > 0 && length < MAX_PATH;
}

static BOOL IsThere(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

/* A small file whole, zero-terminated, in `size` bytes: its length, or -1
 * when it cannot be read or is longer (a list cut short could name a
 * shorter path than it means). */
static long ReadSmallFile(const char* path, char* text, DWORD size)
{
    DWORD total = 0;
    BOOL whole = FALSE;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return -1;
    for (;;) {
        char extra;
        DWORD got = 0;
        const BOOL full = total + 1 == size;
        if (!ReadFile(file, full ? &extra : text + total, full ? 1 : size - 1 - total, &got,
                      NULL)) {
            break;
        }
        if (got == 0) whole = TRUE;
        if (got == 0 || full) break;
        total += got;
    }
    CloseHandle(file);
    text[total] = '\0';
    return whole ? (long)total : -1;
}

/* Replaces `path` with `text` in one rename, after the bytes reached the disk:
 * a note is the old one or the new one, never half of either. */
static BOOL WriteWholeFile(const char* path, const char* text)
{
    char temporary[MAX_PATH];
    HANDLE file;
    DWORD written = 0;
    BOOL wrote;
    const DWORD length = (DWORD)strlen(text);
    if (snprintf(temporary, MAX_PATH, "%s.new", path) >= MAX_PATH) return FALSE;
    DeleteFileA(temporary);
    file = CreateFileA(temporary, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    wrote = WriteFile(file, text, length, &written, NULL) && written == length &&
            FlushFileBuffers(file);
    if (!CloseHandle(file)) wrote = FALSE;
    if (wrote && MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING)) return TRUE;
    DeleteFileA(temporary);
    return FALSE;
}

static unsigned long long ReadClock(void)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return ((unsigned long long)now.dwHighDateTime << 32) | now.dwLowDateTime;
}

/* ---- the note --------------------------------------------------------- */

typedef struct TvxNote {
    char fromVersion[TVX_VERSION_SIZE];
    char toVersion[TVX_VERSION_SIZE];
    char archive[MAX_PATH];
    int attempts;
    unsigned long long started; /* FILETIME of the last attempt */
} TvxNote;

/* The value of line `key` in `text`, copied into `value`; FALSE without it. */
static BOOL ReadNoteLine(const char* text, const char* key, char* value, size_t size)
{
    const size_t keyLength = strlen(key);
    const char* line = text;
    while (line != NULL && *line != '\0') {
        const char* end = strchr(line, '\n');
        const size_t length = end ? (size_t)(end - line) : strlen(line);
        if (length > keyLength && strncmp(line, key, keyLength) == 0 && line[keyLength] == ' ') {
            const size_t valueLength = length - keyLength - 1;
            if (valueLength >= size) return FALSE;
            memcpy(value, line + keyLength + 1, valueLength);
            value[valueLength] = '\0';
            return TRUE;
        }
        line = end ? end + 1 : NULL;
    }
    return FALSE;
}

/* 1 read, 0 no note, -1 a note that cannot be read. */
static int ReadNote(const char* programFolder, TvxNote* note)
{
    char path[MAX_PATH];
    char text[TVX_NOTE_SIZE];
    char number[32];
    char* end = NULL;
    long length;
    memset(note, 0, sizeof *note);
    if (!JoinPath(path, programFolder, TVX_NOTE_NAME)) return -1;
    length = ReadSmallFile(path, text, sizeof text);
    if (length < 0) return IsThere(path) ? -1 : 0;
    if (strncmp(text, TVX_NOTE_HEADER "\n", strlen(TVX_NOTE_HEADER) + 1) != 0 ||
        !ReadNoteLine(text, "from", note->fromVersion, sizeof note->fromVersion) ||
        !ReadNoteLine(text, "to", note->toVersion, sizeof note->toVersion) ||
        !ReadNoteLine(text, "archive", note->archive, sizeof note->archive) ||
        !ReadNoteLine(text, "attempts", number, sizeof number)) {
        return -1;
    }
    note->attempts = atoi(number);
    if (!ReadNoteLine(text, "started", number, sizeof number)) return -1;
    note->started = strtoull(number, &end, 10);
    return end != number && *end == '\0' && note->attempts > 0 ? 1 : -1;
}

static BOOL WriteNote(const char* programFolder, const TvxNote* note)
{
    char path[MAX_PATH];
    char text[TVX_NOTE_SIZE];
    char started[24];
    unsigned long long value = note->started;
    int digit = (int)sizeof started - 1;
    started[digit] = '\0';
    do {
        started[--digit] = (char)('0' + value % 10);
        value /= 10;
    } while (value > 0);
    if (!JoinPath(path, programFolder, TVX_NOTE_NAME)) return FALSE;
    snprintf(text, sizeof text, "%s\nfrom %s\nto %s\nattempts %d\nstarted %s\narchive %s\n",
             TVX_NOTE_HEADER, note->fromVersion, note->toVersion, note->attempts, started + digit,
             note->archive);
    return WriteWholeFile(path, text);
}

static BOOL CopyText(char* target, size_t size, const char* text)
{
    const size_t length = strlen(text);
    if (length >= size || strchr(text, '\n') != NULL) return FALSE;
    memcpy(target, text, length + 1);
    return TRUE;
}

/* ---- starting the updater --------------------------------------------- */

static BOOL LaunchUpdater(const char* programFolder, const char* archivePath)
{
    char updater[MAX_PATH];
    char parameters[MAX_PATH + 3];
    if (!JoinPath(updater, programFolder, TVX_UPDATER_NAME) ||
        snprintf(parameters, sizeof parameters, "\"%s\"", archivePath) >= (int)sizeof parameters) {
        return FALSE;
    }
    return (intptr_t)ShellExecuteA(NULL, "open", updater, parameters, programFolder, SW_SHOW) > 32;
}

static BOOL StartAttempt(const char* programFolder, TvxNote* note)
{
    note->started = ReadClock();
    if (!WriteNote(programFolder, note)) return FALSE;
    if (LaunchUpdater(programFolder, note->archive)) return TRUE;
    TvxForgetUpdate(programFolder);
    return FALSE;
}

BOOL TvxStartUpdate(const char* programFolder, const char* archivePath, const char* runningVersion,
                    const char* newVersion)
{
    TvxNote earlier;
    TvxNote note;
    memset(&note, 0, sizeof note);
    if (!CopyText(note.fromVersion, sizeof note.fromVersion, runningVersion) ||
        !CopyText(note.toVersion, sizeof note.toVersion, newVersion) ||
        !CopyText(note.archive, sizeof note.archive, archivePath)) {
        return FALSE;
    }
    note.attempts = 1;
    if (ReadNote(programFolder, &earlier) == 1 && strcmp(earlier.toVersion, newVersion) == 0 &&
        strcmp(earlier.archive, archivePath) == 0) {
        note.attempts = earlier.attempts + 1;
    }
    return StartAttempt(programFolder, &note);
}

BOOL TvxRetryUpdate(const char* programFolder, const TvxUpdateState* state)
{
    TvxNote note;
    memset(&note, 0, sizeof note);
    memcpy(note.fromVersion, state->fromVersion, sizeof note.fromVersion);
    memcpy(note.toVersion, state->toVersion, sizeof note.toVersion);
    memcpy(note.archive, state->archive, sizeof note.archive);
    note.attempts = state->attempts + 1;
    return StartAttempt(programFolder, &note);
}

/* ---- the outcome ------------------------------------------------------ */

static BOOL IsRecordThere(const char* programFolder)
{
    size_t i;
    for (i = 0; i < sizeof kUpdaterRecords / sizeof kUpdaterRecords[0]; ++i) {
        char path[MAX_PATH];
        if (JoinPath(path, programFolder, kUpdaterRecords[i]) && IsThere(path)) return TRUE;
    }
    return FALSE;
}

/* The old version runs and the updater left no record: the update was
 * refused or undone whole. A retry waits out the pause after the attempt
 * (a clock set back counts as waited). */
static void DecideRetry(const TvxNote* note, TvxUpdateState* state)
{
    const unsigned long long now = ReadClock();
    const unsigned long long pause = TVX_RETRY_PAUSE_SECONDS * TVX_TICKS_PER_SECOND;
    state->outcome = TVX_NOT_INSTALLED;
    if (!state->archiveKept) {
        state->reason = TVX_REASON_ARCHIVE_GONE;
        state->action = TVX_ACT_DOWNLOAD;
        return;
    }
    state->reason = TVX_REASON_UNDONE;
    if (note->attempts >= TVX_MOST_ATTEMPTS) {
        state->action = TVX_ACT_GIVE_UP;
    } else if (now >= note->started && now - note->started < pause) {
        state->action = TVX_ACT_RETRY_LATER;
        state->waitSeconds = (DWORD)((pause - (now - note->started) + TVX_TICKS_PER_SECOND - 1) /
                                     TVX_TICKS_PER_SECOND);
    } else {
        state->action = TVX_ACT_RETRY_NOW;
    }
}

BOOL TvxReadUpdateState(const char* programFolder, const char* runningVersion,
                        TvxUpdateState* state)
{
    TvxNote note;
    const int read = ReadNote(programFolder, &note);
    memset(state, 0, sizeof *state);
    state->outcome = TVX_NO_UPDATE;
    state->action = TVX_ACT_NOTHING;
    if (read <= 0) return read == 0;
    memcpy(state->fromVersion, note.fromVersion, sizeof state->fromVersion);
    memcpy(state->toVersion, note.toVersion, sizeof state->toVersion);
    memcpy(state->archive, note.archive, sizeof state->archive);
    state->attempts = note.attempts;
    state->archiveKept = IsThere(note.archive);
    if (IsRecordThere(programFolder)) {
        /* Whatever version runs, the folder may be half of each until the
         * updater finished or undid the run. */
        state->outcome = TVX_INTERRUPTED;
        state->action = TVX_ACT_RETRY_NOW;
    } else if (strcmp(runningVersion, note.toVersion) == 0) {
        /* Exit 0 whether or not the archive could be deleted: a scanner may
         * still read it. */
        state->outcome = TVX_INSTALLED;
        state->action = TVX_ACT_FINISH;
    } else if (strcmp(runningVersion, note.fromVersion) == 0) {
        DecideRetry(&note, state);
    } else {
        /* Another version than either: installed by other means. */
        TvxForgetUpdate(programFolder);
    }
    return TRUE;
}

BOOL TvxForgetUpdate(const char* programFolder)
{
    char path[MAX_PATH];
    return JoinPath(path, programFolder, TVX_NOTE_NAME) &&
           (DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND);
}

int TvxFinishUpdate(const char* programFolder, const TvxUpdateState* state)
{
    char list[MAX_PATH];
    int stayed = 0;
    if (JoinPath(list, programFolder, TVX_DROP_LIST_NAME)) {
        stayed = TvxRemoveDroppedFiles(programFolder, list);
        /* Never applied twice: a later release may bring back what it lists. */
        if (stayed >= 0) DeleteFileA(list);
    }
    /* An archive a scanner still holds keeps the note, so that the next
     * start finishes again and deletes it then. */
    if (!state->archiveKept || DeleteFileA(state->archive) ||
        GetLastError() == ERROR_FILE_NOT_FOUND) {
        TvxForgetUpdate(programFolder);
    }
    return stayed < 0 ? 0 : stayed;
}

/* ---- what a release drops --------------------------------------------- */

/* A listed name stays inside the folder: relative, no drive, no stream, no
 * empty, "." or ".." component. */
static BOOL IsInsideName(const char* name)
{
    const char* component = name;
    if (name[0] == '\0' || name[0] == '/' || name[0] == '\\' || strchr(name, ':') != NULL) {
        return FALSE;
    }
    for (;;) {
        const size_t length = strcspn(component, "/\\");
        if (length == 0 && component[0] != '\0') return FALSE;
        if ((length == 1 && component[0] == '.') ||
            (length == 2 && component[0] == '.' && component[1] == '.')) {
            return FALSE;
        }
        if (component[length] == '\0') return TRUE;
        component += length + 1;
    }
}

/* A UTF-8 name of the list in the process code page, exactly or not at all. */
static BOOL ConvertName(const char* name, char* converted, int size)
{
    WCHAR wide[MAX_PATH];
    BOOL defaulted = FALSE;
    int units;
    units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide, MAX_PATH);
    if (units <= 0) return FALSE;
    if (GetACP() == CP_UTF8) return CopyText(converted, (size_t)size, name);
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units, converted, size, NULL,
                               &defaulted) > 0 &&
           !defaulted;
}

/* Every folder on the way to `path` below `programFolder` is a real folder,
 * no link or junction that would lead elsewhere. */
static BOOL IsReachedDirectly(const char* programFolder, const char* name)
{
    char path[MAX_PATH];
    size_t at = 0;
    for (;;) {
        const size_t length = strcspn(name + at, "/\\");
        DWORD attributes;
        if (name[at + length] == '\0') return TRUE;
        at += length;
        if (snprintf(path, MAX_PATH, "%s\\%.*s", programFolder, (int)at, name) >= MAX_PATH) {
            return FALSE;
        }
        attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            return FALSE;
        }
        ++at;
    }
}

/* A file someone holds a moment (a scanner) is waited for, within `budget`. */
static BOOL RemoveListedFile(const char* path, DWORD* budget)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FALSE;
    if ((attributes & FILE_ATTRIBUTE_READONLY) &&
        !SetFileAttributesA(path, WithoutReadOnly(attributes))) {
        return FALSE;
    }
    for (;;) {
        if (DeleteFileA(path)) return TRUE;
        if (GetLastError() != ERROR_SHARING_VIOLATION && GetLastError() != ERROR_ACCESS_DENIED) {
            return FALSE;
        }
        if (*budget < TVX_HELD_WAIT_MS) return FALSE;
        *budget -= TVX_HELD_WAIT_MS;
        Sleep(TVX_HELD_WAIT_MS);
    }
}

/* Only an empty folder goes: one that holds anything unlisted stays. */
static BOOL RemoveListedFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && RemoveDirectoryA(path);
}

/* Deeper folders first: a longer path of one line lies below, never above. */
static int CompareLongerFirst(const void* first, const void* second)
{
    const size_t a = strlen(*(const char* const*)first);
    const size_t b = strlen(*(const char* const*)second);
    return a > b ? -1 : a < b ? 1 : 0;
}

/* The updater and the kit's own files at the top: a list that names them
 * (a previous release that shipped the updater) is no reason to lose them. */
static BOOL IsKeptName(const char* name)
{
    static const char* const kKept[] = {TVX_UPDATER_NAME, TVX_NOTE_NAME, TVX_DROP_LIST_NAME};
    size_t i;
    for (i = 0; i < sizeof kKept / sizeof kKept[0]; ++i) {
        const char* a = name;
        const char* b = kKept[i];
        while (*a != '\0' && (*a | 0x20) == (*b | 0x20)) ++a, ++b;
        if (*a == '\0' && *b == '\0') return TRUE;
    }
    return FALSE;
}

/* One listed name: 1 gone (or never there), 0 stayed. */
static int RemoveListed(const char* programFolder, const char* name, DWORD* budget)
{
    char converted[MAX_PATH];
    char path[MAX_PATH];
    size_t length = strlen(name);
    const BOOL folder = length > 0 && name[length - 1] == '/';
    if (!IsInsideName(name) || IsKeptName(name) || !ConvertName(name, converted, MAX_PATH) ||
        !IsReachedDirectly(programFolder, converted) || !JoinPath(path, programFolder, converted)) {
        return 0;
    }
    if (folder) {
        length = strlen(path);
        path[length - 1] = '\0';
        return RemoveListedFolder(path);
    }
    return RemoveListedFile(path, budget);
}

int TvxRemoveDroppedFiles(const char* programFolder, const char* listPath)
{
    char* text;
    char** folders;
    size_t folderCount = 0;
    size_t lines = 1;
    size_t i;
    char* line;
    long length;
    int stayed = 0;
    DWORD budget = TVX_HELD_BUDGET_MS;
    if (!IsThere(listPath)) return 0;
    text = (char*)malloc(TVX_MOST_LIST_BYTES + 1);
    if (text == NULL) return -1;
    length = ReadSmallFile(listPath, text, TVX_MOST_LIST_BYTES + 1);
    if (length < 0) {
        free(text);
        return -1;
    }
    for (i = 0; i < (size_t)length; ++i) lines += text[i] == '\n';
    folders = (char**)malloc(lines * sizeof *folders);
    if (folders == NULL) {
        free(text);
        return -1;
    }
    /* Files first, then the folders that may be empty by then. */
    for (line = text; *line != '\0';) {
        char* end = strchr(line, '\n');
        size_t size;
        if (end != NULL) *end = '\0';
        size = strlen(line);
        if (size > 0 && line[size - 1] == '\r') line[--size] = '\0';
        if (size > 0 && line[size - 1] == '/') {
            folders[folderCount++] = line;
        } else if (size > 0) {
            stayed += !RemoveListed(programFolder, line, &budget);
        }
        if (end == NULL) break;
        line = end + 1;
    }
    qsort(folders, folderCount, sizeof *folders, CompareLongerFirst);
    for (i = 0; i < folderCount; ++i) stayed += !RemoveListed(programFolder, folders[i], &budget);
    free(folders);
    free(text);
    return stayed;
}

/* ---- read-only files -------------------------------------------------- */

static int ClearReadOnlyBelow(const char* folder)
{
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    HANDLE search;
    int kept = 0;
    if (!JoinPath(pattern, folder, "*")) return 0;
    search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        char path[MAX_PATH];
        const DWORD attributes = found.dwFileAttributes;
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0 ||
            !JoinPath(path, folder, found.cFileName)) {
            continue;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) kept += ClearReadOnlyBelow(path);
        } else if ((attributes & FILE_ATTRIBUTE_READONLY) &&
                   !SetFileAttributesA(path, WithoutReadOnly(attributes))) {
            ++kept;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return kept;
}

int TvxClearReadOnly(const char* programFolder)
{
    return ClearReadOnlyBelow(programFolder);
}
