// The temporary folder and removing folders mean the same on either system:
// the Linux half is checked against Windows under Wine by the same test.
#include <gtest/gtest.h>

#include <string>

#include "../platform/path_text.h"
#include "../platform/winapi.h"

namespace {

std::string TemporaryPath()
{
    char path[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, path);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

bool MakeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file != INVALID_HANDLE_VALUE && CloseHandle(file);
}

}  // namespace

TEST(PlatformFolders, TemporaryPathIsAFolderEndingInASeparator)
{
    const std::string path = TemporaryPath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(EndsWithSeparator(path.c_str()));
    const DWORD attributes = GetFileAttributesA(path.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

    // Too small, even by one: the size needed with the terminator.
    const DWORD length = DWORD(path.size());
    EXPECT_EQ(length + 1, GetTempPathA(0, nullptr));
    char buffer[MAX_PATH];
    EXPECT_EQ(length + 1, GetTempPathA(length, buffer));
}

TEST(PlatformFolders, RemoveDirectoryTakesOnlyAnEmptyFolder)
{
    const std::string folder =
        TemporaryPath() + "platform-folders-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string sub = folder + "/sub";
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    ASSERT_TRUE(MakeFile(sub + "/file"));

    EXPECT_FALSE(RemoveDirectoryA(sub.c_str()));
    EXPECT_EQ(ERROR_DIR_NOT_EMPTY, GetLastError());
    EXPECT_FALSE(RemoveDirectoryA((sub + "/file").c_str()));
    EXPECT_EQ(ERROR_DIRECTORY, GetLastError());
    EXPECT_FALSE(RemoveDirectoryA((folder + "/missing").c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_FALSE(RemoveDirectoryA((folder + "/missing/deeper").c_str()));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());

    ASSERT_TRUE(DeleteFileA((sub + "/file").c_str()));
    EXPECT_TRUE(RemoveDirectoryA((folder + "\\sub").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(sub.c_str()));
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.c_str()));
}
