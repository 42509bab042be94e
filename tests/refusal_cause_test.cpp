#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_handle.h"
#include "archive/refusal_cause.h"
#include "checker/entry_verdict.h"
#include "support/archive_fixture.h"

namespace {

struct Refusal {
    RefusalCause cause;
    int32_t result;
};

bool operator==(const Refusal& a, const Refusal& b)
{
    return a.cause == b.cause && a.result == b.result;
}

std::ostream& operator<<(std::ostream& out, const Refusal& refusal)
{
    return out << "{cause " << refusal.cause << ", result 0x" << std::hex << refusal.result
               << std::dec << "}";
}

// One entry's turn as the update run takes it, and the cause the reader
// kept with the result of the step that decided.
Refusal TakeTurn(ArchiveHandle* handle, int32_t index)
{
    ArchiveEntry entry{};
    const int32_t described = GetArchiveEntry(handle, index, &entry);
    if (described != RESULT_OK) return {FindRefusalCause(handle), described};
    const int32_t extracted = ExtractArchiveEntry(handle, index, entry.name);
    return {FindRefusalCause(handle), extracted};
}

TestEntry Entry(const std::string& name, const std::string& data = "data", uint16_t method = 8)
{
    return FileEntry(name, Bytes(data), method);
}

}  // namespace

// The cause the reader records for a refusal is the one the checker words;
// the result the handle gives must be the one that cause stands for, and
// both stay what they are for each kind of refusal.
TEST(RefusalCause, EachRefusalRecordsTheCauseItsResultStandsFor)
{
    ProgramFolderScope folder;
    WriteFileBytes(folder.File("cache"), Bytes("a file"));
    std::filesystem::create_directories(folder.File("plugins/x.dll"));
    WriteFileBytes(folder.File("locked.txt"), Bytes("the old version"));
    ASSERT_TRUE(SetFileAttributesA((folder / "locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));

    TestEntry disagreeing = Entry("disagree.txt");
    disagreeing.localName = "d.txt";
    TestEntry invalidUtf8 = Entry("bad\xFF.txt");
    invalidUtf8.flags = kFlagUtf8Name;
    TestEntry encrypted = Entry("secret.txt");
    encrypted.password = "password";
    TestEntry wrongCrc = Entry("crc.txt");
    wrongCrc.crc = 0x12345678;
    TestEntry damaged = Entry("damaged.bin");
    damaged.payload = Bytes("\xFF\xFF\xFF\xFF");
    const ByteVector content = PseudoRandomBytes(4000, 7);
    TestEntry shortStored = FileEntry("short.bin", content, 0);
    shortStored.payload = ByteVector(content.begin(), content.begin() + 1000);

    const std::vector<std::pair<TestEntry, Refusal>> cases{
        {Entry("good.txt"), {CAUSE_NONE, RESULT_OK}},
        {Entry("packed.bz2", "data", 12), {CAUSE_UNKNOWN_METHOD, RESULT_CORRUPT}},
        {disagreeing, {CAUSE_HEADERS_DISAGREE, RESULT_CORRUPT}},
        {Entry(std::string("zero\0.txt", 9)), {CAUSE_NAME_HAS_ZERO, RESULT_CORRUPT}},
        {invalidUtf8, {CAUSE_INVALID_UTF8, RESULT_CORRUPT}},
        {Entry(std::string(300, 'n')), {CAUSE_NAME_TOO_LONG, RESULT_NO_FILE}},
        {encrypted, {CAUSE_WRONG_PASSWORD, RESULT_PASSWORD}},
        {wrongCrc, {CAUSE_CRC_MISMATCH, RESULT_CORRUPT}},
        {damaged, {CAUSE_DEFLATE_DAMAGED, RESULT_INFLATE}},
        {shortStored, {CAUSE_DATA_ENDS_SHORT, RESULT_INFLATE}},
        {Entry("../evil.txt"), {CAUSE_PARENT_COMPONENT, RESULT_ARGS}},
        {Entry("bin/nul"), {CAUSE_DEVICE_NAME, RESULT_NO_FILE}},
        {Entry("~tvx.mine"), {CAUSE_OWN_NAME, RESULT_NO_FILE}},
        {Entry("good.txt"), {CAUSE_WRITTEN_BEFORE, RESULT_NO_FILE}},
        {Entry("cache/index.bin"), {CAUSE_FILE_FOR_FOLDER, RESULT_NO_FILE}},
        {Entry("plugins/x.dll"), {CAUSE_FOLDER_TARGET, RESULT_NO_FILE}},
        {Entry("locked.txt"), {CAUSE_READ_ONLY_TARGET, RESULT_NO_FILE}},
        {Entry("update.zip"), {CAUSE_IS_THE_ARCHIVE, RESULT_NO_FILE}},
    };
    std::vector<TestEntry> entries;
    for (const auto& [entry, refusal] : cases) entries.push_back(entry);
    ArchiveHandle* handle = folder.Open(entries);
    ASSERT_NE(handle, nullptr);
    for (int32_t i = 0; i < int32_t(cases.size()); ++i) {
        const Refusal refusal = TakeTurn(handle, i);
        EXPECT_EQ(refusal, cases[i].second) << cases[i].first.name;
        EXPECT_EQ(ResultOfCause(refusal.cause), refusal.result) << cases[i].first.name;
    }
    CloseArchive(handle);
}

// Every cause has the checker's words; a cause that does not give the
// result it came with is not worded as if it did.
TEST(RefusalCause, CheckerWordsEveryCauseWithItsOwnResult)
{
    const std::string fallback = "the updater refuses it";
    char reason[kReasonSize];
    for (int32_t code = CAUSE_NOT_OPEN; code <= CAUSE_CANNOT_WRITE; ++code) {
        const RefusalCause cause = RefusalCause(code);
        DescribeRefusal(ResultOfCause(cause), cause, 12, reason);
        EXPECT_NE(std::string(reason).rfind(fallback, 0), 0u) << code;
    }
    DescribeRefusal(RESULT_WRITE, CAUSE_READ_ONLY_TARGET, 8, reason);
    EXPECT_EQ(std::string(reason), fallback + " (result 0x400)");
}
