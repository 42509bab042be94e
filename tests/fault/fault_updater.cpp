// The updater with a test-only fault switch in its environment, for the
// fault and crash sweeps:
//   FAULT_RUNNING="FILE[:FILE]..." FAULT_FAIL="CALL N K" FAULT_CRASH=N
//   FAULT_POWER_LOG=FILE FAULT_POWER_CUT=N fault_updater ARCHIVE
// each variable optional. The command line stays the updater's own, which it
// reads again in its wide form. Each FILE stands for a running program,
// which Windows lets no one replace but lets be moved aside (one that is not
// there is not running). CALL is a platform call of PLATFORM_FAULT_CALLS
// (CreateFileA, ReadFile, ...) or Allocation, any allocation the update
// makes: the code's `new (std::nothrow)` and zlib's malloc. From the N-th
// such call of the run, K calls in a row fail. FAULT_CRASH ends the process
// at the N-th platform call of any kind, as a kill or a power cut would.
// FAULT_POWER_LOG keeps the log of every change and flush of the run in FILE
// (platform/fault_injection.h), and FAULT_POWER_CUT ends the run at its N-th
// flush, before it runs.
// Without FAULT_FAIL or FAULT_CRASH nothing fails. Either way the count of
// every call the run made goes to standard error as one line, the platform
// calls together as Total:
//   fault-counts CreateFileA=3 ReadFile=812 ... Allocation=19 Total=1030
// This program exists only in builds with UPDATER_FAULT_INJECTION.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "app/update_run.h"
#include "platform/fault_injection.h"
#include "platform/framework.h"

namespace {

struct NamedCall {
    const char* name;
    PlatformCall call;
};

#define NAMED_CALL(call, defaultError, failValue) {#call, PlatformCall::call},
const NamedCall kCalls[] = {PLATFORM_FAULT_CALLS(NAMED_CALL)};
#undef NAMED_CALL

constexpr char kAllocation[] = "Allocation";

// Allocations are counted only during the update run, so that the start-up
// of the runtime is never failed.
bool g_countAllocations = false;
unsigned long g_allocations = 0;
unsigned long g_failAllocationFrom = 0;  // 0: none fails
unsigned long g_failAllocationCount = 0;

bool ShouldFailAllocation()
{
    if (!g_countAllocations) return false;
    ++g_allocations;
    return g_failAllocationFrom != 0 && g_allocations >= g_failAllocationFrom &&
           g_allocations < g_failAllocationFrom + g_failAllocationCount;
}

bool Arm(const char* name, unsigned long nthCall, unsigned long count)
{
    if (nthCall == 0 || count == 0) return false;
    if (std::strcmp(name, kAllocation) == 0) {
        g_failAllocationFrom = nthCall;
        g_failAllocationCount = count;
        return true;
    }
    for (const NamedCall& named : kCalls) {
        if (std::strcmp(name, named.name) == 0) {
            ArmPlatformFault(named.call, uint32_t(nthCall), uint32_t(count));
            return true;
        }
    }
    return false;
}

void PrintCounts()
{
    std::string line = "fault-counts";
    unsigned long total = 0;
    for (const NamedCall& named : kCalls) {
        const unsigned long count = PlatformCallCount(named.call);
        line += " " + std::string(named.name) + "=" + std::to_string(count);
        total += count;
    }
    line += " " + std::string(kAllocation) + "=" + std::to_string(g_allocations);
    line += " Total=" + std::to_string(total);
    std::fprintf(stderr, "%s\n", line.c_str());
}

int Usage(const char* problem)
{
    std::fprintf(stderr, "fault_updater: %s\n", problem);
    return 64;
}

}  // namespace

static CWinApp theApp;

// The code's allocations: failed on demand, otherwise served by the ordinary
// operators so that new and delete stay paired for the sanitizers.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (ShouldFailAllocation()) return nullptr;
    return ::operator new(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    if (ShouldFailAllocation()) return nullptr;
    return ::operator new[](size);
}

// zlib's, through the link's --wrap=malloc (zlib is linked statically here).
extern "C" void* __real_malloc(std::size_t size);
extern "C" void* __wrap_malloc(std::size_t size)
{
    if (ShouldFailAllocation()) return nullptr;
    return __real_malloc(size);
}

int main(int argc, char** argv)
{
    if (const char* running = std::getenv("FAULT_RUNNING")) {
        std::string files = running;
        for (size_t start = 0; start <= files.size();) {
            const size_t end = std::min(files.find(':', start), files.size());
            const std::string file = files.substr(start, end - start);
            // A crashed run may have left a running program moved aside.
            if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES &&
                !ArmPlatformRunningImage(file.c_str()))
                return Usage("cannot run that file");
            start = end + 1;
        }
    }
    if (const char* fail = std::getenv("FAULT_FAIL")) {
        char call[64];
        unsigned long nthCall = 0;
        unsigned long count = 0;
        if (std::sscanf(fail, "%63s %lu %lu", call, &nthCall, &count) != 3 ||
            !Arm(call, nthCall, count))
            return Usage("cannot arm that call");
    }
    const char* crash = std::getenv("FAULT_CRASH");
    const unsigned long crashAt = crash ? std::strtoul(crash, nullptr, 10) : 0;
    if (const char* log = std::getenv("FAULT_POWER_LOG")) {
        const char* cut = std::getenv("FAULT_POWER_CUT");
        ArmPlatformPowerLog(log, uint32_t(cut ? std::strtoul(cut, nullptr, 10) : 0));
    }
    ResetPlatformCallCounts();
    ArmPlatformCrash(uint32_t(crashAt));
    g_countAllocations = true;
    const int exitCode = RunUpdate(argc, argv);
    g_countAllocations = false;
    DisarmPlatformFaults();
    PrintCounts();
    return exitCode;
}
