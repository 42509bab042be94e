// The state of one open archive behind a handle.
//
// Its methods live in three files, one per job:
//   archive_reader.cpp    CreateArchiveReader, DestroyArchiveReader, Open,
//                         Close, WalkToEntry
//   entry_description.cpp GetEntry, DescribeEntry
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
#include "refusal_cause.h"
#include "update_transaction.h"
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
    KnownFolders sweptFolders;     // install folders swept, by the spelling they were asked by
    LeftoverSweep sweep;           // folders swept of earlier versions' leftovers
    UpdateTransaction update;      // the run's update: staged, then swapped in at Close
    bool updateFailed;             // an entry failed: Close swaps nothing in
    char lastStaged[MAX_PATH];     // the file the last extraction staged; empty: none
    WrittenFiles writtenFiles;     // the files this run wrote, which no later entry replaces
    // Which file the archive is, so that no entry can be written over it.
    char archiveName[MAX_PATH];  // its file name, without the folder
    FileIdentity archive;
    uint64_t archiveSize;
    RefusalCause
        lastCause;  // why the last GetEntry or ExtractEntry refused; CAUSE_NONE: it did not

    // RESULT_WRITE when an interrupted run's record is still there
    // (RecoverUpdate comes first) or nothing can be staged.
    int32_t Open(const char* fileName);
    // Swaps the staged update in and commits it when every extraction went
    // in, otherwise drops it: RESULT_WRITE when the swap failed and was
    // undone.
    int32_t Close();
    // Both record their cause in lastCause and give its result.
    int32_t GetEntry(int32_t index, ArchiveEntry* entry);
    int32_t ExtractEntry(int32_t index, const char* targetName);

private:
    ReaderStatus WalkToEntry(int32_t index);
    RefusalCause DescribeEntry(int32_t index, ArchiveEntry* entry);
    RefusalCause WriteEntry(int32_t index, const char* targetName);
    RefusalCause ExtractDirectory(const char* targetName);
    bool IsTheArchive(const ExtractionTarget& target) const;
    void SweepFolder(const char* folder);
    RefusalCause WriteStagedFile(HANDLE file, const ArchiveEntry& entry,
                                 const ExtractionTarget& target, bool readOnly);
    RefusalCause CopyEntryData(HANDLE file);
};

// A reader with nothing open, as OpenArchive makes it; null without memory.
ArchiveReader* CreateArchiveReader();
// Frees the password and buffer and the reader; does not close `directory`.
void DestroyArchiveReader(ArchiveReader* reader);
