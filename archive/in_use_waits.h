// Waiting for a file someone holds: an antivirus scanner, a program still
// exiting. A lock that passes must not fail the update, and one that stays
// must cost a bounded wait: tried again every kInUseWait ms, at most
// kWaitsPerFile times for one file and waitsLeft (from kWaitsPerRun) in all.
#pragma once

#include <cstdint>

#include "../platform/winapi.h"

constexpr DWORD kInUseWait = 100;
constexpr uint32_t kWaitsPerFile = 20;
constexpr uint32_t kWaitsPerRun = 100;

struct WaitBudget {
    uint32_t waitsLeft;
};

// How Windows reports a file that someone else has open.
bool IsInUse(DWORD error);

// After a call on a file failed with `error`: waits once and gives true when
// trying again may help (the file is in use, and neither this file's
// `waits` nor the budget is spent); false at once otherwise.
bool WaitWhileInUse(DWORD error, uint32_t* waits, WaitBudget* budget);
