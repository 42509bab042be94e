// Names stored as UTF-8 (bit 11, or a Unicode Path block) reach the system's
// ANSI code page; what cannot get there whole is refused, never garbled.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "../archive/name_encoding.h"
#include "support/archive_fixture.h"
#include "support/code_page_scope.h"

namespace {

const std::string kChineseUtf8 = "\xE8\xB5\x84\xE6\xBA\x90/\xE8\xAF\xB4\xE6\x98\x8E.txt";
const std::string kChineseGbk = "\xD7\xCA\xD4\xB4/\xCB\xB5\xC3\xF7.txt";  // 资源/说明.txt
const std::string kEmojiUtf8 = "\xF0\x9F\x98\x80.txt";                    // U+1F600: four bytes

TestEntry Utf8Entry(const std::string& name)
{
    TestEntry entry = FileEntry(name, Bytes("x"));
    entry.flags = 0x0800;
    return entry;
}

TestEntry EntryWithUnicodePath(const std::string& stored, const std::string& utf8,
                               std::optional<uint32_t> crc = std::nullopt)
{
    TestEntry entry = FileEntry(stored, Bytes("x"));
    entry.centralExtra = UnicodePathExtra(stored, utf8, crc);
    return entry;
}

struct Described {
    int32_t result;
    std::string name;
};

// Each entry's description result and name, in order.
std::vector<Described> DescribeAll(const std::vector<TestEntry>& entries)
{
    ProgramFolderScope folder;
    ArchiveHandle* handle = folder.Open(entries);
    std::vector<Described> described;
    for (int32_t i = 0; i < int32_t(entries.size()); ++i) {
        ArchiveEntry entry{};
        const int32_t result = GetArchiveEntry(handle, i, &entry);
        described.push_back({result, result == RESULT_OK ? entry.name : ""});
    }
    CloseArchive(handle);
    return described;
}

std::string Repeated(const std::string& character, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i) text += character;
    return text;
}

TEST(EntryNameEncoding, FlaggedNamesArriveInCodePage936OrAreRefused)
{
    CodePageScope gbk(936);
    ASSERT_TRUE(gbk.Ok());
    ASSERT_TRUE(gbk.AnsiFollows()) << "the tests need a code page 936 system, not " << GetACP();
    const std::vector<Described> described = DescribeAll({
        Utf8Entry(kChineseUtf8),
        FileEntry(kChineseGbk, Bytes("x")),  // no flag: the bytes as stored
        Utf8Entry(kEmojiUtf8),               // no code in 936, and no look-alike taken
        Utf8Entry("bad\xC3(.txt"),           // a lead byte without its continuation
        Utf8Entry("dir\xC0\xAF"
                  "file"),              // an overlong '/', which must not separate
        Utf8Entry("\xED\xA0\x80.txt"),  // a UTF-16 surrogate, which UTF-8 never holds
    });
    ASSERT_EQ(described.size(), 6u);
    EXPECT_EQ(described[0].result, RESULT_OK);
    EXPECT_EQ(described[0].name, kChineseGbk);
    EXPECT_EQ(described[1].result, RESULT_OK);
    EXPECT_EQ(described[1].name, kChineseGbk);
    EXPECT_EQ(described[2].result, RESULT_NO_FILE);
    for (size_t i = 3; i < 6; ++i) EXPECT_EQ(described[i].result, RESULT_CORRUPT) << i;
}

TEST(EntryNameEncoding, UnderAUtf8CodePageFlaggedNamesStayAsStored)
{
    CodePageScope utf8(65001);
    if (!utf8.AnsiFollows()) GTEST_SKIP() << "the system's code page is " << GetACP();
    const std::vector<Described> described =
        DescribeAll({Utf8Entry(kChineseUtf8), Utf8Entry(kEmojiUtf8), Utf8Entry("bad\xC3(.txt")});
    EXPECT_EQ(described[0].name, kChineseUtf8);
    EXPECT_EQ(described[1].name, kEmojiUtf8);
    EXPECT_EQ(described[2].result, RESULT_CORRUPT);
}

TEST(EntryNameEncoding, AUnicodePathBlockNamesOnlyTheStoredNameItWasMadeFor)
{
    CodePageScope gbk(936);
    ASSERT_TRUE(gbk.AnsiFollows()) << "the tests need a code page 936 system, not " << GetACP();
    // 100 characters: 300 bytes as UTF-8, 200 in code page 936, so the name
    // fits only once converted; 130 take 260 bytes even there.
    const std::string fitsConverted = Repeated("\xE8\xB5\x84", 100);
    const std::string tooLong = Repeated("\xE8\xB5\x84", 130);
    const std::vector<Described> described = DescribeAll({
        EntryWithUnicodePath("____/__.txt", kChineseUtf8),
        EntryWithUnicodePath("stored.txt", kChineseUtf8, 0x12345678),  // changed since
        EntryWithUnicodePath("short.txt", fitsConverted),
        EntryWithUnicodePath("long.txt", tooLong),
        EntryWithUnicodePath("bad.txt", "bad\xC3(.txt"),
    });
    EXPECT_EQ(described[0].name, kChineseGbk);
    EXPECT_EQ(described[1].name, "stored.txt");
    EXPECT_EQ(described[2].name, Repeated("\xD7\xCA", 100));
    EXPECT_EQ(described[3].result, RESULT_NO_FILE);
    EXPECT_EQ(described[4].result, RESULT_CORRUPT);
}

// What the checker tells an integrator: an unflagged name as the updater
// reads it on a Chinese and on a Western Windows.
TEST(EntryNameEncoding, AnUnflaggedNameReadInAnotherSystemsCodePage)
{
    CodePageScope utf8(65001);
    if (!utf8.AnsiFollows()) GTEST_SKIP() << "the system's code page is " << GetACP();
    const std::string upgradeUtf8 = "\xE5\x8D\x87\xE7\xBA\xA7.txt";  // 升级.txt
    struct Case {
        UINT codePage;
        std::string stored;
        RefusalCause cause;
        std::string name;
    };
    const Case cases[] = {
        {936, upgradeUtf8, CAUSE_NONE, "\xE9\x8D\x97\xE5\x9B\xA9\xE9\xAA\x87.txt"},  // 鍗囩骇
        {936, "Caf\xE9.txt", CAUSE_INVALID_LEGACY_NAME, ""},  // 0xE9 leads, '.' cannot follow it
        {1252, kChineseGbk, CAUSE_NONE,
         "\xC3\x97\xC3\x8A\xC3\x94\xC2\xB4/\xC3\x8B\xC2\xB5\xC3\x83\xC3\xB7.txt"},
        // The euro sign, and an unassigned byte Windows keeps as its C1 control.
        {1252, "\x80\x81", CAUSE_NONE, "\xE2\x82\xAC\xC2\x81"},
    };
    for (const Case& c : cases) {
        char name[MAX_PATH];
        EXPECT_EQ(
            ConvertLegacyNameFrom(c.codePage, c.stored.data(), uint32_t(c.stored.size()), name),
            c.cause)
            << c.stored;
        EXPECT_EQ(std::string(name), c.name) << c.stored;
    }
}

}  // namespace
