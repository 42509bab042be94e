// Runs cut off late in their swap (at the commit's flush, every file moved,
// the record saying "undo"), and what may happen to the folder before the
// next run: it is moved or copied, another install's record is copied in,
// the new program saves a file in a folder the run brought, the record is
// damaged; and a second updater started in another network namespace while
// the folder is locked. The next run must leave the old version or the new
// one byte for byte, never touch anything outside its own folder, and keep a
// record it cannot read whole.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "installation.h"
#include "support/file_content.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;

namespace {

// The number of the commit's flush in a run of `installation`'s update: the
// last flush before which every file of the swap has moved.
unsigned long FindCommitFlush(Installation& installation)
{
    const fs::path log = installation.Program().parent_path() / "count.log";
    installation.Reset(UpdateKind::Whole);
    installation.Run("FAULT_POWER_LOG='" + log.string() + "'");
    std::ifstream in(log);
    std::string line;
    unsigned long flushes = 0;
    unsigned long commit = 0;
    while (std::getline(in, line)) {
        if (line.rfind("F ", 0) != 0) continue;
        ++flushes;
        if (line.find("~tvx.commit") != std::string::npos) commit = flushes;
    }
    return commit;
}

// The update killed at its commit: every file swapped, the commit not made.
void KillBeforeCommit(Installation& installation, unsigned long commitFlush)
{
    installation.Reset(UpdateKind::Whole);
    const fs::path log = installation.Program().parent_path() / "cut.log";
    fs::remove(log);
    const RunResult killed = installation.Run("FAULT_POWER_LOG='" + log.string() +
                                              "' FAULT_POWER_CUT=" + std::to_string(commitFlush));
    ASSERT_TRUE(killed.killed) << killed.errors;
    ASSERT_TRUE(fs::exists(installation.Program() / "~tvx.swap"));
    ASSERT_EQ(installation.State().at("Tavix.exe"), Installation::NewVersion().at("Tavix.exe"))
        << "killed late: the new files are in";
}

class InterruptedUpdate : public ::testing::Test {
protected:
    void SetUp() override
    {
        commitFlush_ = FindCommitFlush(installation_);
        ASSERT_GT(commitFlush_, 0u);
        KillBeforeCommit(installation_, commitFlush_);
    }
    fs::path Root() const { return installation_.Program().parent_path(); }

