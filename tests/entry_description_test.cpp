#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_handle.h"
#include "archive/entry_attributes.h"
#include "archive/entry_name.h"
#include "archive/entry_times.h"
#include "support/archive_fixture.h"
#include "support/code_page_scope.h"
#include "support/file_time.h"
#include "support/memory_source.h"
#include "support/wine.h"

namespace {

constexpr int64_t kUnixEpochFileTime = 116444736000000000LL;

int64_t LocalMomentInUtc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    const SYSTEMTIME local = Date(year, month, day, hour, minute, second);
    FILETIME localTime, utc;
    EXPECT_TRUE(SystemTimeToFileTime(&local, &localTime));
    EXPECT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));
    return Ticks(utc);
}

int64_t UnixToFileTime(int64_t seconds)
{
    return (seconds + 11644473600LL) * 10000000LL;
}

TEST(EntryDescription, IndexesOutsideTheArchiveLeaveTheRecordUntouched)
{
    ProgramFolderScope folder;
    ArchiveHandle* handle = folder.Open(
        {FileEntry("a", Bytes("1")), FileEntry("b", Bytes("22")), FileEntry("c", Bytes("333"))});
    ASSERT_NE(handle, nullptr);
    for (int32_t index : {-2, 3, 1000}) {
        ArchiveEntry entry;
        std::memset(&entry, 0x5A, sizeof entry);
        EXPECT_EQ(handle->reader->GetEntry(index, &entry), RESULT_ARGS) << index;
        EXPECT_EQ(entry.index, 0x5A5A5A5A);
        EXPECT_EQ(GetArchiveEntry(handle, index, &entry), RESULT_ARGS);
        EXPECT_EQ(g_lastReadResult, RESULT_ARGS);
    }
    ArchiveEntry entry;
    ASSERT_EQ(GetArchiveEntry(handle, 2, &entry), RESULT_OK);
    EXPECT_EQ(entry.index, 2);
    EXPECT_STREQ(entry.name, "c");
    EXPECT_EQ(entry.uncompressedSize, 3u);
    CloseArchive(handle);
}

TEST(EntryDescription, RepeatedRequestIsAnsweredFromTheHeldCopy)
{
    ProgramFolderScope folder;
    ArchiveHandle* handle = folder.Open(
        {FileEntry("a", Bytes("1")), FileEntry("b", Bytes("22")), FileEntry("c", Bytes("333"))});
    ASSERT_NE(handle, nullptr);
    ArchiveEntry first, second;
    ASSERT_EQ(GetArchiveEntry(handle, 2, &first), RESULT_OK);

    // With the archive unreadable, only the held copy can answer.
    ByteSource* real = handle->reader->directory->source;
    ByteSource unreadable{};
    unreadable.isFile = true;
    unreadable.canSeek = false;
    handle->reader->directory->source = &unreadable;
    EXPECT_EQ(GetArchiveEntry(handle, 2, &second), RESULT_OK);
    EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);
    EXPECT_EQ(GetArchiveEntry(handle, 1, &second), RESULT_CORRUPT)
        << "a lower index walks the archive again";
    handle->reader->directory->source = real;

    ASSERT_EQ(GetArchiveEntry(handle, 1, &second), RESULT_OK);
    EXPECT_STREQ(second.name, "b");
    EXPECT_EQ(handle->reader->directory->currentIndex, 1);
    CloseArchive(handle);
}

TEST(EntryDescription, NamesLoseDrivesRootsAndParentSteps)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/abs/file", "abs/file"},
        {"//server/share/x", "server/share/x"},
        {"D:\\data\\x.txt", "data\\x.txt"},
        {"a/b/../c", "c"},
        {"a\\..\\b/../c", "c"},
        {"", ""},
        {"C:\\dir\\file.txt", "dir\\file.txt"},
        {"../x", "../x"},
        {"x/..\\y", "y"},
        {"?:/\\x", "x"},
    };
    CodePageScope singleByte(0);
    for (const auto& [name, clean] : cases) EXPECT_STREQ(SanitiseEntryName(name), clean) << name;
}

