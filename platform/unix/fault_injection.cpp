// Test-only fault injection: counts platform calls and fails the armed ones
// (or, for WriteFile, makes them write short).
// Compiled to nothing unless UPDATER_FAULT_INJECTION is defined.
#ifdef UPDATER_FAULT_INJECTION

#include "fault_points.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

namespace {

// One injectable call: how often it was reached, and which of its coming
// calls fail (or write short).
struct FaultSite {
    uint32_t calls = 0;       // since the last reset
    uint64_t failFrom = 0;    // absolute call number of the first failure; 0 = disarmed
    uint64_t failCount = 0;   // how many consecutive calls fail from failFrom
    uint64_t armedTotal = 0;  // calls counted since arming started (survives resets)
    DWORD lastError = 0;      // 0 = the call's default error
    bool shortWrite = false;  // the armed calls succeed with half the bytes

    bool Reach()
    {
        ++calls;
        ++armedTotal;
        if (failFrom == 0 || armedTotal < failFrom) {
            return false;
        }
        if (failCount != kFailAllFollowing && armedTotal >= failFrom + failCount) {
            failFrom = 0;  // all armed failures delivered
            return false;
        }
        return true;
    }

    void Arm(uint32_t nthCall, uint32_t failures, DWORD error)
    {
        shortWrite = false;
        if (nthCall == 0 || failures == 0) {
            failFrom = 0;
            return;
        }
        failFrom = armedTotal + nthCall;
        failCount = failures == kFailAllFollowing ? kFailAllFollowing : failures;
        lastError = error;
    }
};

constexpr size_t kCallKinds = static_cast<size_t>(PlatformCall::Count);

#define PLATFORM_DEFAULT_ERROR(call, defaultError, failValue) defaultError,
constexpr DWORD kDefaultErrors[kCallKinds] = {PLATFORM_FAULT_CALLS(PLATFORM_DEFAULT_ERROR)};
#undef PLATFORM_DEFAULT_ERROR

std::mutex g_mutex;
uint64_t g_sleptMilliseconds = 0;

// The files that stand for running programs: known by what they are, not by
// their names, so that they run on under the names they are moved aside to.
struct RunningImage {
    dev_t device = 0;
    ino_t inode = 0;
};
RunningImage g_runningImages[kMaxRunningImages];
uint32_t g_runningImageCount = 0;
FaultSite g_sites[kCallKinds];

// The crash: a countdown over every call, whatever its kind.
uint64_t g_crashIn = 0;  // 0: disarmed

// The power-cut log and the flush it ends the process at (0: none).
std::string g_powerLog;
uint32_t g_powerCutAt = 0;
uint32_t g_flushes = 0;
uint32_t g_copies = 0;

void AppendPowerLine(const std::string& line)
{
    if (FILE* log = std::fopen(g_powerLog.c_str(), "ae")) {
        std::fputs(line.c_str(), log);
        std::fclose(log);
    }
}

FaultSite* SiteOf(PlatformCall call)
{
    const size_t index = static_cast<size_t>(call);
    return index < kCallKinds ? &g_sites[index] : nullptr;
}

}  // namespace

namespace platform_unix {

InjectedFault InjectFault(PlatformCall call)
{
    DWORD error = 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_crashIn != 0 && --g_crashIn == 0) kill(getpid(), SIGKILL);
        FaultSite* site = SiteOf(call);
        if (site == nullptr || !site->Reach()) {
            return InjectedFault::None;
        }
        if (site->shortWrite) {
            return InjectedFault::ShortWrite;  // a success: the last error stays
        }
        error = site->lastError;
    }
    SetLastError(error != 0 ? error : kDefaultErrors[static_cast<size_t>(call)]);
    return InjectedFault::Failure;
}

}  // namespace platform_unix

void ArmPlatformFault(PlatformCall call, uint32_t nthCall, uint32_t failures, uint32_t lastError)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (FaultSite* site = SiteOf(call)) {
        site->Arm(nthCall, failures, lastError);
    }
}

void ArmPlatformShortWrite(uint32_t nthCall, uint32_t writes)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    FaultSite* site = SiteOf(PlatformCall::WriteFile);
    site->Arm(nthCall, writes, 0);
    site->shortWrite = true;
}

void DisarmPlatformFaults()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    for (FaultSite& site : g_sites) {
        site.failFrom = 0;
    }
    g_runningImageCount = 0;
    g_crashIn = 0;
}

bool ArmPlatformRunningImage(const char* path)
{
    struct stat st;
    if (stat(path, &st) != 0) return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_runningImageCount == kMaxRunningImages) return false;
    g_runningImages[g_runningImageCount++] = RunningImage{st.st_dev, st.st_ino};
    return true;
}

void ArmPlatformPowerLog(const char* logPath, uint32_t nthFlush)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_powerLog = logPath ? logPath : "";
    g_powerCutAt = nthFlush;
    g_flushes = 0;
}

namespace platform_unix {

// A path as the log keeps it: absolute.
std::string Absolute(const std::string& path)
{
    if (path.empty() || path[0] == '/') return path;
    char current[4096];
    return getcwd(current, sizeof current) ? std::string(current) + "/" + path : path;
}

void NotePowerEvent(const char* event, const std::string& first, const std::string& second)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_powerLog.empty()) return;
    AppendPowerLine(std::string(event) + " " + Absolute(first) +
                    (second.empty() ? "" : " " + Absolute(second)) + "\n");
}

// A copy of the file about to be deleted, so that its deletion can be taken
// back; copied with its bytes only.
std::string CopyBeforeDeletion(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_powerLog.empty()) return std::string();
    const std::string copy = g_powerLog + ".copy" + std::to_string(++g_copies);
    FILE* from = std::fopen(path.c_str(), "rbe");
    if (!from) return copy;
    FILE* to = std::fopen(copy.c_str(), "wbe");
    char buffer[16384];
    for (size_t n; to && (n = std::fread(buffer, 1, sizeof buffer, from)) > 0;) {
        std::fwrite(buffer, 1, n, to);
    }
    std::fclose(from);
    if (to) std::fclose(to);
    return copy;
}

void ReachFlush()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_powerLog.empty()) return;
    if (++g_flushes == g_powerCutAt) kill(getpid(), SIGKILL);
}

std::string PathOfDescriptor(int fd)
{
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    return length > 0 ? std::string(path, size_t(length)) : std::string();
}

}  // namespace platform_unix

void ArmPlatformCrash(uint32_t nthCall)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_crashIn = nthCall;
}

namespace platform_unix {

bool IsRunningImage(const struct stat& file)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    for (uint32_t i = 0; i < g_runningImageCount; ++i) {
        if (g_runningImages[i].device == file.st_dev && g_runningImages[i].inode == file.st_ino)
            return true;
    }
    return false;
}

}  // namespace platform_unix

uint32_t PlatformCallCount(PlatformCall call)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const FaultSite* site = SiteOf(call);
    return site != nullptr ? site->calls : 0;
}

void ResetPlatformCallCounts()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    for (FaultSite& site : g_sites) {
        site.calls = 0;
    }
    g_sleptMilliseconds = 0;
}

uint64_t PlatformSleptMilliseconds()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_sleptMilliseconds;
}

namespace platform_unix {

void RecordSleep(DWORD milliseconds)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sleptMilliseconds += milliseconds;
}

}  // namespace platform_unix

#endif  // UPDATER_FAULT_INJECTION
