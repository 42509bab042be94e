// The Linux platform layer's file calls keep their Windows meaning: read-only
// files refuse to be written, replaced or deleted (also for root),
// '\' separates, a pipe cannot be positioned, a full disk is a failed write.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "../platform/winapi.h"
#include "support/file_content.h"
#include "support/file_time.h"
#include "support/scratch_folder.h"

namespace {

void WriteText(const std::string& path, const std::string& text, mode_t mode = 0644)
{
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), mode);
}

mode_t ModeOf(const std::string& path)
{
    struct stat st;
    EXPECT_EQ(0, stat(path.c_str(), &st)) << path;
    return st.st_mode & 07777;
}

HANDLE Create(const std::string& path, DWORD disposition, DWORD attributes = FILE_ATTRIBUTE_NORMAL,
              DWORD access = GENERIC_WRITE)
{
    return CreateFileA(path.c_str(), access, 0, nullptr, disposition, attributes, nullptr);
}

bool WriteAll(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) &&
           written == text.size();
}

}  // namespace

TEST(PlatformFiles, CreateWriteReadBack)
{
    ScratchFolder dir;
    HANDLE file = Create(dir / "a.bin", CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_NE(nullptr, file);
    EXPECT_TRUE(WriteAll(file, "hello world"));
    EXPECT_TRUE(CloseHandle(file));

    file = Create(dir / "a.bin", OPEN_EXISTING, 0, GENERIC_READ);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    char buffer[64] = {};
    DWORD got = 123;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(11u, got);
    EXPECT_STREQ("hello world", buffer);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));  // end of file
    EXPECT_EQ(0u, got);
    EXPECT_TRUE(CloseHandle(file));
}

TEST(PlatformFiles, DispositionsFollowWindows)
{
    ScratchFolder dir;
    const std::string path = dir / "f.txt";

    EXPECT_EQ(INVALID_HANDLE_VALUE, Create(path, OPEN_EXISTING));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, Create(dir / "missing/f.txt", CREATE_NEW));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());

    HANDLE file = Create(path, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(WriteAll(file, "first"));
    CloseHandle(file);

    EXPECT_EQ(INVALID_HANDLE_VALUE, Create(path, CREATE_NEW));
    EXPECT_EQ(ERROR_FILE_EXISTS, GetLastError());
    EXPECT_EQ("first", ReadFileText(path));

    // CREATE_ALWAYS, TRUNCATE_EXISTING: not emulated, refused before the
    // file is touched.
    for (DWORD disposition : {2u, 5u}) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, Create(path, disposition)) << disposition;
        EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError()) << disposition;
        EXPECT_EQ(INVALID_HANDLE_VALUE, Create(dir / "new.txt", disposition)) << disposition;
    }
    EXPECT_EQ("first", ReadFileText(path));
    EXPECT_FALSE(std::filesystem::exists(dir / "new.txt"));
}

TEST(PlatformFiles, BackslashesSeparate)
{
    ScratchFolder dir;
    ASSERT_TRUE(CreateDirectoryA((dir.String() + "\\sub").c_str(), nullptr));
    HANDLE file = Create(dir.String() + "\\sub\\x.txt", CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(WriteAll(file, "x"));
    CloseHandle(file);
    EXPECT_EQ("x", ReadFileText(dir / "sub/x.txt"));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA((dir.String() + "\\sub\\").c_str()));
    EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, GetFileAttributesA((dir.String() + "\\sub/x.txt").c_str()));
    EXPECT_TRUE(DeleteFileA((dir.String() + "\\sub\\x.txt").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir / "sub/x.txt"));
}

