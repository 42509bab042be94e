// What will hurt later, found from the archive's entries once they have all
// had their turn: an update that installs into a folder of its own or holds
// nothing, files that no later update can replace, names Windows treats
// otherwise than the archive means them, entries the updater cannot read.
#pragma once

#include <cstdint>
#include <cstdio>

#include "entry_headers.h"
#include "entry_verdict.h"

struct NotedEntry {
    char name[MAX_PATH + 8];  // as reported; empty when its headers gave no whole name
    uint32_t attributes;      // as described; 0 when it was not
    uint32_t flags;
    uint32_t method;
    bool folder;
    bool codePageName;      // not ASCII, and stored with no sign of its encoding
    char stored[MAX_PATH];  // the name's bytes as stored, when codePageName
};

struct ArchiveWarnings {
    NotedEntry* entries;  // owned
    int32_t count;
    int32_t capacity;
};

// Room for `capacity` entries; false without memory for them.
bool OpenWarnings(ArchiveWarnings* warnings, int32_t capacity);

// `attributes` are the described entry's, 0 when it was not described.
void NoteEntry(ArchiveWarnings* warnings, const EntryVerdict& verdict, uint32_t attributes,
               const EntryHeaders& headers);

// One "warning: " line each; gives the kinds that stop a release among them
// (warning_kinds.h). `installFolder` is null when there is none.
uint32_t PrintWarnings(const ArchiveWarnings& warnings, const char* installFolder, FILE* out);

void CloseWarnings(ArchiveWarnings* warnings);
