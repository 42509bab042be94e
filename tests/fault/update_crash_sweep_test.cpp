// The update run over an installation (installation.h) killed at every
// platform call it makes in turn, as a kill or a power cut ends it, then run
// again with the same archive, as the main program does when it finds its
// archive still there. After the crash every file of the install is its old
// bytes or its whole new bytes, and none is missing (but in the moment
// between the two moves of its swap, when its old bytes are in the old
// area). After the second run the install is the new
// version byte for byte, the archive is deleted and nothing of the
// updater's own is left; or, when that run itself fails (for a crash before
// the last entry began, its target made read-only before the run), the old
// version byte for byte with the archive kept.
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "installation.h"

namespace fs = std::filesystem;

namespace {

bool HoldsBytes(const FolderState& files, const ByteVector& bytes)
{
    for (const auto& [name, content] : files) {
        if (content == bytes) return true;
    }
    return false;
}

// Gives whether the crash left every file whole; says which is not.
bool CheckCrashed(const Installation& installation, const std::string& what)
{
    FolderState own;
    const FolderState state = WithoutOwnFiles(installation.State(), &own);
    const FolderState& old = Installation::OldVersion();
    const FolderState& next = Installation::NewVersion();
    bool whole = true;
    for (const FolderState* version : {&old, &next}) {
        for (const auto& [name, bytes] : *version) {
            if (name.back() == '/') continue;
            const auto found = state.find(name);
            const auto oldBytes = old.find(name);
            if (found == state.end()) {
                const bool movedAside = oldBytes != old.end() && HoldsBytes(own, oldBytes->second);
                EXPECT_TRUE(oldBytes == old.end() || movedAside) << what << ": lost " << name;
                whole = whole && (oldBytes == old.end() || movedAside);
                continue;
            }
            const bool isOld = oldBytes != old.end() && found->second == oldBytes->second;
            const bool isNew = found->second == next.at(name);
            EXPECT_TRUE(isOld || isNew) << what << ": " << name << " is neither version";
            whole = whole && (isOld || isNew);
        }
    }
    for (const auto& [name, bytes] : state) {
        EXPECT_TRUE(old.count(name) || next.count(name)) << what << ": a stranger " << name;
    }
    return whole;
}

struct Tally {
    std::mutex mutex;
    unsigned long runs = 0, updated = 0, undone = 0, broken = 0;

    void Note(bool whole, bool recoveredNew)
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++runs;
        (recoveredNew ? updated : undone) += 1;
        broken += !whole;
    }
};

// Crashes the update at every call in turn and runs it again; with
// `failRecovery`, the last entry's target is made read-only first wherever
// the crashed run had not replaced it yet.
void SweepCrashes(bool failRecovery, Tally* tally)
{
    unsigned long total = 0;
    {
        Installation counting;
        total = counting.CountCalls(UpdateKind::Whole)["Total"];
    }
    ASSERT_GT(total, 0u);
    RunOverInstallations(total, [&](Installation& installation, size_t i) {
        const std::string what = "crash at call " + std::to_string(i + 1);
        installation.Reset(UpdateKind::Whole);
        const RunResult crashed = installation.Run("FAULT_CRASH=" + std::to_string(i + 1));
        EXPECT_TRUE(crashed.killed) << what << ": not killed\n" << crashed.errors;
        const bool whole = CheckCrashed(installation, what);
        if (!fs::exists(installation.Archive())) {
            // Killed after the archive went: the update was complete, and the
            // main program, finding no archive, runs no updater again. Only
            // the lock file may stay, without its lock: Linux deletes no file
            // for a process it kills (Windows deletes it with the handle).
            FolderState state = installation.State();
            state.erase("~tvx.lock");
            EXPECT_TRUE(state == Installation::NewVersion()) << what;
            tally->Note(whole, true);
            return;
        }

        // Before the last entry was swapped in: its target still the old file.
        const fs::path last = installation.Program() / kLastEntry;
        const bool lastStillOld =
            fs::exists(last) && ReadFileBytes(last) == Installation::OldVersion().at(kLastEntry);
        if (failRecovery && lastStillOld) {
            fs::permissions(
                last, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);
        }
        const RunResult again = installation.Run("");
        const bool expectNew = !(failRecovery && lastStillOld);
        EXPECT_TRUE(again.exited) << what << ": the next run\n" << again.errors;
        EXPECT_EQ(again.exitCode, expectNew ? kExitUpdated : kExitKept) << what;
        const FolderState& expected =
            expectNew ? Installation::NewVersion() : Installation::OldVersion();
        EXPECT_TRUE(installation.State() == expected)
            << what << ": after the next run the folder is not "
            << (expectNew ? "the new" : "the old") << " version whole, or holds the updater's own";
        EXPECT_EQ(fs::exists(installation.Archive()), !expectNew) << what;
        tally->Note(whole, expectNew);
    });
}

TEST(UpdateCrashSweep, ACrashAtAnyCallIsFinishedByTheNextRun)
{
    Tally tally;
    SweepCrashes(false, &tally);
    std::printf(
        "crash sweep: %lu crashes, each run again: %lu ended in the new version, "
        "%lu left a file broken\n",
        tally.runs, tally.updated, tally.broken);
    EXPECT_EQ(tally.broken, 0u);
}

TEST(UpdateCrashSweep, ACrashThenAFailedRunLeavesTheOldVersion)
{
    Tally tally;
    SweepCrashes(true, &tally);
    std::printf(
        "crash sweep, the next run failing: %lu crashes: %lu ended in the old version, "
        "%lu (crashed past the last entry) in the new one, %lu left a file broken\n",
        tally.runs, tally.undone, tally.updated, tally.broken);
    EXPECT_EQ(tally.broken, 0u);
    EXPECT_GT(tally.undone, 0u);
}

}  // namespace
