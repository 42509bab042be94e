/* The main program's half of an update, to copy into the program or link:
 * checking a download, starting the updater and exiting, learning at the
 * next start what became of the update, retrying it after a pause, and
 * removing what the new release drops. C99 and the Windows API only; every
 * path is in the process code page, the updater's own (UTF-8 under its
 * manifest). docs/integrating.md shows its use step by step.
 *
 * The kit keeps one note of its own in the program folder, TVX_NOTE_NAME:
 * the update under way, from which version to which, the archive and the
 * attempts made. The outcome is read from that note, from the version the
 * running program says it is, and from what the updater leaves. */
#ifndef TAVIX_UPDATE_H
#define TAVIX_UPDATE_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TVX_NOTE_NAME "tavix-update.txt"
#define TVX_DROP_LIST_NAME "tavix-dropped.txt"
#define TVX_UPDATER_NAME "Updater.exe"

/* The updater waits up to 10 s for files in use and starts the old program
 * the moment a run fails, so a retry right then meets the same holder (a
 * scanner still reading the archive or a library). A retry waits at least
 * this long after the attempt before it, and an update is tried at most
 * TVX_MOST_ATTEMPTS times. */
#define TVX_RETRY_PAUSE_SECONDS 60
#define TVX_MOST_ATTEMPTS 3
#define TVX_VERSION_SIZE 64

/* SHA-256 (FIPS 180-4), for checking a download. */
typedef struct TvxSha256 {
    DWORD state[8];
    DWORD bitsLow; /* the length so far in bits, low and high halves */
    DWORD bitsHigh;
    unsigned char block[64];
    DWORD used; /* bytes in block */
} TvxSha256;

void TvxStartSha256(TvxSha256* hash);
void TvxAddSha256(TvxSha256* hash, const void* data, size_t size);
void TvxFinishSha256(TvxSha256* hash, unsigned char digest[32]);

typedef enum TvxDownload {
    TVX_DOWNLOAD_OK,
    TVX_DOWNLOAD_UNREADABLE, /* the file cannot be opened or read */
    TVX_DOWNLOAD_WRONG_SIZE, /* incomplete, or not the file published */
    TVX_DOWNLOAD_WRONG_HASH, /* damaged, or not the file published */
    TVX_DOWNLOAD_BAD_HASH    /* the expected hash is not 64 hex digits */
} TvxDownload;

/* Whether the downloaded archive is the one published: its size in bytes
 * and its SHA-256 as 64 hex digits, either case. */
TvxDownload TvxCheckDownload(const char* archivePath, unsigned long long size,
                             const char* sha256Hex);

/* Writes the note (attempt 1 for a new update, the next attempt for the
 * same archive and version) and starts the updater of `programFolder` on
 * `archivePath` from there. On TRUE the program exits at once, so that the
 * updater can replace it; on FALSE nothing was started and the note is
 * gone. `runningVersion` is the program's own, `newVersion` the archive's. */
BOOL TvxStartUpdate(const char* programFolder, const char* archivePath, const char* runningVersion,
                    const char* newVersion);

typedef enum TvxOutcome {
    TVX_NO_UPDATE,    /* no update was started, or the note is not this install's */
    TVX_INSTALLED,    /* the new version runs: call TvxFinishUpdate */
    TVX_INTERRUPTED,  /* the updater's record is there: a run was cut short; run
                         the updater again (TvxRetryUpdate) before anything else */
    TVX_NOT_INSTALLED /* the old version runs, whole */
} TvxOutcome;

typedef enum TvxReason {
    TVX_REASON_NONE,
    TVX_REASON_UNDONE,      /* the archive is kept: the updater refused or undid the
                               update (a file held or read-only, a damaged entry) */
    TVX_REASON_ARCHIVE_GONE /* no archive and the old version: download it again */
} TvxReason;

typedef enum TvxAction {
    TVX_ACT_NOTHING,     /* go on as usual */
    TVX_ACT_FINISH,      /* TvxFinishUpdate, then go on */
    TVX_ACT_RETRY_NOW,   /* TvxRetryUpdate, then exit */
    TVX_ACT_RETRY_LATER, /* go on; retry after waitSeconds (a timer, or the next start) */
    TVX_ACT_DOWNLOAD,    /* the archive is gone: download it again and start anew */
    TVX_ACT_GIVE_UP      /* TVX_MOST_ATTEMPTS failed: tell the user, TvxForgetUpdate */
} TvxAction;

typedef struct TvxUpdateState {
    TvxOutcome outcome;
    TvxReason reason;
    TvxAction action;
    DWORD waitSeconds; /* TVX_ACT_RETRY_LATER: until the pause has passed */
    int attempts;      /* made so far */
    BOOL archiveKept;  /* the archive is still there */
    char fromVersion[TVX_VERSION_SIZE];
    char toVersion[TVX_VERSION_SIZE];
    char archive[MAX_PATH];
} TvxUpdateState;

/* At every start, before anything else: the outcome of the update under
 * way, if any, and what to do about it. FALSE only when the note is there
 * but cannot be read. */
BOOL TvxReadUpdateState(const char* programFolder, const char* runningVersion,
                        TvxUpdateState* state);

/* Starts the updater again on the state's archive, as TvxStartUpdate. */
BOOL TvxRetryUpdate(const char* programFolder, const TvxUpdateState* state);

/* After TVX_INSTALLED: removes what the release drops (its drop list, then
 * the list itself), the archive where a scanner kept it, and the note; the
 * note stays while the archive cannot be deleted yet, so that the next
 * start finishes again. The number of listed paths that stayed (0 when all
 * went). */
int TvxFinishUpdate(const char* programFolder, const TvxUpdateState* state);

/* Deletes the note: the update is given up, or was started by hand. */
BOOL TvxForgetUpdate(const char* programFolder);

/* Removes the files and then the folders that the drop list at `listPath`
 * names below `programFolder`. A name that would lead outside the folder, or
 * through a link or junction, is not followed; a folder goes only once it is
 * empty, so one that still holds files the list does not name stays; a
 * read-only file loses the attribute first. The updater, the note and the
 * list itself are never removed. The number of listed paths that
 * stayed (a name refused, a file held, a folder not empty); -1 when the list
 * cannot be read, 0 when there is none. */
int TvxRemoveDroppedFiles(const char* programFolder, const char* listPath);

/* Clears the read-only attribute of every file below `programFolder`, which
 * the updater never replaces; the number of files that kept it. */
int TvxClearReadOnly(const char* programFolder);

#ifdef __cplusplus
}
#endif

#endif