TEST(PlatformFiles, ReadOnlyCreateGivesWritableHandleAndReadOnlyFile)
{
    ScratchFolder dir;
    const std::string path = dir / "ro.txt";
    HANDLE file = Create(path, CREATE_NEW, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(WriteAll(file, "all of it"));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ("all of it", ReadFileText(path));
    EXPECT_EQ(0u, ModeOf(path) & 0222);
    EXPECT_EQ(FILE_ATTRIBUTE_READONLY, GetFileAttributesA(path.c_str()));
}

// Runs as root in CI: the layer must look at the mode bits, not at access().
TEST(PlatformFiles, ReadOnlyFileRefusesWriteAndDelete)
{
    ScratchFolder dir;
    const std::string path = dir / "locked.txt";
    WriteText(path, "keep me", 0444);

    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Create(path, OPEN_EXISTING));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("keep me", ReadFileText(path));

    HANDLE reader = Create(path, OPEN_EXISTING, 0, GENERIC_READ);  // reading is fine
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    CloseHandle(reader);

    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("keep me", ReadFileText(path));

    // Clearing the attribute makes it an ordinary file again.
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_NE(0u, ModeOf(path) & S_IWUSR);
    EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, GetFileAttributesA(path.c_str()));
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST(PlatformFiles, SetFileAttributesTogglesEveryWriteBit)
{
    ScratchFolder dir;
    const std::string path = dir / "f";
    WriteText(path, "", 0664);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(0444u, ModeOf(path));
    const mode_t mask = umask(022);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(0644u, ModeOf(path));
    umask(mask);
}

TEST(PlatformFiles, DirectoriesAreNotFiles)
{
    ScratchFolder dir;
    const std::string sub = dir / "sub";
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryA(sub.c_str(), nullptr));
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_FALSE(CreateDirectoryA((dir / "no/such").c_str(), nullptr));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(sub.c_str()));

    for (DWORD access : {DWORD(GENERIC_READ), DWORD(GENERIC_WRITE)}) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, Create(sub, OPEN_EXISTING, 0, access));
        EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    }
    // Asked for as a folder, it opens, to be asked about; never to write.
    HANDLE folder = Create(sub, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, folder);
    BY_HANDLE_FILE_INFORMATION information;
    EXPECT_TRUE(GetFileInformationByHandle(folder, &information));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, information.dwFileAttributes);
    EXPECT_TRUE(CloseHandle(folder));
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              Create(sub, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, GENERIC_WRITE));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    // A name ending in a separator cannot be created as a file.
    EXPECT_EQ(INVALID_HANDLE_VALUE, Create(dir / "new/", CREATE_NEW));
    EXPECT_EQ(INVALID_HANDLE_VALUE, Create(dir.String() + "\\", CREATE_NEW));

    EXPECT_FALSE(DeleteFileA(sub.c_str()));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(std::filesystem::is_directory(sub));

    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir / "none/x").c_str()));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
}

TEST(PlatformFiles, SetFilePointerMovesWithinThirtyTwoBits)
{
    ScratchFolder dir;
    const std::string path = dir / "p";
    WriteText(path, "0123456789");
    HANDLE file = Create(path, OPEN_EXISTING, 0, GENERIC_READ);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);

    EXPECT_EQ(4u, SetFilePointer(file, 4, nullptr, FILE_BEGIN));
    EXPECT_EQ(6u, SetFilePointer(file, 2, nullptr, FILE_CURRENT));
    char c = 0;
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, &c, 1, &got, nullptr));
    EXPECT_EQ('6', c);
    EXPECT_EQ(7u, SetFilePointer(file, -3, nullptr, FILE_END));
    EXPECT_EQ(7u, SetFilePointer(file, 0, nullptr, FILE_CURRENT));
    EXPECT_EQ(20u, SetFilePointer(file, 10, nullptr, FILE_END));  // past the end is allowed

    // A negative position fails and leaves the position where it was.
    SetLastError(0);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -1, nullptr, FILE_BEGIN));
    EXPECT_EQ(ERROR_NEGATIVE_SEEK, GetLastError());
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -21, nullptr, FILE_CURRENT));
    EXPECT_EQ(20u, SetFilePointer(file, 0, nullptr, FILE_CURRENT));

    // 0xFFFFFFFF is a valid position (NO_ERROR tells it apart); one beyond
    // 32 bits fails and leaves the position alone.
    EXPECT_EQ(0x7FFFFFFFu, SetFilePointer(file, 0x7FFFFFFF, nullptr, FILE_BEGIN));
    EXPECT_EQ(0xFFFFFFFEu, SetFilePointer(file, 0x7FFFFFFF, nullptr, FILE_CURRENT));
    SetLastError(ERROR_GEN_FAILURE);
    EXPECT_EQ(0xFFFFFFFFu, SetFilePointer(file, 1, nullptr, FILE_CURRENT));
    EXPECT_EQ(NO_ERROR, GetLastError());
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 1, nullptr, FILE_CURRENT));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(7u, SetFilePointer(file, -3, nullptr, FILE_END));

    // A high part is not emulated.
    LONG high = 0;
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 5, &high, FILE_BEGIN));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(7u, SetFilePointer(file, 0, nullptr, FILE_CURRENT));
    EXPECT_TRUE(CloseHandle(file));
}

