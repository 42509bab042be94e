// Extraction through the handle interface when writing the new version goes
// wrong after the temporary file was made: the entry fails with
// RESULT_WRITE, the old file stays byte for byte and no temporary is left.
// Needs the platform's fault injection (-DUPDATER_FAULT_INJECTION=ON), which
// lives in the Linux platform layer.
#include <gtest/gtest.h>

#include "platform/fault_injection.h"

#ifdef UPDATER_FAULT_INJECTION

#include "archive/archive_handle.h"
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
        EXPECT_TRUE(FindTemporaries(folder_.Path()).empty());
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

TEST_F(EntryExtractionFaults, AFailedCloseOfTheTemporaryIsAFailedWrite)
{
    ArmPlatformFault(PlatformCall::CloseHandle, 1);
    EXPECT_EQ(Extract(), RESULT_WRITE);
    EXPECT_EQ(PlatformCallCount(PlatformCall::CloseHandle), 1u);  // the temporary's
}

}  // namespace

#endif  // UPDATER_FAULT_INJECTION
