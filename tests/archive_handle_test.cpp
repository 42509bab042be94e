#include <gtest/gtest.h>

#include <cstring>

#include "archive/archive_handle.h"
#include "support/archive_fixture.h"
#include "support/file_time.h"

namespace {

TEST(ArchiveHandle, OpenRecordsWhyItFailedAndLeavesNothingOpen)
{
    ProgramFolderScope folder;
    g_lastReadResult = -1;
    EXPECT_EQ(OpenArchive(folder.File("missing.zip").string().c_str()), nullptr);
    EXPECT_EQ(g_lastReadResult, RESULT_NO_FILE);

    const auto notZip = folder.File("notes.txt");
    WriteFileBytes(notZip, Bytes(std::string(3000, 'x')));
    g_lastReadResult = -1;
    EXPECT_EQ(OpenArchive(notZip.string().c_str()), nullptr);
    EXPECT_EQ(g_lastReadResult, RESULT_NO_FILE);
    // The failed open closed the file again: on Windows it could not be deleted otherwise.
    EXPECT_TRUE(DeleteFileA(notZip.string().c_str()));

    g_lastReadResult = -1;
    ArchiveHandle* handle = folder.Open({FileEntry("a.txt", Bytes("a"))});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(g_lastReadResult, RESULT_OK);
    EXPECT_EQ(handle->kind, kReadingHandle);
    EXPECT_EQ(CloseArchive(handle), RESULT_OK);
    EXPECT_EQ(g_lastReadResult, RESULT_OK);
    EXPECT_TRUE(DeleteFileA(folder.File("update.zip").string().c_str()));
}

TEST(ArchiveHandle, CountQueryGivesTheCountAndClearsTheRecord)
{
    ProgramFolderScope folder;
    ArchiveHandle* handle = folder.Open(
        {FileEntry("a", Bytes("1")), FileEntry("b", Bytes("22")), FileEntry("c", Bytes("333"))});
    ASSERT_NE(handle, nullptr);
    ArchiveEntry entry;
    ASSERT_EQ(GetArchiveEntry(handle, 1, &entry), RESULT_OK);
    ASSERT_EQ(handle->reader->cachedEntryIndex, 1);

    std::memset(&entry, 0x5A, sizeof entry);
    EXPECT_EQ(GetArchiveEntry(handle, -1, &entry), RESULT_OK);
    EXPECT_EQ(entry.index, 3);
    EXPECT_EQ(entry.name[0], '\0');
    EXPECT_EQ(entry.name[1], 0x5A) << "only the first byte of the name is written";
    EXPECT_EQ(entry.attributes, 0u);
    EXPECT_EQ(Ticks(entry.accessTime), 0);
    EXPECT_EQ(Ticks(entry.creationTime), 0);
    EXPECT_EQ(Ticks(entry.writeTime), 0);
    EXPECT_EQ(entry.compressedSize, 0u);
    EXPECT_EQ(entry.uncompressedSize, 0u);
    EXPECT_EQ(handle->reader->cachedEntryIndex, 1) << "the count query leaves the held copy";
    CloseArchive(handle);

    handle = folder.OpenBytes(BuildZip({}));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GetArchiveEntry(handle, -1, &entry), RESULT_OK);
    EXPECT_EQ(entry.index, 0);
    CloseArchive(handle);
}

TEST(ArchiveHandle, NullAndForeignHandlesAreRefusedAndRecorded)
{
    ArchiveEntry entry;
    entry.index = 7;
    entry.uncompressedSize = 9;
    std::strcpy(entry.name, "kept");
    EXPECT_EQ(GetArchiveEntry(nullptr, -1, &entry), RESULT_ARGS);
    EXPECT_EQ(g_lastReadResult, RESULT_ARGS);
    EXPECT_EQ(entry.index, 0) << "a count query on a null handle yields 0";
    EXPECT_EQ(entry.name[0], '\0');
    EXPECT_EQ(entry.uncompressedSize, 0u);
    EXPECT_EQ(ExtractArchiveEntry(nullptr, 0, "x"), RESULT_ARGS);

    g_lastReadResult = 12345;
    EXPECT_EQ(CloseArchive(nullptr), RESULT_ARGS);
    EXPECT_EQ(g_lastWriteResult, RESULT_ARGS);
    EXPECT_EQ(g_lastReadResult, 12345) << "closing a null handle is the writing side's business";

    ArchiveHandle foreign{3, nullptr};
    EXPECT_EQ(GetArchiveEntry(&foreign, 0, &entry), RESULT_WRONG_KIND);
    EXPECT_EQ(ExtractArchiveEntry(&foreign, 0, "x"), RESULT_WRONG_KIND);
    EXPECT_EQ(CloseArchive(&foreign), RESULT_WRONG_KIND);
    EXPECT_EQ(g_lastWriteResult, RESULT_WRONG_KIND);
    EXPECT_EQ(foreign.kind, 3u) << "a foreign handle is left as it was";
}

TEST(ArchiveHandle, BaseDirectoryIsTheCurrentDirectoryEndingInASeparator)
{
    ProgramFolderScope folder;
    char current[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
    ASSERT_GT(length, 0u);
    ArchiveHandle* handle = folder.Open({FileEntry("a", Bytes("1"))});
    ASSERT_NE(handle, nullptr);
    const std::string base = handle->reader->baseDirectory;
    EXPECT_EQ(base, std::string(current) + "/")
        << "a forward slash is appended, even after '\\' paths";
    CloseArchive(handle);

    // A root already ends in a separator and is taken as it stands.
    const std::string archive = folder.File("update.zip").string();
    char root[4] = {current[0], current[1], current[2], '\0'};
    if (current[1] != ':') std::strcpy(root, "/");
    ASSERT_TRUE(SetCurrentDirectoryA(root));
    handle = OpenArchive(archive.c_str());
    ASSERT_NE(handle, nullptr);
    EXPECT_STREQ(handle->reader->baseDirectory, root);
    CloseArchive(handle);
}

TEST(ArchiveHandle, CurrentDirectoryTooLongForTheBaseIsRefused)
{
    ProgramFolderScope folder;
    const std::string archive = folder.File("update.zip").string();
    WriteFileBytes(archive, BuildZip({FileEntry("a", Bytes("1"))}));
    std::string deep = folder.Path().string();
    while (deep.size() <= 258) {
        deep += "/" + std::string(40, 'd');
        CreateDirectoryA(deep.c_str(), nullptr);
    }
    if (!SetCurrentDirectoryA(deep.c_str())) GTEST_SKIP() << "this system refuses long paths";
    EXPECT_EQ(OpenArchive(archive.c_str()), nullptr);
    EXPECT_EQ(g_lastReadResult, RESULT_NO_FILE);
}

TEST(ArchiveHandle, ReaderRefusesToOpenTwice)
{
    ProgramFolderScope folder;
    ArchiveHandle* handle = folder.Open({FileEntry("a", Bytes("1"))});
    ASSERT_NE(handle, nullptr);
    const std::string archive = folder.File("update.zip").string();
    EXPECT_EQ(handle->reader->Open(archive.c_str()), RESULT_BAD_STATE);
    handle->reader->openEntryIndex = 0;
    EXPECT_EQ(handle->reader->Close(), RESULT_OK);
    EXPECT_EQ(handle->reader->directory, nullptr);
    EXPECT_EQ(handle->reader->Open(archive.c_str()), RESULT_BAD_STATE);
    handle->reader->openEntryIndex = -1;
    EXPECT_EQ(handle->reader->Open(archive.c_str()), RESULT_OK);
    CloseArchive(handle);
}

}  // namespace
