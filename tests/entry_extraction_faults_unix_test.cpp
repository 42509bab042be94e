// Extraction through the handle interface when writing the new version goes
// wrong after the temporary file was made (the entry fails with RESULT_WRITE,
// the old file stays byte for byte and nothing of the updater's own is left
// once the archive is closed), and when the target is in use: Windows
// refuses to replace a running program but lets it be renamed, and refuses
// both while a holder shares nothing. Needs the
// platform's fault injection (-DUPDATER_FAULT_INJECTION=ON), which lives in
// the Linux platform layer; Linux itself never refuses for a file in use.
#include <gtest/gtest.h>

#include "platform/fault_injection.h"

#ifdef UPDATER_FAULT_INJECTION

#include <string>
#include <vector>

#include "archive/archive_handle.h"
#include "archive/target_replacement.h"
#include "support/archive_fixture.h"

namespace {

class EntryExtractionFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WriteFileBytes(folder_.File("Tavix.exe"), oldVersion_));
        handle_ = folder_.Open({FileEntry("Tavix.exe", PseudoRandomBytes(40000, 9))});
        ASSERT_NE(handle_, nullptr);
        ASSERT_EQ(GetArchiveEntry(handle_, 0, &entry_), RESULT_OK);
        ResetPlatformCallCounts();
    }
    void TearDown() override
    {
        DisarmPlatformFaults();
        CloseArchive(handle_);
        EXPECT_EQ(ReadFileBytes(folder_.File("Tavix.exe")), oldVersion_);
        EXPECT_TRUE(FindOwnFiles(folder_.Path()).empty());
    }

    int32_t Extract() { return ExtractArchiveEntry(handle_, 0, entry_.name); }

    ProgramFolderScope folder_;
    const ByteVector oldVersion_ = Bytes("the old program, still whole\n");
    ArchiveHandle* handle_ = nullptr;
    ArchiveEntry entry_{};
};

TEST_F(EntryExtractionFaults, AShortWriteIsAFailedWrite)
{
    ArmPlatformShortWrite(1);
    EXPECT_EQ(Extract(), RESULT_WRITE);
}

TEST_F(EntryExtractionFaults, AFailedCloseOrFlushOfTheTemporaryIsAFailedWrite)
{
    ArmPlatformFault(PlatformCall::CloseHandle, 1, kFailAllFollowing);
    EXPECT_EQ(Extract(), RESULT_WRITE);
    DisarmPlatformFaults();
    ArmPlatformFault(PlatformCall::FlushFileBuffers, 2);  // the undo record's comes first
    EXPECT_EQ(Extract(), RESULT_WRITE);
    EXPECT_EQ(PlatformCallCount(PlatformCall::MoveFileExA), 0u) << "nothing took the name";
}

// The old program and what the update brings, in a folder of their own.
class FilesInUse : public ::testing::Test {
protected:
    void SetUp() override { ResetPlatformCallCounts(); }
    void TearDown() override
    {
        DisarmPlatformFaults();
        EXPECT_TRUE(FindOwnFiles(folder_.Path()).empty());
    }

    // Installs the old version of `names`, then extracts the new one of each
    // and closes, with what was armed failing until then, or only until the
    // close when `faultsAtClose` is false.
    std::vector<int32_t> Update(const std::vector<std::string>& names, bool faultsAtClose = true)
    {
        std::vector<TestEntry> entries;
        for (const std::string& name : names) {
            EXPECT_TRUE(WriteFileBytes(folder_.File(name), Bytes("old " + name)));
            entries.push_back(FileEntry(name, Bytes("new " + name)));
        }
        ArchiveHandle* handle = folder_.Open(entries);
        std::vector<int32_t> results;
        for (int32_t i = 0; i < int32_t(names.size()); ++i) {
            ArchiveEntry entry;
            GetArchiveEntry(handle, i, &entry);
            results.push_back(ExtractArchiveEntry(handle, i, entry.name));
        }
        if (!faultsAtClose) DisarmPlatformFaults();
        CloseArchive(handle);
        return results;
    }

    std::string Content(const std::string& name) { return ReadFileText(folder_.File(name)); }

    ProgramFolderScope folder_;
};

