#include "in_use_waits.h"

bool IsInUse(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

bool WaitWhileInUse(DWORD error, uint32_t* waits, WaitBudget* budget)
{
    if (!IsInUse(error) || *waits == kWaitsPerFile || budget->waitsLeft == 0) return false;
    ++*waits;
    --budget->waitsLeft;
    Sleep(kInUseWait);
    return true;
}
