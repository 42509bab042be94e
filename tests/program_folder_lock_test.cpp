#include <gtest/gtest.h>

#include <string>

#include "app/program_folder_lock.h"
#include "platform/fault_injection.h"
#include "support/scratch_folder.h"

namespace {

// One folder is one lock, however it is spelt; the lock goes with its holder.
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
    ProgramFolderLock again = LockProgramFolder(folder.String().c_str());
    EXPECT_TRUE(HoldsProgramFolder(again));
    UnlockProgramFolder(&again);
}

#ifdef UPDATER_FAULT_INJECTION
// A mutex that exists but cannot be opened (another user's) is held; one that
// cannot be made at all leaves the run unsure that it is alone.
TEST(ProgramFolderLock, AMutexThatCannotBeHadIsNeverTakenForFree)
{
    ScratchFolder folder;
    ArmPlatformFault(PlatformCall::CreateMutexA, 1, 1, ERROR_ACCESS_DENIED);
    ProgramFolderLock denied = LockProgramFolder(folder.String().c_str());
    EXPECT_TRUE(denied.heldElsewhere);
    EXPECT_FALSE(HoldsProgramFolder(denied));
    ArmPlatformFault(PlatformCall::CreateMutexA, 1, 1, ERROR_NOT_ENOUGH_MEMORY);
    ProgramFolderLock failed = LockProgramFolder(folder.String().c_str());
    EXPECT_FALSE(failed.heldElsewhere);
    EXPECT_FALSE(HoldsProgramFolder(failed));
    ArmPlatformFault(PlatformCall::GetFileInformationByHandle, 1);
    ProgramFolderLock unknown = LockProgramFolder(folder.String().c_str());
    EXPECT_FALSE(HoldsProgramFolder(unknown)) << "a folder whose identity cannot be read";
    DisarmPlatformFaults();
}
#endif

}  // namespace
