// Private to the Linux half: the hook each injectable platform call starts
// with. Without UPDATER_FAULT_INJECTION it compiles to nothing.
#pragma once

#ifdef UPDATER_FAULT_INJECTION

#include "../fault_injection.h"
#include "../winapi.h"

namespace platform_unix {

// Counts the call; when it is armed to fail now, sets the last error (the
// armed one, or `defaultError`) and gives true.
bool ShouldInjectFault(PlatformCall call, DWORD defaultError);

}  // namespace platform_unix

// In a platform call: fail right here, with `failValue`, when armed.
#define PLATFORM_FAULT_POINT(call, defaultError, failValue)                           \
    do {                                                                              \
        if (::platform_unix::ShouldInjectFault(PlatformCall::call, (defaultError))) { \
            return (failValue);                                                       \
        }                                                                             \
    } while (false)

// The same, for a call that must run `cleanup` before it reports the failure.
#define PLATFORM_FAULT_POINT_WITH(call, defaultError, failValue, cleanup)             \
    do {                                                                              \
        if (::platform_unix::ShouldInjectFault(PlatformCall::call, (defaultError))) { \
            cleanup;                                                                  \
            return (failValue);                                                       \
        }                                                                             \
    } while (false)

#else

#define PLATFORM_FAULT_POINT(call, defaultError, failValue) \
    do {                                                    \
    } while (false)
#define PLATFORM_FAULT_POINT_WITH(call, defaultError, failValue, cleanup) \
    do {                                                                  \
    } while (false)

#endif
