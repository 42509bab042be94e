// The update run over an installation (installation.h), once for every call
// it makes of each platform function and of the allocator, with exactly that
// call failing the way Windows reports it, and again with it and the next
// one of its kind failing; both for an update that goes through and for one
// whose last entry is damaged, which the run must undo. After every run: the
// process ended by itself with 0 or 2 and no sanitizer report, and the
// program folder is the new version (exit 0, the archive deleted) or the
// old one (exit 2, the archive kept), byte for byte, folders too, never a
// mix; nothing of the updater's own is left but what of its areas a
// committed run could not delete because that call failed.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "installation.h"
#include "platform/fault_injection.h"

namespace fs = std::filesystem;

namespace {

// Every call the driver can fail: the platform's, and the allocator.
#define CALL_NAME(call, defaultError, failValue) #call,
const char* const kCalls[] = {PLATFORM_FAULT_CALLS(CALL_NAME) "Allocation"};
#undef CALL_NAME

struct Outcome {
    bool updated = false;
    bool lost = false;  // neither version: a file lost or mixed
};

// Every check after one run.
Outcome Check(const Installation& installation, const std::string& what, const RunResult& result,
              const std::string& failedCall)
{
    EXPECT_TRUE(result.exited && (result.exitCode == kExitUpdated || result.exitCode == kExitKept))
        << what << ": exit " << result.exitCode << "\n"
        << result.errors;
    Outcome outcome;
    outcome.updated = result.exitCode == kExitUpdated;
    FolderState own;
    const FolderState state = WithoutOwnFiles(installation.State(), &own);
    const FolderState& expected =
        outcome.updated ? Installation::NewVersion() : Installation::OldVersion();
    outcome.lost = state != expected;
    EXPECT_FALSE(outcome.lost) << what << ": exit " << result.exitCode
                               << ", yet the folder is not that version whole";
    // After the commit, an old file or an emptied folder of the areas stays
    // when its deletion failed, as for a program still running; the next
    // run removes it.
    for (const auto& [name, bytes] : own) {
        const bool keptOld =
            (failedCall == "DeleteFileA" || failedCall == "RemoveDirectoryA" ||
             failedCall == "FindFirstFileA") &&
            outcome.updated &&
            (name.compare(0, 9, "~tvx.old/") == 0 || name.compare(0, 9, "~tvx.new/") == 0);
        EXPECT_TRUE(keptOld) << what << ": left behind " << name;
    }
    EXPECT_EQ(fs::exists(installation.Archive()), !outcome.updated)
        << what << ": the archive goes only with a complete update";
    return outcome;
}

struct SweepRun {
    UpdateKind kind;
    std::string call;
    unsigned long nthCall;
    unsigned long failures;
};

TEST(UpdateFaultSweep, CleanUpdatesEndWholeAndLeaveNothing)
{
    Installation installation;
    installation.Reset(UpdateKind::Whole);
    RunResult result = installation.Run("");
    Check(installation, "clean run", result, "");
    EXPECT_EQ(result.exitCode, kExitUpdated);
    EXPECT_FALSE(fs::exists(installation.Program() / kKeptBeside)) << "swept";

    installation.Reset(UpdateKind::DamagedLast);
    result = installation.Run("");
    Check(installation, "damaged last entry", result, "");
    EXPECT_EQ(result.exitCode, kExitKept);
}

TEST(UpdateFaultSweep, EveryCallFailingOnceOrTwiceLeavesTheOldOrTheNewVersion)
{
    std::vector<SweepRun> runs;
    std::map<std::string, unsigned long> made;
    for (UpdateKind kind : {UpdateKind::Whole, UpdateKind::DamagedLast}) {
        Installation counting;
        const std::map<std::string, unsigned long> counts = counting.CountCalls(kind);
        for (const char* call : kCalls) {
            const auto count = counts.find(call);
            ASSERT_NE(count, counts.end()) << call;
            made[call] += count->second;
            for (unsigned long n = 1; n <= count->second; ++n) {
                for (unsigned long failures : {1ul, 2ul}) runs.push_back({kind, call, n, failures});
            }
        }
    }
    for (const auto& [call, count] : made) {
        EXPECT_GT(count, 0u) << call << " is never made: the sweep would test nothing";
    }

    std::map<std::string, unsigned long> updated, kept, lost;
    std::mutex counting;
    RunOverInstallations(runs.size(), [&](Installation& installation, size_t i) {
        const SweepRun& run = runs[i];
        installation.Reset(run.kind);
        const RunResult result =
            installation.Run("FAULT_FAIL='" + run.call + " " + std::to_string(run.nthCall) + " " +
                             std::to_string(run.failures) + "'");
        const std::string what = std::string(run.kind == UpdateKind::Whole ? "" : "damaged, ") +
                                 run.call + " #" + std::to_string(run.nthCall) + " x" +
                                 std::to_string(run.failures);
        const Outcome outcome = Check(installation, what, result, run.call);
        std::lock_guard<std::mutex> lock(counting);
        (outcome.updated ? updated : kept)[run.call] += 1;
        lost[run.call] += outcome.lost;
    });

    unsigned long updates = 0, keeps = 0, losses = 0;
    for (const auto& [call, count] : made) {
        updates += updated[call];
        keeps += kept[call];
        losses += lost[call];
        std::printf("  %s: %lu calls; %lu runs went through, %lu were undone\n", call.c_str(),
                    count, updated[call], kept[call]);
    }
    std::printf(
        "fault sweep: %zu runs, one or two faults each: %lu went through, %lu were undone, "
        "%lu left a mix\n",
        runs.size(), updates, keeps, losses);
    EXPECT_EQ(losses, 0u);
}

}  // namespace
