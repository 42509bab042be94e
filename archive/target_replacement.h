// Putting a written temporary in place of its target: in one move, so that
// the target is always either the old file or the whole new one, also when
// the target is in use.
#pragma once

#include <cstdint>

#include "moved_aside.h"

// A target held by someone who lets no one rename it (an antivirus scanner,
// a program still exiting) is tried again after waits of kReplaceWait ms: at
// most kWaitsPerFile for one file and waitsLeft (from kWaitsPerRun) in all,
// so that a lock that passes does not fail the update and one that stays
// costs a bounded wait.
constexpr DWORD kReplaceWait = 100;
constexpr uint32_t kWaitsPerFile = 20;
constexpr uint32_t kWaitsPerRun = 100;

struct ReplacementBudget {
    uint32_t waitsLeft;
};

// Moves `temporaryPath` over `targetPath`. A target in use that can be
// renamed (a running program, the updater itself) is moved aside into
// `movedAside` first. RESULT_NO_FILE when the new file cannot go in: the
// temporary is then removed and the target is as it was. Read-only targets
// and folders are never waited for or moved aside.
int32_t ReplaceTarget(const char* temporaryPath, const char* targetPath, ReplacementBudget* budget,
                      MovedAside* movedAside);
