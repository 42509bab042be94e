// The test-only fault-injection switch: the N-th call of a chosen platform
// function fails as Windows reports it, and calls are counted. Built only
// with -DUPDATER_FAULT_INJECTION=ON; otherwise this file holds one test that
// says so.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "../platform/fault_injection.h"
#include "../platform/unix/handles.h"
#include "../platform/winapi.h"
#include "support/file_content.h"
#include "support/scratch_folder.h"

#ifdef UPDATER_FAULT_INJECTION

namespace {

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DisarmPlatformFaults();
        ResetPlatformCallCounts();
    }
    void TearDown() override { DisarmPlatformFaults(); }

    ScratchFolder dir_;
};

HANDLE OpenForWriting(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
}

HANDLE OpenForReading(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

TEST_F(FaultTest, CountsCalls)
{
    const std::string path = dir_ / "f";
    HANDLE file = OpenForWriting(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD n;
    WriteFile(file, "ab", 2, &n, nullptr);
    WriteFile(file, "cd", 2, &n, nullptr);
    CloseHandle(file);
    GetFileAttributesA(path.c_str());
    EXPECT_EQ(1u, PlatformCallCount(PlatformCall::CreateFileA));
    EXPECT_EQ(2u, PlatformCallCount(PlatformCall::WriteFile));
    EXPECT_EQ(1u, PlatformCallCount(PlatformCall::CloseHandle));
    EXPECT_EQ(1u, PlatformCallCount(PlatformCall::GetFileAttributesA));
    EXPECT_EQ(0u, PlatformCallCount(PlatformCall::ReadFile));
    ResetPlatformCallCounts();
    EXPECT_EQ(0u, PlatformCallCount(PlatformCall::WriteFile));
}

TEST_F(FaultTest, TheNthCallFailsOnceWithoutTouchingTheFileSystem)
{
    ArmPlatformFault(PlatformCall::CreateFileA, 2);
    HANDLE first = OpenForWriting(dir_ / "one");
    ASSERT_NE(INVALID_HANDLE_VALUE, first);
    CloseHandle(first);
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenForWriting(dir_ / "two"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_FALSE(std::filesystem::exists(dir_ / "two"));
    HANDLE third = OpenForWriting(dir_ / "three");
    EXPECT_NE(INVALID_HANDLE_VALUE, third);
    CloseHandle(third);
    EXPECT_EQ(3u, PlatformCallCount(PlatformCall::CreateFileA));
}

TEST_F(FaultTest, ConsecutiveAndLastingFailures)
{
    HANDLE file = OpenForWriting(dir_ / "f");
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ArmPlatformFault(PlatformCall::WriteFile, 2, 2);
    DWORD n = 99;
    EXPECT_TRUE(WriteFile(file, "a", 1, &n, nullptr));
    EXPECT_FALSE(WriteFile(file, "b", 1, &n, nullptr));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
    EXPECT_FALSE(WriteFile(file, "c", 1, &n, nullptr));
    EXPECT_TRUE(WriteFile(file, "d", 1, &n, nullptr));

    ArmPlatformFault(PlatformCall::WriteFile, 1, kFailAllFollowing, ERROR_WRITE_FAULT);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(WriteFile(file, "e", 1, &n, nullptr));
        EXPECT_EQ(ERROR_WRITE_FAULT, GetLastError());
    }
    DisarmPlatformFaults();
    EXPECT_TRUE(WriteFile(file, "f", 1, &n, nullptr));
    CloseHandle(file);
    EXPECT_EQ("adf", ReadFileText(dir_ / "f"));
}

TEST_F(FaultTest, AShortWriteSucceedsWithHalfTheBytes)
{
    const std::string path = dir_ / "f";
    HANDLE file = OpenForWriting(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ArmPlatformShortWrite(2, 2);
    DWORD n = 99;
    EXPECT_TRUE(WriteFile(file, "ab", 2, &n, nullptr));
    EXPECT_EQ(2u, n);
    SetLastError(ERROR_GEN_FAILURE);
    EXPECT_TRUE(WriteFile(file, "cdefg", 5, &n, nullptr));
    EXPECT_EQ(2u, n);
    EXPECT_EQ(ERROR_GEN_FAILURE, GetLastError());  // a success sets no error
    EXPECT_TRUE(WriteFile(file, "h", 1, &n, nullptr));
    EXPECT_EQ(0u, n);
    EXPECT_TRUE(WriteFile(file, "ij", 2, &n, nullptr));
    EXPECT_EQ(2u, n);

    // Arming WriteFile to fail replaces the short writes.
    ArmPlatformShortWrite(1);
    ArmPlatformFault(PlatformCall::WriteFile, 1);
    EXPECT_FALSE(WriteFile(file, "k", 1, &n, nullptr));
    CloseHandle(file);
    EXPECT_EQ("abcdij", ReadFileText(path));
}

TEST_F(FaultTest, EachCallFailsTheWindowsWay)
{
    const std::string path = dir_ / "f";
    std::ofstream(path) << "0123456789";
    HANDLE file = OpenForReading(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);

    ArmPlatformFault(PlatformCall::ReadFile, 1);
    char buffer[4];
    DWORD n = 99;
    EXPECT_FALSE(ReadFile(file, buffer, 4, &n, nullptr));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(ERROR_READ_FAULT, GetLastError());
    EXPECT_TRUE(ReadFile(file, buffer, 4, &n, nullptr));  // nothing was consumed
    EXPECT_EQ(0, std::string(buffer, 4).compare("0123"));

    ArmPlatformFault(PlatformCall::SetFilePointer, 1);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0, nullptr, FILE_BEGIN));
    EXPECT_NE(NO_ERROR, GetLastError());
    EXPECT_EQ(4u, SetFilePointer(file, 0, nullptr, FILE_CURRENT));

    ArmPlatformFault(PlatformCall::SetFileTime, 1);
    const FILETIME time{1, 30000000};
    EXPECT_FALSE(SetFileTime(file, nullptr, nullptr, &time));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());

    // A failed CloseHandle still releases the descriptor: nothing leaks.
    const int fd = platform_unix::FdFromHandle(file);
    ArmPlatformFault(PlatformCall::CloseHandle, 1);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    errno = 0;
    EXPECT_EQ(-1, fcntl(fd, F_GETFD));
    EXPECT_EQ(EBADF, errno);

    ArmPlatformFault(PlatformCall::GetFileAttributesA, 1);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, GetFileAttributesA(path.c_str()));

    ArmPlatformFault(PlatformCall::CreateDirectoryA, 1);
    EXPECT_FALSE(CreateDirectoryA((dir_ / "sub").c_str(), nullptr));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "sub"));

    ArmPlatformFault(PlatformCall::MoveFileExA, 1);
    EXPECT_FALSE(MoveFileExA(path.c_str(), (dir_ / "g").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(std::filesystem::exists(path));

    ArmPlatformFault(PlatformCall::DeleteFileA, 1);
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST_F(FaultTest, ArmingAgainReplacesAndZeroDisarms)
{
    ArmPlatformFault(PlatformCall::GetFileAttributesA, 1);
    ArmPlatformFault(PlatformCall::GetFileAttributesA, 3);  // counts from now
    const std::string path = dir_ / "";
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
    ArmPlatformFault(PlatformCall::GetFileAttributesA, 1);
    ArmPlatformFault(PlatformCall::GetFileAttributesA, 0);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
}

#else

TEST(PlatformFaultInjection, NotBuilt)
{
    GTEST_SKIP() << "configure with -DUPDATER_FAULT_INJECTION=ON to run the fault-injection tests";
}

#endif