TEST(EntryDescription, TrailByteBackslashIsNotASeparatorInCodePage936)
{
    // 0x95 0x5C is one character in code page 936.
    const char name[] = "a\x95\\..\\b";
    if (RunningUnderWine()) GTEST_SKIP() << "Wine's _mbsstr does not walk characters";
    {
        CodePageScope gbk(936);
        ASSERT_EQ(_getmbcp(), 936);
        EXPECT_STREQ(SanitiseEntryName(name), name);
        EXPECT_STREQ(SanitiseEntryName("a\x95\\/../b"), "b") << "a real separator still counts";
    }
    {
        CodePageScope singleByte(0);
        EXPECT_STREQ(SanitiseEntryName(name), "b");
    }
}

TEST(EntryDescription, AttributesFollowTheHostsLayout)
{
    struct Case {
        uint32_t host, external, expected;
    };
    const Case cases[] = {
        {0, 0x10, 0x10},       {0, 0x21, 0x21},       {0, 0x27, 0x27},       {7, 0x02, 0x02},
        {11, 0x01, 0x01},      {14, 0x04, 0x04},      {0, 0xFFFFFFC0, 0x00}, {3, 0x81A40000, 0x20},
        {3, 0x81240000, 0x21}, {3, 0x41ED0000, 0x30}, {10, 0x20, 0x21},      {19, 0x81B60000, 0x20},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MapEntryAttributes(c.host << 8 | 20, c.external), c.expected)
            << "host " << c.host << " attributes 0x" << std::hex << c.external;
    }
}

TEST(EntryDescription, DosTimesAreLocalTimeAndUtBlocksReplaceThem)
{
    ProgramFolderScope folder;
    auto entryWith = [](const std::string& name, const ByteVector& localExtra) {
        TestEntry entry = FileEntry(name, Bytes("data"));
        entry.dosDate = 0x46D4;
        entry.dosTime = 0x6DAF;
        entry.localExtra = localExtra;
        return entry;
    };
    ByteVector behind300 = {'X', 'Y', 0x2C, 0x01};
    behind300.resize(4 + 300, 0xEE);
    const ByteVector ut = ExtendedTimestampExtra(0x01, {1234567890});
    behind300.insert(behind300.end(), ut.begin(), ut.end());
    const ByteVector cutShort = {'U', 'T', 9, 0, 0x07, 0x10, 0x20, 0x30, 0x40, 0x50};
    // Flags for three times over data for one, then Info-ZIP's "ux" block:
    // its bytes are no times.
    ByteVector promisesThree = ExtendedTimestampExtra(0x07, {1700000000});
    const ByteVector ux = {'u', 'x', 11, 0, 1, 4, 0xE8, 3, 0, 0, 4, 0xE8, 3, 0, 0};
    promisesThree.insert(promisesThree.end(), ux.begin(), ux.end());

    ArchiveHandle* handle = folder.Open({
        entryWith("plain", {}),
        entryWith("write", ExtendedTimestampExtra(0x01, {0})),
        entryWith("accessCreation", ExtendedTimestampExtra(0x06, {1000, 2000})),
        entryWith("all", ExtendedTimestampExtra(0x07, {1, 2, 3})),
        entryWith("flagsOnly", ExtendedTimestampExtra(0x00, {})),
        entryWith("behind300", behind300),
        entryWith("fourBytes", {'U', 'T', 0, 0}),
        entryWith("cutShort", cutShort),
        entryWith("promisesThree", promisesThree),
    });
    ASSERT_NE(handle, nullptr);
    const int64_t dos = LocalMomentInUtc(2015, 6, 20, 13, 45, 30);
    struct Expected {
        int64_t access, creation, write;
    };
    const Expected expected[] = {
        {dos, dos, dos},
        {dos, dos, kUnixEpochFileTime},
        {UnixToFileTime(1000), UnixToFileTime(2000), dos},
        {UnixToFileTime(2), UnixToFileTime(3), UnixToFileTime(1)},
        {dos, dos, dos},
        {dos, dos, UnixToFileTime(1234567890)},
        {dos, dos, dos},
        {dos, dos, UnixToFileTime(0x40302010)},
        {dos, dos, UnixToFileTime(1700000000)},
    };
    for (int32_t i = 0; i < 9; ++i) {
        ArchiveEntry entry;
        ASSERT_EQ(GetArchiveEntry(handle, i, &entry), RESULT_OK) << i;
        EXPECT_EQ(Ticks(entry.accessTime), expected[i].access) << entry.name;
        EXPECT_EQ(Ticks(entry.creationTime), expected[i].creation) << entry.name;
        EXPECT_EQ(Ticks(entry.writeTime), expected[i].write) << entry.name;
    }
    CloseArchive(handle);
}

