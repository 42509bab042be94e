// The state of one open archive behind a handle.
//
// Its methods live in three files, one per job:
//   archive_reader.cpp    CreateArchiveReader, DestroyArchiveReader, Open,
//                         Close, WalkToEntry
//   entry_description.cpp GetEntry
//   entry_extraction.cpp  ExtractEntry and its steps, IsTheArchive
#pragma once

#include <cstdint>

#include "../platform/winapi.h"
#include "../zip/directory_reader.h"
#include "archive_entry.h"
#include "extraction_target.h"
#include "file_identity.h"
#include "in_use_waits.h"
#include "known_folders.h"
#include "leftovers.h"
#include "own_files.h"
#include "update_journal.h"
#include "written_files.h"

constexpr uint32_t kDataBufferSize = 16384;

struct ArchiveReader {
    DirectoryReader* directory;    // owned; none before Open and after Close
    int32_t openEntryIndex;        // always -1: no stream is left open between calls
    ArchiveEntry cachedEntry;      // the last successful description
    int32_t cachedEntryIndex;      // -1: nothing cached
    char* password;                // owned; always none here
    uint8_t* dataBuffer;           // owned; made by the first extraction
    char baseDirectory[MAX_PATH];  // current directory at open, ending in a separator
    int32_t damagedEntryIndex;     // first entry whose central header is damaged; -1: none seen
    KnownFolders knownFolders;     // folders made or written to, so known to exist
    LeftoverSweep sweep;           // folders swept of earlier runs' leftovers
    WaitBudget waits;              // what is left of the run's waits for files in use
    UpdateJournal journal;         // the run's undo record: committed or undone at Close
    bool updateFailed;             // an entry failed: Close undoes every change
    WrittenFiles writtenFiles;     // the files this run wrote, which no later entry replaces
    // Which file the archive is, so that no entry can be written over it.
    char archiveName[MAX_PATH];  // its file name, without the folder
    FileIdentity archive;
    uint64_t archiveSize;

    // Plays back what an interrupted run left in the base directory first.
    int32_t Open(const char* fileName);
    // Commits the run's changes when every extraction went in, otherwise
    // undoes them all. RESULT_WRITE when that could not be completed.
    int32_t Close();
    int32_t GetEntry(int32_t index, ArchiveEntry* entry);
    int32_t ExtractEntry(int32_t index, const char* targetName);

private:
    ReaderStatus WalkToEntry(int32_t index);
    int32_t WriteEntry(int32_t index, const char* targetName);
    int32_t ExtractDirectory(const char* targetName);
    bool IsTheArchive(const ExtractionTarget& target) const;
    bool MakeTargetFolders(const ExtractionTarget& target, bool* known);
    void PrepareFolder(const char* folder);
    bool FindOwnRoom(const ExtractionTarget& target, char (&room)[MAX_PATH]);
    bool PlaceOldFileNames(const ExtractionTarget& target, OwnFilePaths* paths);
    HANDLE CreateTemporary(const ArchiveEntry& entry, const ExtractionTarget& target,
                           bool folderKnown, OwnFilePaths* paths, bool* inMadeFolder);
    int32_t WriteTemporary(HANDLE file, const ArchiveEntry& entry);
    int32_t CopyEntryData(HANDLE file);
};

// A reader with nothing open, as OpenArchive makes it; null without memory.
ArchiveReader* CreateArchiveReader();
// Frees the password and buffer and the reader; does not close `directory`.
void DestroyArchiveReader(ArchiveReader* reader);
