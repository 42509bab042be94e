// What is found about a refused entry, one bit a fact: in its headers, and
// at its target in the scratch after its step (a refused step leaves the
// target as it found it).
#pragma once

#include <cstdint>

#include "../archive/file_identity.h"
#include "../archive/update_transaction.h"
#include "../archive/written_files.h"
#include "entry_headers.h"

// Its central header, or one before it, is damaged.
constexpr uint32_t kCauseUnreachable = 1u << 0;
constexpr uint32_t kCauseUnknownMethod = 1u << 1;  // neither stored nor deflated
constexpr uint32_t kCauseEncrypted = 1u << 2;
constexpr uint32_t kCauseStored = 1u << 3;
constexpr uint32_t kCauseHeadersDisagree = 1u << 4;  // local against central
constexpr uint32_t kCauseNameHasZero = 1u << 5;
constexpr uint32_t kCauseInvalidUtf8 = 1u << 6;
constexpr uint32_t kCauseNameTooLong = 1u << 7;   // stored, as UTF-8, or in the code page
constexpr uint32_t kCauseUnmappable = 1u << 8;    // a character the code page has no code for
constexpr uint32_t kCauseDescribed = 1u << 9;     // it was refused while being written
constexpr uint32_t kCausePathTooLong = 1u << 10;  // base and name do not fit in MAX_PATH
constexpr uint32_t kCauseFolderTarget = 1u << 11;
constexpr uint32_t kCauseReadOnlyTarget = 1u << 12;
constexpr uint32_t kCauseIsTheArchive = 1u << 13;
constexpr uint32_t kCauseFileForFolder = 1u << 14;  // where its folder, or it as a folder, goes
constexpr uint32_t kCauseFolderMissing = 1u << 15;  // its folder was not made
// What Windows would change of its name: windows_names.h.
constexpr uint32_t kCauseTrimmedName = 1u << 16;    // a component ends in a dot or a space
constexpr uint32_t kCauseDeviceName = 1u << 17;     // a component is a device (CON, NUL, ...)
constexpr uint32_t kCauseStreamName = 1u << 18;     // ':', a stream of another file
constexpr uint32_t kCauseWrittenBefore = 1u << 19;  // an earlier entry wrote the file
// Without the UTF-8 flag, and not valid in the system locale's code page.
constexpr uint32_t kCauseInvalidLegacyName = 1u << 20;
constexpr uint32_t kCauseCutCharacter = 1u << 21;  // stored name ends in a lone lead byte

uint32_t FindHeaderCauses(const EntryHeaders& headers);

// For an entry that was described and refused while written: `name` as the
// updater names it, below `baseDirectory` (ending in a separator); `archive`
// is the file the unpack reads, `written` the installed files it has
// replaced, `update` what it has staged.
uint32_t FindTargetCauses(const char* baseDirectory, const char* name, bool folderEntry,
                          const FileIdentity& archive, WrittenFiles* written,
                          const UpdateTransaction& update);
