// The updater with a test-only fault switch in its environment, for the
// fault sweep: `FAULT_RUNNING=FILE FAULT_FAIL="CALL N" fault_updater ARCHIVE`,
// both variables optional. The command line stays the updater's own, which
// it reads again in its wide form. FILE stands for a running program, which
// Windows lets no one replace but lets be moved aside. CALL is a platform
// call of PLATFORM_FAULT_CALLS (CreateFileA, ReadFile, ...) or Allocation,
// any allocation the update makes: the code's `new (std::nothrow)` and
// zlib's malloc. The N-th such call of the run fails. Without FAULT_FAIL
// nothing fails. Either way the count of every call the run made goes to
// standard error as one line:
//   fault-counts CreateFileA=3 ReadFile=812 ... Allocation=19
// This program exists only in builds with UPDATER_FAULT_INJECTION.
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
unsigned long g_failAllocation = 0;  // 0: none fails

bool ShouldFailAllocation()
{
    if (!g_countAllocations) return false;
    return ++g_allocations == g_failAllocation;
}

bool Arm(const char* name, unsigned long nthCall)
{
    if (std::strcmp(name, kAllocation) == 0) {
        g_failAllocation = nthCall;
        return true;
    }
    for (const NamedCall& named : kCalls) {
        if (std::strcmp(name, named.name) == 0) {
            ArmPlatformFault(named.call, uint32_t(nthCall));
            return true;
        }
    }
    return false;
}

void PrintCounts()
{
    std::string line = "fault-counts";
    for (const NamedCall& named : kCalls) {
        line += " " + std::string(named.name) + "=" + std::to_string(PlatformCallCount(named.call));
    }
    line += " " + std::string(kAllocation) + "=" + std::to_string(g_allocations);
    std::fprintf(stderr, "%s\n", line.c_str());
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
    const char* running = std::getenv("FAULT_RUNNING");
    if (const char* fail = std::getenv("FAULT_FAIL")) {
        char call[64];
        unsigned long nthCall = 0;
        if (std::sscanf(fail, "%63s %lu", call, &nthCall) != 2 || nthCall == 0 ||
            !Arm(call, nthCall)) {
            std::fprintf(stderr, "fault_updater: cannot arm %s\n", fail);
            return 64;
        }
    }
    if (running && !ArmPlatformRunningImage(running)) {
        std::fprintf(stderr, "fault_updater: no file %s to run\n", running);
        return 64;
    }
    ResetPlatformCallCounts();
    g_countAllocations = true;
    const int exitCode = RunUpdate(argc, argv);
    g_countAllocations = false;
    DisarmPlatformFaults();
    PrintCounts();
    return exitCode;
}
