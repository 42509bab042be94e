// Where the Linux half's temporary folder and folder removal differ from
// Windows: the folder comes from TMPDIR, and a link is never a folder.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../platform/winapi.h"
#include "support/environment_scope.h"
#include "support/scratch_folder.h"

namespace {

std::string TemporaryPath()
{
    char path[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, path);
    return length < MAX_PATH ? std::string(path, length) : std::string();
}

}  // namespace

TEST(PlatformTemporaryPath, FollowsTmpdirWithASeparatorAdded)
{
    {
        EnvironmentScope scope("TMPDIR", "/var/scratch");
        EXPECT_EQ("/var/scratch/", TemporaryPath());
    }
    {
        EnvironmentScope scope("TMPDIR", "/var/scratch/");
        EXPECT_EQ("/var/scratch/", TemporaryPath());
    }
    for (const char* none : {static_cast<const char*>(nullptr), ""}) {
        EnvironmentScope scope("TMPDIR", none);
        EXPECT_EQ("/tmp/", TemporaryPath());
    }
}

TEST(PlatformRemoveDirectory, ALinkToAFolderIsNotAFolder)
{
    ScratchFolder dir;
    ASSERT_TRUE(CreateDirectoryA((dir / "real").c_str(), nullptr));
    ASSERT_EQ(0, symlink("real", (dir / "link").c_str()));
    EXPECT_FALSE(RemoveDirectoryA((dir / "link").c_str()));
    EXPECT_EQ(ERROR_DIRECTORY, GetLastError());
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "real"));
}
