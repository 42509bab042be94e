#include "target_replacement.h"

#include "result_codes.h"

namespace {

// The temporary takes the target's free name.
int32_t MoveIn(const FileUpdate& change, uint32_t* waits, WaitBudget* budget)
{
    for (;;) {
        // A scanner may hold the fresh temporary for a moment.
        if (MoveFileExA(change.temporary, change.target, 0)) return RESULT_OK;
        if (!WaitWhileInUse(GetLastError(), waits, budget)) return RESULT_NO_FILE;
    }
}

// A second name for the old file, so that the new one can take the first in
// one step. False where there are no second names (FAT) or none could be
// made: the old file is then moved aside instead.
bool KeepOldFile(const FileUpdate& change, uint32_t* waits, WaitBudget* budget)
{
    for (;;) {
        if (CreateHardLinkA(change.kept, change.target, nullptr)) return true;
        if (!WaitWhileInUse(GetLastError(), waits, budget)) return false;
    }
}

}  // namespace

int32_t ReplaceTarget(const FileUpdate& change, WaitBudget* budget)
{
    uint32_t waits = 0;
    if (change.kept[0] == '\0') return MoveIn(change, &waits, budget);
    const bool kept = KeepOldFile(change, &waits, budget);
    for (;;) {
        if (kept) {
            if (MoveFileExA(change.temporary, change.target, MOVEFILE_REPLACE_EXISTING))
                return RESULT_OK;
            // Windows refuses to replace a running program (access denied),
            // but lets it be renamed; anything else is waited for.
            const DWORD error = GetLastError();
            if (error != ERROR_ACCESS_DENIED) {
                if (!WaitWhileInUse(error, &waits, budget)) return RESULT_NO_FILE;
                continue;
            }
        }
        // A running program, or a system without second names: the old file
        // moves aside, then the new one takes its name.
        if (MoveFileExA(change.target, change.movedAside, 0)) return MoveIn(change, &waits, budget);
        if (!WaitWhileInUse(GetLastError(), &waits, budget)) return RESULT_NO_FILE;
    }
}
