#include "target_replacement.h"

#include "result_codes.h"
#include "temporary_file.h"

namespace {

// How Windows reports a file that someone else has open.
bool IsInUse(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

// A read-only file or a folder refuses the move for what it is, not for
// being in use: nothing is gained by waiting, and moving it aside would
// replace what must never be replaced.
bool IsOrdinaryFile(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

bool MoveOver(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE;
}

// Moves the target aside and the new file in its place; on failure the
// old file goes back. True when the new file is in.
bool ReplaceByMovingAside(const char* temporaryPath, const char* targetPath, MovedAside* movedAside)
{
    char asidePath[MAX_PATH];
    if (!MoveAside(targetPath, asidePath)) return false;
    if (MoveOver(temporaryPath, targetPath)) {
        RememberMovedAside(movedAside, asidePath);
        return true;
    }
    MoveFileExA(asidePath, targetPath, 0);
    return false;
}

}  // namespace

int32_t ReplaceTarget(const char* temporaryPath, const char* targetPath, ReplacementBudget* budget,
                      MovedAside* movedAside)
{
    for (uint32_t waits = 0;; ++waits) {
        if (MoveOver(temporaryPath, targetPath)) return RESULT_OK;
        if (!IsInUse(GetLastError()) || !IsOrdinaryFile(targetPath)) break;
        if (ReplaceByMovingAside(temporaryPath, targetPath, movedAside)) return RESULT_OK;
        if (waits == kWaitsPerFile || budget->waitsLeft == 0) break;
        --budget->waitsLeft;
        Sleep(kReplaceWait);
    }
    RemoveTemporaryFile(temporaryPath);
    return RESULT_NO_FILE;
}
