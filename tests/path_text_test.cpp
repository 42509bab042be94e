// Splitting names on character boundaries: in code page 936 the trail byte
// of a double-byte character can be 0x5C, which is no separator there.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/path_text.h"
#include "support/archive_fixture.h"
#include "support/code_page_scope.h"

namespace fs = std::filesystem;

namespace {

const char kDataWithTrail5C[] = "data\x81\\";  // "data乗": its last byte is 0x5C
const char kTrail5CFirst[] = "\x81\\.txt";     // "乗.txt"
const char kTrail5CSecond[] =
    "\xE5\\\xC0"
    "C.txt";  // "錦繡.txt"
const char kTrail5CInside[] =
    "a\x81\\"
    "b.txt";  // "a乗b.txt"

TEST(PathText, TrailBytesNeverSeparateInCodePage936)
{
    CodePageScope gbk(936);
    ASSERT_TRUE(gbk.Ok());
    EXPECT_FALSE(EndsWithSeparator(kDataWithTrail5C));
    EXPECT_EQ(FindLastSeparator(kTrail5CFirst), nullptr);
    EXPECT_STREQ(FindFilePart("dir/a\x81\\"
                              "b.txt"),
                 "a\x81\\"
                 "b.txt");
    EXPECT_STREQ(FindFilePart("dir\\x\x81\\"), "x\x81\\") << "a real separator still splits";
    EXPECT_FALSE(HasParentComponent("\x81\\../x")) << "the component is the character and \"..\"";
    EXPECT_TRUE(HasParentComponent("\x81\\/../x"));
    {
        CodePageScope singleByte(0);
        EXPECT_TRUE(EndsWithSeparator(kDataWithTrail5C));
        EXPECT_TRUE(HasParentComponent("\x81\\../x"));
    }
}

TEST(PathText, NamesWithTrail5CAreFilesWithoutStrayFolders)
{
    CodePageScope gbk(936);
    ASSERT_TRUE(gbk.Ok());
    ProgramFolderScope folder;
    const std::string names[] = {kDataWithTrail5C, kTrail5CFirst, kTrail5CSecond, kTrail5CInside};
    std::vector<TestEntry> entries;
    for (const std::string& name : names) entries.push_back(FileEntry(name, Bytes(name)));
    ArchiveHandle* handle = folder.Open(entries);
    ASSERT_NE(handle, nullptr);
    for (int32_t i = 0; i < 4; ++i) {
        ArchiveEntry entry;
        ASSERT_EQ(GetArchiveEntry(handle, i, &entry), RESULT_OK) << i;
        EXPECT_EQ(ExtractArchiveEntry(handle, i, entry.name), RESULT_OK) << i;
    }
    CloseArchive(handle);
    size_t files = 0;
    for (const auto& item : fs::directory_iterator(folder.Path())) {
        if (item.path().filename() == "update.zip") continue;
        EXPECT_FALSE(item.is_directory()) << "stray folder " << item.path();
        ++files;
    }
    EXPECT_EQ(files, 4u);
    for (const std::string& name : names) {
        // Opened by its narrow name, in the code page's own bytes.
        std::ifstream in(folder.Path().string() + "/" + name, std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        EXPECT_EQ(content, name);
    }
}

}  // namespace
