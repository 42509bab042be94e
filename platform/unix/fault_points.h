// Private to the Linux half: the hook each injectable platform call starts
// with. Without UPDATER_FAULT_INJECTION it compiles to nothing.
#pragma once

#ifdef UPDATER_FAULT_INJECTION

#include <sys/stat.h>

#include <string>

#include "../fault_injection.h"
#include "../winapi.h"

namespace platform_unix {

enum class InjectedFault { None, Failure, ShortWrite };

// Counts the call and says what it is armed to do now. For Failure it has
// set the last error (the armed one, or the call's default from
// PLATFORM_FAULT_CALLS). ShortWrite comes only for WriteFile.
InjectedFault InjectFault(PlatformCall call);

// Sleep's stand-in in this build: counts the wait instead of waiting.
void RecordSleep(DWORD milliseconds);

// Whether `file` is the one ArmPlatformRunningImage armed.
bool IsRunningImage(const struct stat& file);

// The power-cut log (ArmPlatformPowerLog): a change of a name or data, and
// a flush, which ends the process when it is the armed one. A path given as
// a descriptor is read back from /proc.
void NotePowerEvent(const char* event, const std::string& first,
                    const std::string& second = std::string());
std::string CopyBeforeDeletion(const std::string& path);
void ReachFlush();
std::string PathOfDescriptor(int fd);

// What an armed call gives back: its failure value from PLATFORM_FAULT_CALLS.
template <PlatformCall call>
auto FailureValue();

#define PLATFORM_FAILURE_VALUE(call, defaultError, failValue) \
    template <>                                               \
    inline auto FailureValue<PlatformCall::call>()            \
    {                                                         \
        return failValue;                                     \
    }
PLATFORM_FAULT_CALLS(PLATFORM_FAILURE_VALUE)
#undef PLATFORM_FAILURE_VALUE

}  // namespace platform_unix

// In a platform call: fail right here when armed.
#define PLATFORM_FAULT_POINT(call)                                      \
    do {                                                                \
        if (::platform_unix::InjectFault(PlatformCall::call) ==         \
            ::platform_unix::InjectedFault::Failure) {                  \
            return ::platform_unix::FailureValue<PlatformCall::call>(); \
        }                                                               \
    } while (false)

// The same, for a call that must run `cleanup` before it reports the failure.
#define PLATFORM_FAULT_POINT_WITH(call, cleanup)                        \
    do {                                                                \
        if (::platform_unix::InjectFault(PlatformCall::call) ==         \
            ::platform_unix::InjectedFault::Failure) {                  \
            cleanup;                                                    \
            return ::platform_unix::FailureValue<PlatformCall::call>(); \
        }                                                               \
    } while (false)

// WriteFile's: fail right here when armed to fail; when armed to write
// short, halve `count`, the number of bytes to write.
#define PLATFORM_WRITE_FAULT_POINT(count)                                    \
    do {                                                                     \
        const ::platform_unix::InjectedFault injected =                      \
            ::platform_unix::InjectFault(PlatformCall::WriteFile);           \
        if (injected == ::platform_unix::InjectedFault::Failure) {           \
            return ::platform_unix::FailureValue<PlatformCall::WriteFile>(); \
        }                                                                    \
        if (injected == ::platform_unix::InjectedFault::ShortWrite) {        \
            (count) /= 2;                                                    \
        }                                                                    \
    } while (false)

#else

#include <string>

namespace platform_unix {

inline void NotePowerEvent(const char*, const std::string&, const std::string& = std::string()) {}
inline std::string CopyBeforeDeletion(const std::string&)
{
    return std::string();
}
inline void ReachFlush() {}
inline std::string PathOfDescriptor(int)
{
    return std::string();
}

}  // namespace platform_unix

#define PLATFORM_WRITE_FAULT_POINT(count) \
    do {                                  \
    } while (false)
#define PLATFORM_FAULT_POINT(call) \
    do {                           \
    } while (false)
#define PLATFORM_FAULT_POINT_WITH(call, cleanup) \
    do {                                         \
    } while (false)

#endif
