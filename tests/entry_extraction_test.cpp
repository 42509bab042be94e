#include <gtest/gtest.h>

#include <sys/stat.h>
#include <ctime>
#include <filesystem>
#include <string>

#include "archive/archive_handle.h"
#include "platform/fault_injection.h"
#include "support/archive_fixture.h"

namespace fs = std::filesystem;

namespace {

int64_t LastWriteTime(const fs::path& path)
{
    struct stat status {};
    EXPECT_EQ(stat(path.string().c_str(), &status), 0) << path;
    return int64_t(status.st_mtime);
}

bool IsReadOnly(const fs::path& path)
{
    const DWORD attributes = GetFileAttributesA(path.string().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// Describes and extracts entry `index` under its own name, as the update run does.
int32_t DescribeAndExtract(ArchiveHandle* handle, int32_t index)
{
    ArchiveEntry entry;
    GetArchiveEntry(handle, index, &entry);
    return ExtractArchiveEntry(handle, index, entry.name);
}

TEST(EntryExtraction, FoldersAreMadeParentsFirst)
{
    ProgramFolderScope folder;
    const TestEntry docs = FolderEntry("docs/img/");
    TestEntry javaStyle = FileEntry("lib/ext/", {}, 0);  // a directory only by its trailing '/'
    // A folder the install has, with nothing else of the update in it.
    fs::create_directory(folder.File("lib"));
    ArchiveHandle* handle = folder.Open({docs, FileEntry("readme.txt", Bytes("read me")),
                                         FileEntry("a/b/c.txt", Bytes("deep")), javaStyle});
    ASSERT_NE(handle, nullptr);
    for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(DescribeAndExtract(handle, i), RESULT_OK) << i;
    EXPECT_FALSE(fs::exists(folder.File("docs"))) << "staged: nothing in the install yet";
    EXPECT_EQ(CloseArchive(handle), RESULT_OK);
    EXPECT_TRUE(fs::is_directory(folder.File("docs/img")));
    EXPECT_TRUE(fs::is_directory(folder.File("lib/ext")));
    EXPECT_TRUE(fs::is_empty(folder.File("docs/img")));
    EXPECT_EQ(ReadFileBytes(folder.File("readme.txt")), Bytes("read me"));
    EXPECT_EQ(ReadFileBytes(folder.File("a/b/c.txt")), Bytes("deep"));
    EXPECT_TRUE(FindOwnFiles(folder.Path()).empty());
}

// A folder of the install that goes while the update is staged fails the
// swap, which is undone: nothing of the update stays, and nothing of the
// updater's own.
TEST(EntryExtraction, AnInstallFolderThatWentAwayFailsTheSwapWhole)
{
    ProgramFolderScope folder;
    fs::create_directories(folder.File("a/b"));
    fs::create_directories(folder.File("c"));
    WriteFileBytes(folder.File("c/2.txt"), Bytes("old two"));
    ArchiveHandle* handle =
        folder.Open({FileEntry("c/2.txt", Bytes("two")), FileEntry("a/b/1.txt", Bytes("one"))});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(DescribeAndExtract(handle, 0), RESULT_OK);
    EXPECT_EQ(DescribeAndExtract(handle, 1), RESULT_OK);
    fs::remove_all(folder.File("a"));
    EXPECT_EQ(CloseArchive(handle), RESULT_WRITE);
    EXPECT_EQ(ReadFileBytes(folder.File("c/2.txt")), Bytes("old two"));
    EXPECT_FALSE(fs::exists(folder.File("a")));
    EXPECT_TRUE(FindOwnFiles(folder.Path()).empty());
}

// A later entry never replaces a file the run wrote, under any spelling; a
// file that was there before is replaced, also one of the same size as a
// file written, which is what makes the run look closer.
TEST(EntryExtraction, OnlyFilesTheRunWroteAreKeptFromLaterEntries)
{
    ProgramFolderScope folder;
    WriteFileBytes(folder.File("old.txt"), Bytes("12345"));
    ArchiveHandle* handle =
        folder.Open({FileEntry("new.txt", Bytes("abcde")), FileEntry("old.txt", Bytes("fghij")),
                     FileEntry("./new.txt", Bytes("klmno")), FileEntry("./old.txt", Bytes("pq"))});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(DescribeAndExtract(handle, 0), RESULT_OK);
    EXPECT_EQ(DescribeAndExtract(handle, 1), RESULT_OK);
    EXPECT_EQ(DescribeAndExtract(handle, 2), RESULT_NO_FILE);
    EXPECT_EQ(DescribeAndExtract(handle, 3), RESULT_NO_FILE);
    CloseArchive(handle);
    // Refused entries fail the update: undone.
    EXPECT_FALSE(fs::exists(folder.File("new.txt")));
    EXPECT_EQ(ReadFileBytes(folder.File("old.txt")), Bytes("12345"));

    // A short alias of a replaced file (a second name of it here, as 8.3
    // names are on Windows), which the file system does not fold into one.
    WriteFileBytes(folder.File("programfiles.txt"), Bytes("old"));
    fs::create_hard_link(folder.File("programfiles.txt"), folder.File("PROGRA~1.TXT"));
    handle = folder.Open(
        {FileEntry("programfiles.txt", Bytes("new")), FileEntry("PROGRA~1.TXT", Bytes("other"))});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(DescribeAndExtract(handle, 0), RESULT_OK);
    EXPECT_EQ(DescribeAndExtract(handle, 1), RESULT_NO_FILE);
    CloseArchive(handle);
    EXPECT_EQ(ReadFileBytes(folder.File("programfiles.txt")), Bytes("old"));
}

#ifdef UPDATER_FAULT_INJECTION
// Counted, not failed: a folder made by its directory entry, or written to
// once, is not checked again for later files in it, however they are mixed.
TEST(EntryExtraction, KnownFoldersAreNotCheckedAgain)
{
    ProgramFolderScope folder;
    const TestEntry docs = FolderEntry("docs/");
    ArchiveHandle* handle = folder.Open(
        {docs, FileEntry("docs/a.txt", Bytes("a")), FileEntry("lib/x/b.txt", Bytes("b")),
         FileEntry("docs/c.txt", Bytes("c")), FileEntry("lib/x/d.txt", Bytes("d"))});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(DescribeAndExtract(handle, 0), RESULT_OK);
    ResetPlatformCallCounts();
    EXPECT_EQ(DescribeAndExtract(handle, 1), RESULT_OK);
    // The target is looked at with GetFileAttributesExA, the folders with
    // GetFileAttributesA.
    EXPECT_EQ(PlatformCallCount(PlatformCall::GetFileAttributesExA), 1u);
    EXPECT_EQ(PlatformCallCount(PlatformCall::GetFileAttributesA), 0u);
    EXPECT_EQ(DescribeAndExtract(handle, 2), RESULT_OK);
    // A new chain: only its topmost folder is looked for in the install.
    EXPECT_EQ(PlatformCallCount(PlatformCall::GetFileAttributesA), 1u);
    ResetPlatformCallCounts();
    EXPECT_EQ(DescribeAndExtract(handle, 3), RESULT_OK);
    EXPECT_EQ(DescribeAndExtract(handle, 4), RESULT_OK);
    EXPECT_EQ(PlatformCallCount(PlatformCall::GetFileAttributesA), 0u);
    EXPECT_EQ(PlatformCallCount(PlatformCall::CreateDirectoryA), 0u);
    EXPECT_EQ(CloseArchive(handle), RESULT_OK);
    EXPECT_EQ(ReadFileBytes(folder.File("lib/x/d.txt")), Bytes("d"));
}
#endif

// An update is bound to its program folder: an absolute target, which no
// record of it could name, is refused, file or folder.
TEST(EntryExtraction, AbsoluteTargetsAreRefused)
{
    ProgramFolderScope folder;
    ScratchFolder elsewhere;
    ArchiveHandle* handle = folder.Open({FileEntry("x.bin", Bytes("absolute"))});
    ASSERT_NE(handle, nullptr);
    const std::string target = (elsewhere.Path() / "out" / "x.bin").string();
    const std::string targetFolder = (elsewhere.Path() / "made" / "").string();
    EXPECT_EQ(ExtractArchiveEntry(handle, 0, target.c_str()), RESULT_NO_FILE);
    EXPECT_EQ(ExtractArchiveEntry(handle, 0, targetFolder.c_str()), RESULT_NO_FILE);
    CloseArchive(handle);
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
    EXPECT_FALSE(fs::exists(folder.File("out")));
}

TEST(EntryExtraction, DataArrivesWholeWithTheEntrysTimes)
{
    ProgramFolderScope folder;
    const ByteVector big = PseudoRandomBytes(40000, 11);
    TestEntry stored = FileEntry("stored.bin", big, 0);
    TestEntry deflated = FileEntry("deflated.bin", RepeatedText(40000));
    TestEntry empty = FileEntry("empty.txt", {});
    for (TestEntry* entry : {&stored, &deflated, &empty}) {
        entry->localExtra = ExtendedTimestampExtra(0x03, {1500000000, 1500000100});
    }
    // No valid date and no extended timestamp: every time is zero, and the
    // file keeps the time of its making rather than 1601.
    TestEntry undated = FileEntry("undated.txt", Bytes("when?"));
    undated.dosDate = 0;
    undated.dosTime = 0;
    ArchiveHandle* handle = folder.Open({stored, deflated, empty, undated});
    ASSERT_NE(handle, nullptr);
    const int64_t before = int64_t(std::time(nullptr));
    for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(DescribeAndExtract(handle, i), RESULT_OK) << i;
    EXPECT_EQ(CloseArchive(handle), RESULT_OK);
    EXPECT_GE(LastWriteTime(folder.File("undated.txt")), before - 5);
    EXPECT_LE(LastWriteTime(folder.File("undated.txt")), int64_t(std::time(nullptr)) + 5);
    EXPECT_EQ(ReadFileBytes(folder.File("stored.bin")), big);
    EXPECT_EQ(ReadFileBytes(folder.File("deflated.bin")), RepeatedText(40000));
    EXPECT_TRUE(fs::exists(folder.File("empty.txt")));
    EXPECT_EQ(fs::file_size(folder.File("empty.txt")), 0u);
    for (const char* name : {"stored.bin", "deflated.bin", "empty.txt"}) {
        EXPECT_EQ(LastWriteTime(folder.File(name)), 1500000000) << name;
    }
    EXPECT_TRUE(FindOwnFiles(folder.Path()).empty());
}

TEST(EntryExtraction, ReadOnlyEntryIsWrittenInFullAndNeverReplaced)
{
    ProgramFolderScope folder;
    TestEntry readOnly = FileEntry("ro.dat", PseudoRandomBytes(30000, 5));
    readOnly.externalAttributes = 0x21;
    ArchiveHandle* handle = folder.Open({readOnly});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(DescribeAndExtract(handle, 0), RESULT_OK);
    CloseArchive(handle);
    EXPECT_TRUE(IsReadOnly(folder.File("ro.dat")));
    EXPECT_EQ(ReadFileBytes(folder.File("ro.dat")), PseudoRandomBytes(30000, 5));

    readOnly.data = Bytes("a later version");
    handle = folder.Open({readOnly});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(DescribeAndExtract(handle, 0), RESULT_NO_FILE);
    EXPECT_EQ(ReadFileBytes(folder.File("ro.dat")), PseudoRandomBytes(30000, 5));
    CloseArchive(handle);
    EXPECT_TRUE(FindOwnFiles(folder.Path()).empty());
}

TEST(EntryExtraction, FailedEntriesKeepTheOldFileExactly)
{
    ProgramFolderScope folder;
    const ByteVector content = RepeatedText(50000);
    TestEntry damaged = FileEntry("damaged.bin", content);
    ByteVector payload = DeflateRaw(content);
    for (size_t i = payload.size() / 3; i < payload.size() / 3 + 64; ++i) payload[i] ^= 0xA5;
    damaged.payload = payload;
    TestEntry wrongCrc = FileEntry("crc.bin", content);
    wrongCrc.crc = Crc32Of(content) ^ 1;
    TestEntry encrypted = FileEntry("secret.bin", content);
    encrypted.password = "secret";
    TestEntry shortStored = FileEntry("short.bin", content, 0);
    shortStored.payload = ByteVector(content.begin(), content.begin() + 1000);
    TestEntry shortDeflate = FileEntry("shortdeflate.bin", content);
    shortDeflate.uncompressedSize = uint32_t(content.size() + 10);

    const char* names[] = {"damaged.bin", "crc.bin", "secret.bin", "short.bin", "shortdeflate.bin"};
    for (const char* name : names) {
        WriteFileBytes(folder.File(name), Bytes("the old version"));
    }
    const int64_t oldTime = LastWriteTime(folder.File("crc.bin"));
    ArchiveHandle* handle = folder.Open({damaged, wrongCrc, encrypted, shortStored, shortDeflate});
    ASSERT_NE(handle, nullptr);
    const int32_t expected[] = {RESULT_INFLATE, RESULT_CORRUPT, RESULT_PASSWORD, RESULT_INFLATE,
                                RESULT_CORRUPT};
    for (int32_t i = 0; i < 5; ++i) {
        const int32_t result = DescribeAndExtract(handle, i);
        EXPECT_EQ(result, expected[i]) << names[i];
        EXPECT_EQ(g_lastReadResult, result);
        EXPECT_EQ(ReadFileBytes(folder.File(names[i])), Bytes("the old version")) << names[i];
    }
    EXPECT_EQ(LastWriteTime(folder.File("crc.bin")), oldTime);
    CloseArchive(handle);
    EXPECT_TRUE(FindOwnFiles(folder.Path()).empty());

    // Without an old version a failed entry leaves nothing behind.
    ScratchFolder fresh;
    CurrentDirectoryScope inFresh(fresh.Path());
    handle = folder.Open({encrypted, damaged});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(DescribeAndExtract(handle, 0), RESULT_PASSWORD);
    EXPECT_EQ(DescribeAndExtract(handle, 1), RESULT_INFLATE);
    CloseArchive(handle);
    EXPECT_TRUE(fs::is_empty(fresh.Path()));
}

TEST(EntryExtraction, OldFilesEarlierRunsMovedAsideGoWhenTheirFolderIsWrittenTo)
{
    ProgramFolderScope folder;
    fs::create_directories(folder.File("bin"));
    fs::create_directories(folder.File("logs"));
    const char* const gone[] = {"Tavix.exe.~tvx0001ABCD.old", "bin/core.dll.~tvx00020003.old",
                                "logs/day.txt.~tvx00040005.old"};
    const char* const kept[] = {
        "lost.dll.~tvx00060007.old",     // no lost.dll: this is the one copy
        "notes.~tvx12.old",              // not a name the updater gives
        "x.txt.~tvx0000abcd.old",        // nor is this
        "other/y.txt.~tvx00080009.old",  // a folder the update does not touch
    };
    for (const char* name : {"Tavix.exe", "bin/core.dll", "logs/day.txt", "x.txt", "other/y.txt"}) {
        fs::create_directories(folder.File(name).parent_path());
        WriteFileBytes(folder.File(name), Bytes("installed"));
    }
    for (const char* name : gone) WriteFileBytes(folder.File(name), Bytes("moved aside"));
    for (const char* name : kept) WriteFileBytes(folder.File(name), Bytes("not ours to delete"));
    const TestEntry logs = FolderEntry("logs/");
    ArchiveHandle* handle = folder.Open(
        {FileEntry("readme.txt", Bytes("r")), FileEntry("bin/new.dll", Bytes("n")), logs});
    ASSERT_NE(handle, nullptr);
    for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(DescribeAndExtract(handle, i), RESULT_OK) << i;
    CloseArchive(handle);
    for (const char* name : gone) EXPECT_FALSE(fs::exists(folder.File(name))) << name;
    for (const char* name : kept) EXPECT_TRUE(fs::exists(folder.File(name))) << name;
}

// Leftovers of earlier runs go the first time the run writes in a folder;
// another spelling of that folder later must not sweep it again, or the old
// file the run keeps there would go and the undo could not put it back.
TEST(EntryExtraction, AFolderIsSweptOnceWhateverItsSpelling)
{
    ProgramFolderScope folder;
    fs::create_directories(folder.File("docs"));
    WriteFileBytes(folder.File("docs/a.txt"), Bytes("old a"));
    WriteFileBytes(folder.File("docs/~tvx00010002.old"), Bytes("an earlier run's"));
    const TestEntry sameFolder = FolderEntry("docs//");
    TestEntry damaged = FileEntry("z.txt", Bytes("z"));
    damaged.crc = Crc32Of(damaged.data) ^ 1;
    ArchiveHandle* handle =
        folder.Open({FileEntry("docs/a.txt", Bytes("new a")), sameFolder, damaged});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(DescribeAndExtract(handle, 0), RESULT_OK);
    EXPECT_FALSE(fs::exists(folder.File("docs/~tvx00010002.old"))) << "swept";
    EXPECT_EQ(DescribeAndExtract(handle, 1), RESULT_OK);
    EXPECT_EQ(DescribeAndExtract(handle, 2), RESULT_CORRUPT);
    CloseArchive(handle);
    EXPECT_EQ(ReadFileBytes(folder.File("docs/a.txt")), Bytes("old a"));
    EXPECT_TRUE(FindOwnFiles(folder.Path()).empty());
}

TEST(EntryExtraction, TargetsThatCannotBeFilesAreRefused)
{
    ProgramFolderScope folder;
    fs::create_directory(folder.File("taken"));
    WriteFileBytes(folder.File("blocker"), Bytes("a file where a folder is wanted"));
    ArchiveHandle* handle =
        folder.Open({FileEntry("taken", Bytes("x")), FileEntry("blocker/inner.txt", Bytes("y"))});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(DescribeAndExtract(handle, 0), RESULT_NO_FILE);
    EXPECT_EQ(DescribeAndExtract(handle, 1), RESULT_NO_FILE);
    EXPECT_TRUE(fs::is_directory(folder.File("taken")));
    EXPECT_EQ(ReadFileBytes(folder.File("blocker")), Bytes("a file where a folder is wanted"));
    CloseArchive(handle);

    // The archive being read, under a name of its own and under another name
    // of the same file (as its short name would be on Windows).
    handle = folder.Open({FileEntry("update.zip", Bytes("x")), FileEntry("other.zip", Bytes("y"))});
    ASSERT_NE(handle, nullptr);
    const std::string other = folder / "other.zip";
    fs::create_hard_link(folder / "update.zip", other);
    const ByteVector archive = ReadFileBytes(folder.File("update.zip"));
    EXPECT_EQ(DescribeAndExtract(handle, 0), RESULT_NO_FILE);
    EXPECT_EQ(DescribeAndExtract(handle, 1), RESULT_NO_FILE);
    CloseArchive(handle);
    EXPECT_EQ(ReadFileBytes(folder.File("update.zip")), archive);
    EXPECT_EQ(ReadFileBytes(folder.File("other.zip")), archive);
}

TEST(EntryExtraction, BadIndexesAndDamagedDescriptionsCreateNothing)
{
    ProgramFolderScope folder;
    TestEntry broken = FileEntry("broken.txt", Bytes("x"));
    broken.local.signature = 0;
    ArchiveHandle* handle = folder.Open({FileEntry("a.txt", Bytes("a")), broken});
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(ExtractArchiveEntry(handle, 2, "a.txt"), RESULT_ARGS);
    EXPECT_EQ(ExtractArchiveEntry(handle, -1, "a.txt"), RESULT_ARGS);
    EXPECT_EQ(ExtractArchiveEntry(handle, 1, "broken.txt"), RESULT_CORRUPT);
    EXPECT_FALSE(fs::exists(folder.File("a.txt")));
    EXPECT_FALSE(fs::exists(folder.File("broken.txt")));
    CloseArchive(handle);
}

TEST(EntryExtraction, NothingIsWrittenOutsideTheBaseForRelativeTargets)
{
    ScratchFolder outer;
    const fs::path program = outer.Path() / "program";
    fs::create_directory(program);
    CurrentDirectoryScope restore;
    ASSERT_TRUE(SetCurrentDirectoryA(program.string().c_str()));
    const std::string archive = (outer.Path() / "update.zip").string();
    WriteFileBytes(archive, BuildZip({FileEntry("payload", Bytes("evil"))}));
    ArchiveHandle* handle = OpenArchive(archive.c_str());
    ASSERT_NE(handle, nullptr);
    const char* tricks[] = {"../evil", "..\\evil", "a/../../evil",    "x/../..",          "..",
                            "a/..",    "../",      "a\\..\\..\\evil", "ok/../../../evil/"};
    for (const char* trick : tricks) {
        EXPECT_EQ(ExtractArchiveEntry(handle, 0, trick), RESULT_ARGS) << trick;
    }
    EXPECT_EQ(ExtractArchiveEntry(handle, 0, "fine..name"), RESULT_OK);
    CloseArchive(handle);
    std::vector<std::string> outside;
    for (const auto& item : fs::directory_iterator(outer.Path())) {
        outside.push_back(item.path().filename().string());
    }
    EXPECT_EQ(outside.size(), 2u) << "only the program folder and the archive";
    EXPECT_TRUE(fs::is_empty(program)) << "the refused entries failed the update: undone";
}

TEST(EntryExtraction, PathsThatDoNotFitAreRefusedBeforeAnythingIsMade)
{
    ProgramFolderScope folder;
    ArchiveHandle* handle = folder.Open({FileEntry("payload", Bytes("data"))});
    ASSERT_NE(handle, nullptr);
    const size_t room = MAX_PATH - 1 - std::string(handle->reader->baseDirectory).size();
    const std::string longFolder = "made/" + std::string(room, 'f') + "/file.txt";
    const std::string longFile = "made/" + std::string(room, 'g');
    const std::string longDirectory = "made/" + std::string(room, 'h') + "/";
    EXPECT_EQ(ExtractArchiveEntry(handle, 0, longFolder.c_str()), RESULT_NO_FILE);
    EXPECT_EQ(ExtractArchiveEntry(handle, 0, longFile.c_str()), RESULT_NO_FILE);
    EXPECT_EQ(ExtractArchiveEntry(handle, 0, longDirectory.c_str()), RESULT_NO_FILE);
    EXPECT_FALSE(fs::exists(folder.File("made")));
    CloseArchive(handle);
}

}  // namespace