TEST_F(FilesInUse, ARunningProgramIsMovedAsideAndTheOldOneDeletedAtTheEnd)
{
    // The replace is refused as for a running image; the rename that moves
    // it aside is not.
    ArmPlatformFault(PlatformCall::MoveFileExA, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Update({"Tavix.exe"}), std::vector<int32_t>{RESULT_OK});
    EXPECT_EQ(Content("Tavix.exe"), "new Tavix.exe");
    // Refused, aside, in; then the commit's rename of the undo record.
    EXPECT_EQ(PlatformCallCount(PlatformCall::MoveFileExA), 4u);
    EXPECT_EQ(PlatformSleptMilliseconds(), 0u);
}

TEST_F(FilesInUse, AnOldFileStillInUseAtTheEndIsLeftForTheNextRun)
{
    ArmPlatformFault(PlatformCall::MoveFileExA, 1, 1, ERROR_ACCESS_DENIED);
    // The run's one delete is that of the old file at Close: it fails, as
    // for the updater itself, still running then.
    ArmPlatformFault(PlatformCall::DeleteFileA, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Update({"Updater.exe"}), std::vector<int32_t>{RESULT_OK});
    DisarmPlatformFaults();
    const std::vector<std::string> left = FindOwnFiles(folder_.Path());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(ReadFileText(left[0]), "old Updater.exe");
    EXPECT_EQ(Update({"readme.txt"}), std::vector<int32_t>{RESULT_OK});  // the next run
}

TEST_F(FilesInUse, AHolderThatLetsGoIsWaitedForWithinTheBudgets)
{
    // Three replaces refused, then the holder lets go; a new file whose
    // fresh temporary a scanner holds is waited for the same way.
    ArmPlatformFault(PlatformCall::MoveFileExA, 1, 3, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Update({"scanned.dll"}), std::vector<int32_t>{RESULT_OK});
    EXPECT_EQ(Content("scanned.dll"), "new scanned.dll");
    EXPECT_EQ(PlatformSleptMilliseconds(), 3 * kInUseWait);

    ArchiveHandle* handle = folder_.Open({FileEntry("fresh.dll", Bytes("fresh"))});
    ArchiveEntry entry;
    GetArchiveEntry(handle, 0, &entry);
    ResetPlatformCallCounts();
    ArmPlatformFault(PlatformCall::MoveFileExA, 1, 2, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ExtractArchiveEntry(handle, 0, entry.name), RESULT_OK);
    CloseArchive(handle);
    EXPECT_EQ(Content("fresh.dll"), "fresh");
    EXPECT_EQ(PlatformSleptMilliseconds(), 2 * kInUseWait);
}

TEST_F(FilesInUse, HoldersThatStayCostABoundedWaitAndLeaveTheOldVersion)
{
    ArmPlatformFault(PlatformCall::MoveFileExA, 1, kFailAllFollowing, ERROR_SHARING_VIOLATION);
    const std::vector<std::string> names{"a.dll", "b.dll", "c.dll", "d.dll", "e.dll", "f.dll"};
    EXPECT_EQ(Update(names, false), std::vector<int32_t>(names.size(), RESULT_NO_FILE));
    for (const std::string& name : names) EXPECT_EQ(Content(name), "old " + name);
    // 2 s for each file until the run's 10 s are spent.
    EXPECT_EQ(PlatformSleptMilliseconds(), uint64_t(kWaitsPerRun) * kInUseWait);
}

TEST_F(FilesInUse, AReadOnlyTargetIsNeverWaitedForNorMovedAside)
{
    ASSERT_TRUE(WriteFileBytes(folder_.File("licence.txt"), Bytes("old licence")));
    ASSERT_TRUE(
        SetFileAttributesA(folder_.File("licence.txt").string().c_str(), FILE_ATTRIBUTE_READONLY));
    ArchiveHandle* handle = folder_.Open({FileEntry("licence.txt", Bytes("new licence"))});
    ArchiveEntry entry;
    GetArchiveEntry(handle, 0, &entry);
    ArmPlatformFault(PlatformCall::MoveFileExA, 1, kFailAllFollowing, ERROR_ACCESS_DENIED);
    EXPECT_EQ(ExtractArchiveEntry(handle, 0, entry.name), RESULT_NO_FILE);
    CloseArchive(handle);
    EXPECT_EQ(Content("licence.txt"), "old licence");
    EXPECT_EQ(PlatformCallCount(PlatformCall::MoveFileExA), 0u);
    EXPECT_EQ(PlatformSleptMilliseconds(), 0u);
}

}  // namespace

#endif  // UPDATER_FAULT_INJECTION
