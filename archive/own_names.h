// The names the updater gives files of its own beside a target: the
// temporary an entry is written to, an old file moved aside. Each carries a
// tag of eight hex digits: the process's low 16 bits, then a serial number
// the process never gives twice, so that two runs, or two files of one run,
// do not pick the same name.
#pragma once

#include <cstdint>

constexpr char kOwnMark[] = "~tvx";
constexpr int kOwnTagLength = 8;

// The next tag, zero-terminated.
void MakeOwnTag(char (&tag)[kOwnTagLength + 1]);

// The next serial alone (for names too short for a whole tag).
uint32_t NextOwnSerial();

// Whether `text` begins with `length` upper-case hex digits.
bool IsOwnTag(const char* text, int length = kOwnTagLength);
