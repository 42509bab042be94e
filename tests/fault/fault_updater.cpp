// The updater with a test-only fault switch on its command line, for the
// fault sweep: `fault_updater [--running FILE] [--fail CALL N] ARCHIVE`.
// FILE stands for a running program, which Windows lets no one replace but
// lets be moved aside. CALL is a platform
// call of PLATFORM_FAULT_CALLS (CreateFileA, ReadFile, ...) or Allocation,
// any allocation the update makes: the code's `new (std::nothrow)` and
// zlib's malloc. The N-th such call of the run fails. Without --fail nothing
// fails. Either way the count of every call the run made goes to standard
// error as one line:
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
    int first = 0;
    const char* running = nullptr;
    if (argc > 2 && std::strcmp(argv[1], "--running") == 0) {
        running = argv[2];
        argv[2] = argv[0];
        argv += 2;
        argc -= 2;
    }
    if (argc > 3 && std::strcmp(argv[1], "--fail") == 0) {
        const unsigned long nthCall = std::strtoul(argv[3], nullptr, 10);
        if (nthCall == 0 || !Arm(argv[2], nthCall)) {
            std::fprintf(stderr, "fault_updater: cannot arm %s %s\n", argv[2], argv[3]);
            return 64;
        }
        // RunUpdate sees the program name and then the archive, as from a user.
        argv[3] = argv[0];
        first = 3;
    }
    if (running && !ArmPlatformRunningImage(running)) {
        std::fprintf(stderr, "fault_updater: no file %s to run\n", running);
        return 64;
    }
    ResetPlatformCallCounts();
    g_countAllocations = true;
    const int exitCode = RunUpdate(argc - first, argv + first);
    g_countAllocations = false;
    DisarmPlatformFaults();
    PrintCounts();
    return exitCode;
}