    Installation installation_;
    unsigned long commitFlush_ = 0;
};

// The folder moved, then a run whose archive fails: its record moved with
// it, so the old version comes back whole in the new place.
TEST_F(InterruptedUpdate, AFolderMovedAfterAKillIsUndoneWhereItIsNow)
{
    const fs::path moved = Root() / "moved";
    fs::rename(installation_.Program(), moved);
    installation_.SetProgramFolder(moved);
    installation_.PlaceArchive(UpdateKind::DamagedLast);
    const RunResult again = installation_.Run("");
    EXPECT_EQ(again.exitCode, kExitKept) << again.errors;
    FolderState state = installation_.State();
    state.erase(kKeptBeside);  // not swept: the run changed nothing in its folder
    EXPECT_TRUE(state == Installation::OldVersion());
    EXPECT_TRUE(fs::exists(installation_.Archive()));
}

// The folder copied: the copy undoes itself and nothing of the original;
// the original then finishes on its own next run.
TEST_F(InterruptedUpdate, AFolderCopiedAfterAKillRecoversEachCopyAlone)
{
    const fs::path original = installation_.Program();
    const fs::path copy = Root() / "copy";
    fs::copy(original, copy, fs::copy_options::recursive);
    const FolderState originalBefore = installation_.State();
    installation_.SetProgramFolder(copy);
    installation_.PlaceArchive(UpdateKind::DamagedLast);
    EXPECT_EQ(installation_.Run("").exitCode, kExitKept);
    FolderState state = installation_.State();
    state.erase(kKeptBeside);
    EXPECT_TRUE(state == Installation::OldVersion()) << "the copy is its old version";

    installation_.SetProgramFolder(original);
    EXPECT_TRUE(installation_.State() == originalBefore) << "the copy's run touched the original";
    installation_.PlaceArchive(UpdateKind::Whole);
    EXPECT_EQ(installation_.Run("").exitCode, kExitUpdated);
    EXPECT_TRUE(installation_.State() == Installation::NewVersion());
}

// Another install's record (one killed before its commit) copied into an
// install of the old version: it leads nowhere outside the folder, puts back
// nothing it did not move, and the update goes through.
TEST_F(InterruptedUpdate, AnotherInstallsRecordCopiedInTouchesNothingOfIt)
{
    Installation other;
    other.Reset(UpdateKind::Whole);
    fs::copy_file(installation_.Program() / "~tvx.swap", other.Program() / "~tvx.swap");
    const FolderState killedBefore = installation_.State();
    const RunResult run = other.Run("");
    EXPECT_EQ(run.exitCode, kExitUpdated) << run.errors;
    EXPECT_TRUE(other.State() == Installation::NewVersion());
    EXPECT_TRUE(installation_.State() == killedBefore) << "the record's own install was touched";
}

// The new program ran after the kill and saved its settings in a folder the
// update brought: the undo takes back what the run put there, never the
// user's file, nor the folders that hold it.
TEST_F(InterruptedUpdate, AUsersFileInAFolderTheRunMadeStays)
{
    const fs::path saved = installation_.Program() / "plugins/new/settings.ini";
    ASSERT_TRUE(WriteFileBytes(saved, Bytes("the user's\n")));
    installation_.PlaceArchive(UpdateKind::DamagedLast);
    EXPECT_EQ(installation_.Run("").exitCode, kExitKept);
    FolderState expected = Installation::OldVersion();
    expected["plugins/"] = {};
    expected["plugins/new/"] = {};
    expected["plugins/new/settings.ini"] = Bytes("the user's\n");
    FolderState state = installation_.State();
    state.erase(kKeptBeside);
    EXPECT_TRUE(state == expected);
}

// A record damaged in its middle is not half believed: the run changes
// nothing, exits 2 and keeps the record as it is, for someone to look at.
TEST_F(InterruptedUpdate, ADamagedRecordChangesNothingAndIsKept)
{
    const fs::path record = installation_.Program() / "~tvx.swap";
    ByteVector bytes = ReadFileBytes(record);
    bytes[bytes.size() / 2] ^= 0x01;
    ASSERT_TRUE(WriteFileBytes(record, bytes));
    FolderState before = installation_.State();
    before.erase("~tvx.lock");
    const RunResult again = installation_.Run("");
    EXPECT_EQ(again.exitCode, kExitKept) << again.errors;
    FolderState after = installation_.State();
    after.erase("~tvx.lock");
    EXPECT_TRUE(after == before) << "the run changed the folder";
    EXPECT_EQ(ReadFileBytes(record), bytes);
    EXPECT_TRUE(fs::exists(installation_.Archive()));
}

// The lock is the folder's file, not a name of one network: a second
// updater in a namespace of its own (a sandbox, a container) exits 2 at
// once and changes nothing while the first holds the folder.
TEST(FolderLock, ASecondUpdaterInAnotherNetworkNamespaceChangesNothing)
{
    if (std::system("unshare -n true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "unshare -n is not available here (it needs the right to make a "
                        "network namespace): the lock across namespaces is not tried";
    Installation installation;
    installation.Reset(UpdateKind::Whole);
    const fs::path lockFile = installation.Program() / "~tvx.lock";
    const int holder = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    const FolderState before = installation.State();
    const RunResult second = installation.Run("unshare -n");
    EXPECT_EQ(second.exitCode, kExitKept) << second.errors;
    EXPECT_TRUE(installation.State() == before);
    EXPECT_TRUE(fs::exists(installation.Archive()));
    close(holder);
    fs::remove(lockFile);
    EXPECT_EQ(installation.Run("unshare -n").exitCode, kExitUpdated) << "once it is let go";
}

// 22,000 old files replaced in one folder, killed late in the swap: every
// old file's only copy is where the record says, and the undo brings each
// back byte for byte (no own name given twice).
TEST(ManyFiles, TwentyTwoThousandReplacedFilesKilledLateComeBackWhole)
{
    constexpr int kFiles = 22000;
    Installation installation;
    installation.Reset(UpdateKind::Whole);
    const fs::path many = installation.Program() / "many";
    fs::create_directories(many);
    std::vector<TestEntry> entries;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "f" + std::to_string(i) + ".dat";
        ASSERT_TRUE(WriteFileBytes(many / name, Bytes("old " + std::to_string(i))));
        entries.push_back(FileEntry("many/" + name, Bytes("new " + std::to_string(i)), 0));
    }
    TestEntry damaged = FileEntry("zz-last.txt", Bytes("damaged"), 0);
    damaged.crc = Crc32Of(damaged.data) ^ 1;
    const ByteVector archive = BuildZip(entries);
    entries.push_back(damaged);
    const FolderState before = installation.State();
    ASSERT_TRUE(WriteFileBytes(installation.Archive(), archive));
    // The flushes: the staged files, the record, its rename; the commit is
    // the fourth.
    const RunResult killed = installation.Run("FAULT_POWER_LOG=/dev/null FAULT_POWER_CUT=4");
    ASSERT_TRUE(killed.killed) << killed.errors;
    ASSERT_EQ(ReadFileText(many / "f21999.dat"), "new 21999") << "killed late";
    ASSERT_TRUE(WriteFileBytes(installation.Archive(), BuildZip(entries)));
    EXPECT_EQ(installation.Run("").exitCode, kExitKept);
    FolderState after = installation.State();
    after.erase(kKeptBeside);
    FolderState expected = before;
    expected.erase(kKeptBeside);
    EXPECT_TRUE(after == expected) << "the old version is not back byte for byte";
}

}  // namespace