TEST(EntryDescription, ImpossibleDosMomentsGiveUnknownTimes)
{
    for (uint32_t dosDateTime :
         {0x00000000u, 0x46D40000u | (24u << 11), 0x47B4u << 16, 0x465Eu << 16,
          (0x46C0u << 16) | 0x6DAFu, (0x4644u << 16) | (60u << 5)}) {
        FILETIME time{1, 1};
        EXPECT_FALSE(ConvertDosDateTime(dosDateTime, &time)) << std::hex << dosDateTime;
        EXPECT_EQ(Ticks(time), 0);
    }
    ProgramFolderScope folder;
    TestEntry entry = FileEntry("zero", Bytes("x"));
    entry.dosDate = 0;
    entry.dosTime = 0;
    entry.localExtra = ExtendedTimestampExtra(0x01, {86400});
    ArchiveHandle* handle = folder.Open({entry});
    ArchiveEntry described;
    ASSERT_EQ(GetArchiveEntry(handle, 0, &described), RESULT_OK);
    EXPECT_EQ(Ticks(described.accessTime), 0);
    EXPECT_EQ(Ticks(described.writeTime), UnixToFileTime(86400));
    CloseArchive(handle);
}

TEST(EntryDescription, ArchiveBehindOtherDataIsDescribedFromItsOwnHeaders)
{
    ProgramFolderScope folder;
    TestEntry entry = FileEntry("dir/file.bin", PseudoRandomBytes(5000, 3));
    entry.localExtra = ExtendedTimestampExtra(0x01, {1600000000});
    entry.versionMadeBy = 3 << 8 | 30;
    entry.externalAttributes = 0100444u << 16;
    for (bool adjusted : {false, true}) {
        ZipOptions options;
        options.prefix = ByteVector(7777, 0x90);
        options.offsetsFromFileStart = adjusted;
        ArchiveHandle* handle = folder.Open({entry}, options);
        ASSERT_NE(handle, nullptr);
        ArchiveEntry described;
        ASSERT_EQ(GetArchiveEntry(handle, 0, &described), RESULT_OK);
        EXPECT_STREQ(described.name, "dir/file.bin");
        EXPECT_EQ(described.attributes, 0x21u);
        EXPECT_EQ(Ticks(described.writeTime), UnixToFileTime(1600000000));
        EXPECT_EQ(described.uncompressedSize, 5000u);
        EXPECT_EQ(described.compressedSize, handle->reader->directory->currentInfo.compressedSize);
        CloseArchive(handle);
    }
}

TEST(EntryDescription, StoredNamesOf260BytesOrMoreAreRefusedNeverCut)
{
    ProgramFolderScope folder;
    const std::string exact259(259, 'e');
    ArchiveHandle* handle = folder.Open(
        {FileEntry(std::string(260, 'n'), Bytes("1")), FileEntry(exact259, Bytes("2"))});
    ASSERT_NE(handle, nullptr);
    ArchiveEntry entry;
    ASSERT_EQ(GetArchiveEntry(handle, 1, &entry), RESULT_OK);
    EXPECT_EQ(std::string(entry.name), exact259);
    const ArchiveEntry kept = entry;
    EXPECT_EQ(handle->reader->GetEntry(0, &entry), RESULT_NO_FILE);
    EXPECT_EQ(std::memcmp(&entry, &kept, sizeof entry), 0);
    EXPECT_EQ(ExtractArchiveEntry(handle, 0, ""), RESULT_NO_FILE);
    CloseArchive(handle);
}