TEST(PlatformFiles, PipeCannotBePositioned)
{
    ScratchFolder dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    HANDLE pipe = Create(fifo, OPEN_EXISTING, 0, GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(pipe, 0, nullptr, FILE_BEGIN));
    EXPECT_NE(NO_ERROR, GetLastError());
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(pipe, 0, nullptr, FILE_CURRENT));
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(pipe, 0, nullptr, FILE_END));

    // Reading a pipe gives what is there, without waiting for more.
    ASSERT_TRUE(WriteAll(pipe, "abc"));
    char buffer[16];
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(pipe, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(3u, got);
    EXPECT_TRUE(CloseHandle(pipe));
}

TEST(PlatformFiles, FullDiskIsAFailedWrite)
{
    HANDLE full = CreateFileA("/dev/full", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (full == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no /dev/full";
    DWORD written = 77;
    EXPECT_FALSE(WriteFile(full, "data", 4, &written, nullptr));
    EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
    EXPECT_EQ(0u, written);
    CloseHandle(full);
}

TEST(PlatformFiles, WrongAccessAndBadHandles)
{
    ScratchFolder dir;
    const std::string path = dir / "f";
    WriteText(path, "abc");
    HANDLE reader = Create(path, OPEN_EXISTING, 0, GENERIC_READ);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    DWORD n = 0;
    EXPECT_FALSE(WriteFile(reader, "x", 1, &n, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(CloseHandle(reader));

    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_FALSE(CloseHandle(nullptr));
    char c;
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, &c, 1, &n, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST(PlatformFiles, SetFileTimeSetsAccessAndWriteTimes)
{
    ScratchFolder dir;
    const std::string path = dir / "t";
    HANDLE file = Create(path, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(WriteAll(file, "x"));

    // 2001-09-09 01:46:40.5 UTC = Unix 1000000000.5; 1969-12-31 23:59:59 = -1.
    const int64_t epoch = 116444736000000000LL;
    const int64_t write = epoch + 10000000000000000LL + 5000000LL;
    const int64_t access = epoch - 10000000LL;
    const FILETIME writeTime = FromTicks(write);
    const FILETIME accessTime = FromTicks(access);
    const FILETIME creation{1, 1};
    EXPECT_TRUE(SetFileTime(file, &creation, &accessTime, &writeTime));

    struct stat st;
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(1000000000, st.st_mtim.tv_sec);
    EXPECT_EQ(500000000, st.st_mtim.tv_nsec);
    EXPECT_EQ(-1, st.st_atim.tv_sec);
    EXPECT_EQ(0, st.st_atim.tv_nsec);

    // Null and all-zero leave a time alone.
    const FILETIME laterTime = FromTicks(write + 10000000LL * 3600);
    const FILETIME zero{0, 0};
    EXPECT_TRUE(SetFileTime(file, nullptr, &zero, &laterTime));
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(1000003600, st.st_mtim.tv_sec);
    EXPECT_EQ(-1, st.st_atim.tv_sec);
    EXPECT_TRUE(SetFileTime(file, nullptr, &laterTime, nullptr));
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(1000003600, st.st_mtim.tv_sec);
    EXPECT_EQ(1000003600, st.st_atim.tv_sec);
    EXPECT_TRUE(CloseHandle(file));
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(1000003600, st.st_mtim.tv_sec);  // closing does not touch it

    EXPECT_FALSE(SetFileTime(INVALID_HANDLE_VALUE, nullptr, nullptr, &laterTime));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST(PlatformFiles, MoveFileExReplacesOnlyWhenAskedAndAllowed)
{
    ScratchFolder dir;
    const std::string from = dir / "new.tmp";
    const std::string to = dir / "target";
    WriteText(from, "new", 0644);
    WriteText(to, "old", 0644);

    EXPECT_FALSE(MoveFileExA(from.c_str(), to.c_str(), 0));
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_EQ("old", ReadFileText(to));

    EXPECT_TRUE(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ("new", ReadFileText(to));
    EXPECT_FALSE(std::filesystem::exists(from));

    EXPECT_FALSE(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());

    // Without a target it is a plain rename, also with backslashes.
    WriteText(from, "again");
    EXPECT_TRUE(MoveFileExA(from.c_str(), (dir.String() + "\\moved").c_str(), 0));
    EXPECT_EQ("again", ReadFileText(dir / "moved"));
}

TEST(PlatformFiles, MoveFileExRefusesReadOnlyTargetAndDirectories)
{
    ScratchFolder dir;
    const std::string from = dir / "new.tmp";
    const std::string locked = dir / "locked";
    WriteText(from, "new");
    WriteText(locked, "old", 0444);
    EXPECT_FALSE(MoveFileExA(from.c_str(), locked.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("old", ReadFileText(locked));
    EXPECT_EQ("new", ReadFileText(from));

    const std::string folder = dir / "folder";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_FALSE(MoveFileExA(from.c_str(), folder.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ("new", ReadFileText(from));

    // A read-only source moves fine and stays read-only.
    ASSERT_TRUE(SetFileAttributesA(from.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(MoveFileExA(from.c_str(), (dir / "ro-moved").c_str(), 0));
    EXPECT_EQ(FILE_ATTRIBUTE_READONLY, GetFileAttributesA((dir / "ro-moved").c_str()));
}

TEST(PlatformFiles, MoveFileExKeepsTheReplacedFilesExecuteBits)
{
    ScratchFolder dir;
    const std::string program = dir / "program";
    WriteText(program, "#!/bin/sh\necho old\n", 0755);

    // The new version as extraction makes it: a fresh file, no execute bits.
    const std::string update = dir / "program.tmp";
    HANDLE file = Create(update, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(WriteAll(file, "#!/bin/sh\necho new\n"));
    CloseHandle(file);
    const mode_t updateMode = ModeOf(update);
    ASSERT_EQ(0u, updateMode & 0111);

    ASSERT_TRUE(MoveFileExA(update.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(updateMode | 0111, ModeOf(program));
    EXPECT_EQ("#!/bin/sh\necho new\n", ReadFileText(program));

    // A read-only update over an executable: executable, and still read-only.
    const std::string readOnlyUpdate = dir / "ro.tmp";
    file = Create(readOnlyUpdate, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    ASSERT_TRUE(MoveFileExA(readOnlyUpdate.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(0111u, ModeOf(program) & 0111);
    EXPECT_EQ(0u, ModeOf(program) & 0222);
    EXPECT_EQ(FILE_ATTRIBUTE_READONLY, GetFileAttributesA(program.c_str()));
}

TEST(PlatformFiles, NotFoundTellsAMissingFolderApart)
{
    ScratchFolder dir;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir / "none").c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());  // asking twice: the same
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir / "no\\none").c_str()));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());

    // A later error replaces a failed lookup's, also one never asked for.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir / "no/none").c_str()));
    SetLastError(ERROR_DISK_FULL);
    EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir / "no/none").c_str()));
    EXPECT_FALSE(MoveFileExA((dir / "none").c_str(), (dir / "other").c_str(), 0));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());

    // Another thread's failed lookup is not this thread's error.
    SetLastError(ERROR_SUCCESS);
    std::thread([&] { GetFileAttributesA((dir / "no/none").c_str()); }).join();
    EXPECT_EQ(ERROR_SUCCESS, GetLastError());
}

TEST(PlatformFiles, MoveFileExOntoAFreeNameInAMissingFolderFails)
{
    ScratchFolder dir;
    const std::string from = dir / "new.tmp";
    WriteText(from, "new");
    EXPECT_FALSE(MoveFileExA(from.c_str(), (dir / "missing/x").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_EQ("new", ReadFileText(from));
}

TEST(PlatformFiles, LastErrorIsPerThread)
{
    SetLastError(1234);
    DWORD seenByOther = 1;
    std::thread([&] {
        seenByOther = GetLastError();
        SetLastError(99);
    }).join();
    EXPECT_EQ(0u, seenByOther);
    EXPECT_EQ(1234u, GetLastError());
}
