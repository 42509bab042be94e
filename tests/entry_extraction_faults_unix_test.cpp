// Extraction through the handle interface when writing the new version goes
// wrong after the staged file was made (the entry fails with RESULT_WRITE,
// the old file stays byte for byte and nothing of the updater's own is left
// once the archive is closed), and when a target is in use at the swap:
// Windows lets a running program be moved out, and refuses while a holder
// shares nothing. Needs the
// platform's fault injection (-DUPDATER_FAULT_INJECTION=ON), which lives in
// the Linux platform layer; Linux itself never refuses for a file in use.
#include <gtest/gtest.h>

#include "platform/fault_injection.h"

#ifdef UPDATER_FAULT_INJECTION

#include <algorithm>
#include <string>
#include <vector>

#include "archive/archive_handle.h"
#include "archive/in_use_waits.h"
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

TEST_F(EntryExtractionFaults, AFailedCloseOfTheStagedFileIsAFailedWrite)
{
    ArmPlatformFault(PlatformCall::CloseHandle, 1, kFailAllFollowing);
    EXPECT_EQ(Extract(), RESULT_WRITE);
    DisarmPlatformFaults();
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
    // and closes, with what was armed failing until then: true when every
    // entry went in and the update was swapped in.
    bool Update(const std::vector<std::string>& names)
    {
        std::vector<TestEntry> entries;
        for (const std::string& name : names) {
            EXPECT_TRUE(WriteFileBytes(folder_.File(name), Bytes("old " + name)));
            entries.push_back(FileEntry(name, Bytes("new " + name)));
        }
        ArchiveHandle* handle = folder_.Open(entries);
        bool complete = handle != nullptr;
        for (int32_t i = 0; i < int32_t(names.size()); ++i) {
            ArchiveEntry entry;
            GetArchiveEntry(handle, i, &entry);
            complete = ExtractArchiveEntry(handle, i, entry.name) == RESULT_OK && complete;
        }
        return CloseArchive(handle) == RESULT_OK && complete;
    }

    std::string Content(const std::string& name) { return ReadFileText(folder_.File(name)); }

    ProgramFolderScope folder_;
};

TEST_F(FilesInUse, AnOldFileStillInUseAtTheEndIsLeftForTheNextRun)
{
    // The old updater, still running at the end: its old file cannot be
    // deleted with the old area (in any of the three passes), and stays
    // there for the next run.
    ArmPlatformFault(PlatformCall::DeleteFileA, 1, 3, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Update({"Updater.exe"}));
    EXPECT_EQ(Content("Updater.exe"), "new Updater.exe");
    DisarmPlatformFaults();
    const std::vector<std::string> left = FindOwnFiles(folder_.Path());
    ASSERT_EQ(left.size(), 2u) << "the old area and the file in it";
    EXPECT_EQ(ReadFileText(*std::max_element(left.begin(), left.end())), "old Updater.exe");
    EXPECT_TRUE(Update({"readme.txt"})) << "the next run";
}

TEST_F(FilesInUse, AHolderThatLetsGoIsWaitedForWithinTheBudgets)
{
    // The old file's move out (after the record's own rename) refused three
    // times, then the holder lets go.
    ArmPlatformFault(PlatformCall::MoveFileExA, 2, 3, ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(Update({"scanned.dll"}));
    EXPECT_EQ(Content("scanned.dll"), "new scanned.dll");
    EXPECT_EQ(PlatformSleptMilliseconds(), 3 * kInUseWait);
}

TEST_F(FilesInUse, HoldersThatStayCostABoundedWaitAndLeaveTheOldVersion)
{
    // Every move refused: the first file's move out is waited for 2 s, and
    // the update fails with nothing moved.
    ArmPlatformFault(PlatformCall::MoveFileExA, 2, kFailAllFollowing, ERROR_SHARING_VIOLATION);
    const std::vector<std::string> names{"a.dll", "b.dll", "c.dll", "d.dll", "e.dll", "f.dll"};
    EXPECT_FALSE(Update(names));
    for (const std::string& name : names) EXPECT_EQ(Content(name), "old " + name);
    EXPECT_EQ(PlatformSleptMilliseconds(), uint64_t(kWaitsPerFile) * kInUseWait);
}

TEST_F(FilesInUse, AHolderInTheMiddleOfTheSwapLeavesTheOldVersionAndNothingToPlayBack)
{
    // The third file's move out (the record's rename, then two moves for
    // each file) is refused past its waits: the first two new files are
    // moved back, the old ones put back, and no record stays.
    ArmPlatformFault(PlatformCall::MoveFileExA, 6, kWaitsPerFile + 1, ERROR_SHARING_VIOLATION);
    const std::vector<std::string> names{"a.dll", "b.dll", "c.dll"};
    EXPECT_FALSE(Update(names));
    for (const std::string& name : names) EXPECT_EQ(Content(name), "old " + name);
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
