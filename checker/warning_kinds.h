// The warnings that stop a release: each means the update would not do what
// its maker means, so the check fails unless that kind is accepted on
// purpose (--allow KIND). Other warnings go with entries the updater refuses,
// which fail the check by themselves.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr uint32_t kWarnWrappingFolder = 1u << 0;  // every entry inside one folder
constexpr uint32_t kWarnReadOnly = 1u << 1;        // files no later update can replace
constexpr uint32_t kWarnEmpty = 1u << 2;           // no entries: nothing would change
constexpr uint32_t kWarnWindowsNames = 1u << 3;    // names Windows changes or opens as devices
constexpr uint32_t kWarnCollisions = 1u << 4;      // names Windows takes for the same file
constexpr uint32_t kWarnCodePageNames = 1u << 5;   // names each Windows reads in its own code page

// The kind a --allow word names; 0 for a word that names none.
uint32_t FindWarningKind(const char* word);

// The words of `kinds`, ", "-separated, as one line's text.
void PrintWarningKinds(uint32_t kinds, FILE* out);

// One line per kind: its word and what it stands for, for the usage text.
void PrintWarningKindList(FILE* out);
