#include <gtest/gtest.h>

#include <string>

#include "app/program_folder_lock.h"
#include "platform/fault_injection.h"
#include "support/scratch_folder.h"

namespace {

// One folder is one lock, however it is spelt; the lock goes with its
// holder, and its file with it.
TEST(ProgramFolderLock, EverySpellingOfAFolderIsOneLock)
{
    ScratchFolder folder;
    ProgramFolderLock first = LockProgramFolder(folder.String().c_str());
    EXPECT_TRUE(HoldsProgramFolder(first));
    EXPECT_FALSE(first.heldElsewhere);
    CreateDirectoryA((folder / "sub").c_str(), nullptr);
    for (const std::string& other :
         {folder.String() + "/", folder.String() + "/./", folder.String() + "\\sub\\..\\."}) {
        ProgramFolderLock second = LockProgramFolder(other.c_str());
        EXPECT_TRUE(second.heldElsewhere) << other;
        EXPECT_FALSE(HoldsProgramFolder(second)) << other;
        UnlockProgramFolder(&second);
    }
    ScratchFolder another;
    ProgramFolderLock elsewhere = LockProgramFolder(another.String().c_str());
    EXPECT_TRUE(HoldsProgramFolder(elsewhere)) << "another folder, another lock";
    UnlockProgramFolder(&elsewhere);

    UnlockProgramFolder(&first);
    EXPECT_EQ(GetFileAttributesA((folder / "~tvx.lock").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the lock file goes with its lock";
    ProgramFolderLock again = LockProgramFolder(folder.String().c_str());
    EXPECT_TRUE(HoldsProgramFolder(again));
    UnlockProgramFolder(&again);
}

#ifdef UPDATER_FAULT_INJECTION
// A lock file that cannot be opened for want of rights counts as held; one
// that cannot be made at all leaves the run unsure that it is alone.
TEST(ProgramFolderLock, ALockThatCannotBeHadIsNeverTakenForFree)
{
    ScratchFolder folder;
    ArmPlatformFault(PlatformCall::CreateFileA, 1, 1, ERROR_ACCESS_DENIED);
    ProgramFolderLock denied = LockProgramFolder(folder.String().c_str());
    EXPECT_TRUE(denied.heldElsewhere);
    EXPECT_FALSE(HoldsProgramFolder(denied));
    ArmPlatformFault(PlatformCall::CreateFileA, 1, 1, ERROR_NOT_ENOUGH_MEMORY);
    ProgramFolderLock failed = LockProgramFolder(folder.String().c_str());
    EXPECT_FALSE(failed.heldElsewhere);
    EXPECT_FALSE(HoldsProgramFolder(failed));
    DisarmPlatformFaults();
}
#endif

}  // namespace