TEST(EntryDescription, StoredNamesEndingInHalfACharacterAreRefused)
{
    // In code page 936 0x81 leads a double-byte character; 0xB0 0xA1 is one.
    const std::vector<TestEntry> entries{
        FileEntry("Tavix.exe\x81", Bytes("1")), FileEntry("\xB0\xA1\x81", Bytes("2")),
        FileEntry("x\x81\x81", Bytes("3")), FileEntry("\xB0\xA1", Bytes("4"))};
    ProgramFolderScope folder;
    {
        CodePageScope gbk(936);
        ASSERT_TRUE(gbk.Ok());
        ArchiveHandle* handle = folder.Open(entries);
        ASSERT_NE(handle, nullptr);
        ArchiveEntry entry;
        EXPECT_EQ(GetArchiveEntry(handle, 0, &entry), RESULT_CORRUPT);
        EXPECT_EQ(ExtractArchiveEntry(handle, 0, "Tavix.exe"), RESULT_CORRUPT);
        EXPECT_EQ(GetArchiveEntry(handle, 1, &entry), RESULT_CORRUPT);
        for (int32_t whole : {2, 3}) {
            ASSERT_EQ(GetArchiveEntry(handle, whole, &entry), RESULT_OK) << whole;
            EXPECT_EQ(std::string(entry.name), entries[whole].name);
        }
        CloseArchive(handle);
        EXPECT_FALSE(std::filesystem::exists(folder.File("Tavix.exe")));
    }
    // Where 0x81 is a character of its own, the name is whole.
    CodePageScope singleByte(0);
    ArchiveHandle* handle = folder.Open(entries);
    ASSERT_NE(handle, nullptr);
    ArchiveEntry entry;
    ASSERT_EQ(GetArchiveEntry(handle, 0, &entry), RESULT_OK);
    EXPECT_STREQ(entry.name, "Tavix.exe\x81");
    CloseArchive(handle);
}

TEST(EntryDescription, DamagedHeadersAreReportedAndTheRecordKept)
{
    ProgramFolderScope folder;
    TestEntry wrongMethod = FileEntry("method", Bytes("abc"));
    wrongMethod.local.method = 0;
    TestEntry wrongSignature = FileEntry("signature", Bytes("abc"));
    wrongSignature.local.signature = 0x12345678;
    TestEntry extraPastEnd = FileEntry("extra", Bytes("abc"));
    extraPastEnd.local.extraLength = 0xFFF0;
    ZipOptions options;
    ArchiveHandle* handle = folder.Open(
        {wrongMethod, wrongSignature, FileEntry("fine", Bytes("ok")), extraPastEnd}, options);
    ASSERT_NE(handle, nullptr);
    ArchiveEntry entry;
    ASSERT_EQ(GetArchiveEntry(handle, 2, &entry), RESULT_OK);
    const ArchiveEntry good = entry;
    EXPECT_EQ(handle->reader->GetEntry(0, &entry), RESULT_CORRUPT);
    EXPECT_EQ(handle->reader->GetEntry(1, &entry), RESULT_CORRUPT);
    EXPECT_EQ(handle->reader->GetEntry(3, &entry), RESULT_READ);
    EXPECT_EQ(std::memcmp(&entry, &good, sizeof entry), 0);
    EXPECT_EQ(handle->reader->cachedEntryIndex, 2);
    CloseArchive(handle);
}

// A header that is damaged after the open (the open refuses an archive whose
// directory does not add up): reached through a source over damaged bytes.
TEST(EntryDescription, BrokenCentralDirectoryStopsTheWalk)
{
    ProgramFolderScope folder;
    const std::vector<TestEntry> entries{FileEntry("a", Bytes("1")), FileEntry("b", Bytes("2")),
                                         FileEntry("c", Bytes("3"))};
    ZipLayout layout{};
    ByteVector damaged = BuildZip(entries, {}, &layout);
    damaged[layout.entries[1].centralHeaderPos] = 0x51;
    ArchiveHandle* handle = folder.Open(entries);
    ASSERT_NE(handle, nullptr);
    ByteSource* real = handle->reader->directory->source;
    SourcePtr memory(NewMemorySource(damaged));
    handle->reader->directory->source = memory.get();
    ArchiveEntry entry;
    EXPECT_EQ(GetArchiveEntry(handle, 2, &entry), RESULT_CORRUPT);
    EXPECT_EQ(GetArchiveEntry(handle, 1, &entry), RESULT_CORRUPT);
    EXPECT_EQ(GetArchiveEntry(handle, 0, &entry), RESULT_OK) << "the walk recovers from the start";
    EXPECT_STREQ(entry.name, "a");
    handle->reader->directory->source = real;
    CloseArchive(handle);
}

}  // namespace
