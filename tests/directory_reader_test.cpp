#include "zip/directory_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/memory_source.h"
#include "support/real_archives.h"
#include "support/scratch_folder.h"
#include "support/zip_builder.h"

namespace {

TestEntry MakeEntry(const std::string& name, const std::string& text, uint16_t method = 0)
{
    return FileEntry(name, Bytes(text), method);
}

std::string CurrentName(DirectoryReader* reader)
{
    char name[MAX_PATH] = {};
    EXPECT_EQ(ReadCentralHeader(reader, nullptr, nullptr, name, sizeof name), READER_OK);
    return name;
}

TEST(DirectoryReaderTest, EmptyArchiveOfTwentyTwoBytes)
{
    const ByteVector bytes = BuildZip({});
    ASSERT_EQ(bytes.size(), 22u);
    MemoryDirectory reader(bytes);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->entryCount, 0u);
    EXPECT_EQ(reader->archiveStart, 0u);
    EXPECT_EQ(reader->endRecordPos, 0u);
    // The directory offset points at the end record's own signature.
    EXPECT_FALSE(reader->currentValid);
    EXPECT_EQ(GoToNextEntry(reader.get()), READER_END_OF_LIST);
    EXPECT_EQ(GoToFirstEntry(reader.get()), READER_BAD_ARCHIVE);
}

TEST(DirectoryReaderTest, EndRecordIsFoundBehindCommentsUpToTheSearchLimit)
{
    // The search reads the last 65535 bytes whole: 65513 puts the signature
    // at its very start, 65514 one byte before it.
    for (size_t commentSize : {0u, 1u, 1002u, 1006u, 1007u, 1008u, 2000u, 4096u, 65513u}) {
        ZipOptions options;
        options.comment = RepeatedText(commentSize);
        const ByteVector bytes = BuildZip({MakeEntry("a.txt", "alpha")}, options);
        MemoryDirectory reader(bytes);
        ASSERT_NE(reader, nullptr) << commentSize;
        EXPECT_EQ(reader->endRecordPos, bytes.size() - 22 - commentSize) << commentSize;
        EXPECT_EQ(reader->archiveCommentSize, commentSize);
        EXPECT_EQ(reader->entryCount, 1u);
        EXPECT_TRUE(reader->currentValid);
    }
    for (size_t commentSize : {65514u, 70000u}) {
        ZipOptions options;
        options.comment = RepeatedText(commentSize);
        const ByteVector bytes = BuildZip({MakeEntry("a.txt", "alpha")}, options);
        EXPECT_EQ(MemoryDirectory(bytes), nullptr) << commentSize;
    }
}

// The fault CheckDirectory finds in `bytes`, with what it read.
DirectoryFault CheckBytes(const ByteVector& bytes, DirectoryCheck* check)
{
    return CheckDirectory(SourcePtr(NewMemorySource(bytes)).get(), check);
}

TEST(DirectoryReaderTest, TheEndRecordIsTheOneWhoseCommentReachesTheEnd)
{
    const std::vector<TestEntry> entries = {MakeEntry("a.txt", "alpha")};
    ZipLayout layout{};
    const ByteVector plain = BuildZip(entries, {}, &layout);
    const ByteVector emptyRecord = EndRecordBytes(0, 0, 0, 0);
    DirectoryCheck check{};

    // An end record of an empty archive hidden in the comment, alone or
    // after other text; and a whole second directory with its end record.
    ByteVector fakeArchive(plain.begin() + layout.directoryPos,
                           plain.begin() + layout.endRecordPos);
    const ByteVector fakeRecord = EndRecordBytes(1, layout.directorySize, 0, 0);
    fakeArchive.insert(fakeArchive.end(), fakeRecord.begin(), fakeRecord.end());
    ByteVector padded = Bytes("padding");
    padded.insert(padded.end(), emptyRecord.begin(), emptyRecord.end());
    for (const ByteVector& comment : {emptyRecord, padded, fakeArchive}) {
        ZipOptions options;
        options.comment = comment;
        const ByteVector bytes = BuildZip(entries, options);
        MemoryDirectory reader(bytes);
        ASSERT_NE(reader, nullptr) << comment.size();
        EXPECT_EQ(reader->endRecordPos, layout.endRecordPos) << comment.size();
        EXPECT_EQ(reader->entryCount, 1u);
        EXPECT_EQ(reader->archiveCommentSize, comment.size());
        EXPECT_EQ(FindEndRecord(SourcePtr(NewMemorySource(bytes)).get()), layout.endRecordPos);
    }

    // Bytes after the comment of the only end record are counted, not
    // refused; with an end record signature among them no end record reaches
    // the end, and no empty archive appended to another is believed,
    // wherever it says it starts.
    ZipOptions junk;
    junk.trailer = ByteVector(10, 0);
    EXPECT_EQ(CheckBytes(BuildZip(entries, junk), &check), DirectoryFault::None);
    EXPECT_EQ(check.bytesAfterComment, 10u);
    junk.trailer.insert(junk.trailer.end(), {0x50, 0x4B, 0x05, 0x06});
    EXPECT_EQ(CheckBytes(BuildZip(entries, junk), &check), DirectoryFault::EndRecordNotAtEnd);
    for (uint32_t offset : {0u, layout.endRecordPos + 22}) {
        ZipOptions appended;
        appended.trailer = EndRecordBytes(0, 0, offset, 0);
        EXPECT_EQ(CheckBytes(BuildZip(entries, appended), &check),
                  DirectoryFault::NoDirectoryAtEndRecord)
            << offset;
    }
    ZipOptions longComment;
    longComment.commentLength = 5;
    EXPECT_EQ(CheckBytes(BuildZip(entries, longComment), &check),
              DirectoryFault::EndRecordNotAtEnd);
    EXPECT_EQ(check.bytesAfterComment, 0u) << "the comment runs past the end";
    EXPECT_EQ(CheckBytes(PseudoRandomBytes(3000, 9), &check), DirectoryFault::NoEndRecord);

    // An empty archive is its end record alone, with or without a comment.
    ZipOptions commented;
    commented.comment = Bytes("nothing in here");
    for (const ByteVector& empty : {BuildZip({}), BuildZip({}, commented)}) {
        MemoryDirectory reader(empty);
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->entryCount, 0u);
    }
}

TEST(DirectoryReaderTest, TinyFilesNeverOpen)
{
    const ByteVector record = EndRecordBytes(0, 0, 0, 0);
    for (size_t size = 0; size < record.size(); ++size) {
        const ByteVector bytes(record.begin(), record.begin() + size);
        ByteSource* source = NewMemorySource(bytes);
        EXPECT_EQ(FindEndRecord(source), kEndRecordNotFound) << size;
        EXPECT_EQ(OpenDirectory(source), nullptr) << size;
    }
    EXPECT_EQ(OpenDirectory(nullptr), nullptr);
    // A record found at position 0 is a find.
    EXPECT_EQ(FindEndRecord(SourcePtr(NewMemorySource(record)).get()), 0u);
}

TEST(DirectoryReaderTest, DataBeforeTheArchiveWithAndWithoutAdjustedOffsets)
{
    const std::vector<TestEntry> entries = {MakeEntry("one.txt", "first entry"),
                                            MakeEntry("two.txt", "second entry", 8)};
    for (bool adjusted : {false, true}) {
        ZipOptions options;
        options.prefix = PseudoRandomBytes(777, 3);
        options.offsetsFromFileStart = adjusted;
        const ByteVector bytes = BuildZip(entries, options);
        MemoryDirectory reader(bytes);
        ASSERT_NE(reader, nullptr) << adjusted;
        EXPECT_EQ(reader->archiveStart, adjusted ? 0u : 777u);
        EXPECT_EQ(reader->source->startOffset, 0u);
        EXPECT_EQ(CurrentName(reader.get()), "one.txt");
        LocalHeaderLayout layout{};
        EXPECT_EQ(CheckLocalHeader(reader.get(), &layout), READER_OK);
        ASSERT_EQ(GoToNextEntry(reader.get()), READER_OK);
        EXPECT_EQ(CurrentName(reader.get()), "two.txt");
        EXPECT_EQ(CheckLocalHeader(reader.get(), &layout), READER_OK);
    }
}

TEST(DirectoryReaderTest, SpannedOrInconsistentEndRecordsAreRefused)
{
    const std::vector<TestEntry> entries = {MakeEntry("a.txt", "alpha")};
    ZipLayout layout{};
    BuildZip(entries, {}, &layout);
    std::vector<std::pair<ZipOptions, DirectoryFault>> refused(7);
    refused[0].first.thisDisk = 1;
    refused[1].first.directoryDisk = 1;
    refused[2].first.entriesOnDisk = 2;
    refused[3].first.totalEntries = 2;
    for (int i = 0; i < 4; ++i) refused[i].second = DirectoryFault::SpansDisks;
    refused[4].first.directoryOffset = layout.directoryPos + 1;  // ends past the end record
    refused[4].second = DirectoryFault::DirectoryPastEndRecord;
    refused[5].first.directorySize = layout.directorySize + 1;
    refused[5].second = DirectoryFault::NoDirectoryAtEndRecord;
    // Offset and size that wrap round 2^32 to a small sum.
    refused[6].first.directoryOffset = 0xFFFFFFF0u;
    refused[6].first.directorySize = 0x20u;
    refused[6].second = DirectoryFault::NoDirectoryAtEndRecord;
    for (size_t i = 0; i < refused.size(); ++i) {
        const ByteVector bytes = BuildZip(entries, refused[i].first);
        EXPECT_EQ(MemoryDirectory(bytes), nullptr) << i;
        DirectoryCheck check{};
        EXPECT_EQ(CheckBytes(bytes, &check), refused[i].second) << i;
    }
    // The directory must end where the end record begins.
    ZipOptions gap;
    gap.afterDirectory = ByteVector(10, 0);
    EXPECT_EQ(MemoryDirectory(BuildZip(entries, gap)), nullptr);
}

TEST(DirectoryReaderTest, DirectoriesThatDisagreeWithTheirEndRecordAreRefused)
{
    const std::vector<TestEntry> two = {MakeEntry("a.txt", "alpha"), MakeEntry("b.txt", "beta")};
    struct Case {
        const char* what;
        ZipOptions options;
        std::vector<TestEntry> entries;
        DirectoryFault fault;
        uint32_t headersFound;
    };
    std::vector<Case> cases;
    for (uint16_t count : {0, 1, 3, 0xFFFF}) {
        Case c{"count", {}, two, DirectoryFault::CountDisagrees, 2};
        c.options.entriesOnDisk = count;
        c.options.totalEntries = count;
        cases.push_back(c);
    }
    ZipLayout layout{};
    BuildZip(two, {}, &layout);
    Case junk{"junk after the last header", {}, two, DirectoryFault::DirectoryEndDisagrees, 2};
    junk.options.afterDirectory = ByteVector(10, 0);
    junk.options.directorySize = layout.directorySize + 10;
    cases.push_back(junk);
    Case damaged{"second header damaged", {}, two, DirectoryFault::HeaderDamaged, 1};
    damaged.entries[1].central.signature = 0x02014B51;
    cases.push_back(damaged);
    Case runaway{"name runs past the directory", {}, two, DirectoryFault::DirectoryEndDisagrees, 1};
    runaway.entries[0].central.nameLength = 0xFFFF;
    cases.push_back(runaway);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ByteVector bytes = BuildZip(c.entries, c.options);
        DirectoryCheck check{};
        EXPECT_EQ(CheckBytes(bytes, &check), c.fault);
        EXPECT_EQ(check.headersFound, c.headersFound);
        EXPECT_EQ(MemoryDirectory(bytes), nullptr);
    }
    // The count a record can hold, walked in full.
    std::vector<TestEntry> many(0xFFFF, MakeEntry("", ""));
    DirectoryCheck check{};
    EXPECT_EQ(CheckBytes(BuildZip(many), &check), DirectoryFault::None);
    EXPECT_EQ(check.headersFound, 0xFFFFu);
}

TEST(DirectoryReaderTest, LongNamesFillTheBufferWithoutTerminator)
{
    for (size_t length : {259u, 260u, 300u}) {
        TestEntry entry = MakeEntry(std::string(length, 'n'), "x");
        entry.name[0] = 'A';
        entry.name[length - 1] = 'Z';
        MemoryDirectory reader(BuildZip({entry}));
        ASSERT_NE(reader, nullptr);
        char buffer[MAX_PATH + 1];
        std::memset(buffer, '#', sizeof buffer);
        EntryInfo info{};
        ASSERT_EQ(ReadCentralHeader(reader.get(), &info, nullptr, buffer, MAX_PATH), READER_OK);
        EXPECT_EQ(info.nameSize, length);
        EXPECT_EQ(buffer[0], 'A');
        if (length < MAX_PATH) {
            EXPECT_EQ(std::string(buffer), entry.name);
        } else {
            EXPECT_EQ(std::string(buffer, MAX_PATH), entry.name.substr(0, MAX_PATH));
        }
        // Nothing is ever written past the buffer's size.
        EXPECT_EQ(buffer[MAX_PATH], '#');
    }
    // A short name is terminated right after it; a zero-size buffer is not touched.
    MemoryDirectory reader(BuildZip({MakeEntry("short", "x")}));
    ASSERT_NE(reader, nullptr);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(ReadCentralHeader(reader.get(), nullptr, nullptr, buffer, 6), READER_OK);
    EXPECT_EQ(std::string(buffer), "short");
    EXPECT_EQ(buffer[6], '#');
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(ReadCentralHeader(reader.get(), nullptr, nullptr, buffer, 5), READER_OK);
    EXPECT_EQ(std::string(buffer, 6), "short#");
    ASSERT_EQ(ReadCentralHeader(reader.get(), nullptr, nullptr, buffer, 0), READER_OK);
    EXPECT_EQ(buffer[0], 's');
    EXPECT_EQ(ReadCentralHeader(nullptr, nullptr, nullptr, buffer, 8), READER_PARAM_ERROR);
}

TEST(DirectoryReaderTest, WalkReadsEveryCentralField)
{
    TestEntry first = MakeEntry("first.txt", "first", 0);
    first.centralExtra = ExtendedTimestampExtra(1, {1700000000});
    first.localExtra = ExtendedTimestampExtra(3, {1700000000, 1700000001});
    first.comment = "an entry comment";
    first.versionMadeBy = (3 << 8) | 30;
    first.externalAttributes = 0x81A40000u;
    first.internalAttributes = 1;
    first.dosTime = 0x1234;
    first.dosDate = 0x5678;
    TestEntry second = MakeEntry("dir/", "", 0);
    second.versionMadeBy = (10 << 8) | 20;
    second.externalAttributes = 0x10;
    TestEntry third = MakeEntry("third.bin", "third entry, deflated", 8);
    third.flags = 0x0800;
    ZipOptions options;
    options.comment = Bytes("archive comment");
    ZipLayout layout{};
    MemoryDirectory reader(BuildZip({first, second, third}, options, &layout));
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->entryCount, 3u);
    EXPECT_EQ(reader->directoryOffset, layout.directoryPos);
    EXPECT_EQ(reader->directorySize, layout.directorySize);

    const EntryInfo& info = reader->currentInfo;
    EXPECT_EQ(reader->currentIndex, 0);
    EXPECT_EQ(info.versionMadeBy, 0x031Eu);
    EXPECT_EQ(info.versionNeeded, 20u);
    EXPECT_EQ(info.dosDateTime, 0x56781234u);
    EXPECT_EQ(info.crc, Crc32Of(Bytes("first")));
    EXPECT_EQ(info.compressedSize, 5u);
    EXPECT_EQ(info.uncompressedSize, 5u);
    EXPECT_EQ(info.nameSize, 9u);
    EXPECT_EQ(info.extraSize, 9u);
    EXPECT_EQ(info.commentSize, 16u);
    EXPECT_EQ(info.internalAttributes, 1u);
    EXPECT_EQ(info.externalAttributes, 0x81A40000u);
    EXPECT_EQ(reader->localHeaderOffset, layout.entries[0].localHeaderPos);

    ASSERT_EQ(GoToNextEntry(reader.get()), READER_OK);
    EXPECT_EQ(reader->currentHeaderPos, layout.entries[1].centralHeaderPos);
    EXPECT_EQ(CurrentName(reader.get()), "dir/");
    EXPECT_EQ(info.versionMadeBy, 0x0A14u);
    EXPECT_EQ(info.externalAttributes, 0x10u);

    ASSERT_EQ(GoToNextEntry(reader.get()), READER_OK);
    EXPECT_EQ(CurrentName(reader.get()), "third.bin");
    EXPECT_EQ(info.method, 8u);
    EXPECT_EQ(info.flags, 0x0800u);
    EXPECT_EQ(info.uncompressedSize, 21u);
    EXPECT_EQ(reader->localHeaderOffset, layout.entries[2].localHeaderPos);

    // At the last entry nothing moves.
    const uint32_t headerPos = reader->currentHeaderPos;
    EXPECT_EQ(GoToNextEntry(reader.get()), READER_END_OF_LIST);
    EXPECT_EQ(reader->currentIndex, 2);
    EXPECT_EQ(reader->currentHeaderPos, headerPos);
    EXPECT_TRUE(reader->currentValid);

    ASSERT_EQ(GoToFirstEntry(reader.get()), READER_OK);
    EXPECT_EQ(CurrentName(reader.get()), "first.txt");
    EXPECT_EQ(GoToFirstEntry(nullptr), READER_PARAM_ERROR);
    EXPECT_EQ(GoToNextEntry(nullptr), READER_PARAM_ERROR);
}

TEST(DirectoryReaderTest, DamagedCentralHeaderLeavesTheEntryInvalid)
{
    ZipLayout layout{};
    MemoryDirectory reader(BuildZip(
        {MakeEntry("first.txt", "one"), MakeEntry("second.txt", "two"), MakeEntry("third", "3")},
        {}, &layout));
    ASSERT_NE(reader, nullptr);
    ASSERT_TRUE(reader->currentValid);
    const EntryInfo firstInfo = reader->currentInfo;
    const uint32_t firstOffset = reader->localHeaderOffset;
    reader.bytes()[layout.entries[1].centralHeaderPos] = 0x51;

    EXPECT_EQ(GoToNextEntry(reader.get()), READER_BAD_ARCHIVE);
    EXPECT_FALSE(reader->currentValid);
    EXPECT_EQ(reader->currentIndex, 1);
    // No destination was written: the first entry's fields remain.
    EXPECT_EQ(reader->currentInfo.crc, firstInfo.crc);
    EXPECT_EQ(reader->currentInfo.nameSize, firstInfo.nameSize);
    EXPECT_EQ(reader->localHeaderOffset, firstOffset);
    EntryInfo untouched{};
    untouched.crc = 0xDEADBEEF;
    char name[16] = "keep";
    EXPECT_EQ(ReadCentralHeader(reader.get(), &untouched, nullptr, name, sizeof name),
              READER_BAD_ARCHIVE);
    EXPECT_EQ(untouched.crc, 0xDEADBEEFu);
    EXPECT_STREQ(name, "keep");

    EXPECT_EQ(GoToNextEntry(reader.get()), READER_END_OF_LIST);
    EXPECT_EQ(reader->currentIndex, 1);
    ASSERT_EQ(GoToFirstEntry(reader.get()), READER_OK);
    EXPECT_TRUE(reader->currentValid);

    // A name that runs past the end of the data is a failed read.
    reader.bytes()[layout.entries[1].centralHeaderPos] = 0x50;
    ASSERT_EQ(GoToNextEntry(reader.get()), READER_OK);
    ASSERT_EQ(GoToNextEntry(reader.get()), READER_OK);
    reader.bytes()[layout.entries[2].centralHeaderPos + 28] = 0xFF;
    reader.bytes()[layout.entries[2].centralHeaderPos + 29] = 0xFF;
    char longName[MAX_PATH];
    EntryInfo info{};
    EXPECT_EQ(ReadCentralHeader(reader.get(), &info, nullptr, longName, sizeof longName),
              READER_ERRNO);
    EXPECT_EQ(info.nameSize, 0u);
}

TEST(DirectoryReaderTest, LocalHeaderChecks)
{
    struct Case {
        const char* what;
        TestEntry entry;
        int expected;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, int expected, auto change) {
        TestEntry entry = MakeEntry("name.txt", "some content for the entry", 8);
        change(entry);
        cases.push_back({what, entry, expected});
    };
    add("plain", READER_OK, [](TestEntry&) {});
    add("descriptor with zero local fields", READER_OK,
        [](TestEntry& e) { e.dataDescriptor = true; });
    add("zero local fields without bit 3", READER_BAD_ARCHIVE, [](TestEntry& e) {
        e.dataDescriptor = true;
        e.local.flags = 0;
    });
    add("bit 3 only locally excuses a wrong CRC", READER_OK, [](TestEntry& e) {
        e.local.flags = 8;
        e.local.crc = 1;
    });
    add("local CRC differs", READER_BAD_ARCHIVE, [](TestEntry& e) { e.local.crc = 1; });
    add("local compressed size differs", READER_BAD_ARCHIVE,
        [](TestEntry& e) { e.local.compressedSize = 3; });
    add("local uncompressed size differs", READER_BAD_ARCHIVE,
        [](TestEntry& e) { e.local.uncompressedSize = 3; });
    add("name length differs despite bit 3", READER_BAD_ARCHIVE, [](TestEntry& e) {
        e.dataDescriptor = true;
        e.localName = "name.txtx";
    });
    add("local method differs", READER_BAD_ARCHIVE, [](TestEntry& e) { e.local.method = 0; });
    add("both headers say method 12", READER_BAD_ARCHIVE, [](TestEntry& e) { e.method = 12; });
    add("stored in both", READER_OK, [](TestEntry& e) { e.method = 0; });
    add("wrong signature", READER_BAD_ARCHIVE,
        [](TestEntry& e) { e.local.signature = 0x04034B51; });
    add("local header offset past the end", READER_BAD_ARCHIVE,
        [](TestEntry& e) { e.central.localHeaderOffset = 0x100000; });
    add("longer local extra", READER_OK, [](TestEntry& e) {
        e.localExtra = ExtendedTimestampExtra(7, {1, 2, 3});
    });
    add("same name length, other bytes", READER_OK, [](TestEntry& e) { e.localName = "NAME.TXT"; });

    for (const Case& c : cases) {
        ZipLayout layout{};
        MemoryDirectory reader(BuildZip({c.entry}, {}, &layout));
        ASSERT_NE(reader, nullptr) << c.what;
        ASSERT_TRUE(reader->currentValid) << c.what;
        LocalHeaderLayout local{};
        EXPECT_EQ(CheckLocalHeader(reader.get(), &local), c.expected) << c.what;
    }
}

TEST(DirectoryReaderTest, LocalExtraFieldIsGivenByItsLocalLength)
{
    TestEntry entry = MakeEntry("abc.txt", "data", 0);
    entry.localExtra = ExtendedTimestampExtra(7, {1700000000, 1700000001, 1700000002});
    entry.centralExtra = ExtendedTimestampExtra(1, {1700000000});
    ZipOptions options;
    options.prefix = ByteVector(50, 0xEE);
    ZipLayout layout{};
    const ByteVector bytes = BuildZip({MakeEntry("before", "x"), entry}, options, &layout);
    MemoryDirectory reader(bytes);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(GoToNextEntry(reader.get()), READER_OK);
    EXPECT_EQ(reader->currentInfo.extraSize, 9u);
    LocalHeaderLayout local{};
    ASSERT_EQ(CheckLocalHeader(reader.get(), &local), READER_OK);
    EXPECT_EQ(local.localExtraSize, 17u);
    EXPECT_EQ(local.localVariableSize, 7u + 17u);
    EXPECT_EQ(local.extraOffset, layout.entries[1].localHeaderPos - 50 + 30 + 7);
    // The offset, with the archive's start, leads to the "UT" block.
    EXPECT_EQ(bytes[reader->archiveStart + local.extraOffset], 0x55);
    EXPECT_EQ(bytes[reader->archiveStart + local.extraOffset + 1], 0x54);
    EXPECT_EQ(CheckLocalHeader(nullptr, &local), READER_PARAM_ERROR);
}

TEST(DirectoryReaderTest, ArchivesMadeByRealTools)
{
    for (const RealArchive& archive : RealArchives()) {
        SCOPED_TRACE(archive.file);
        const std::string path = std::string(TEST_DATA_DIR) + "/" + archive.file;
        ByteSource* source = OpenByteSource(path.c_str());
        ASSERT_NE(source, nullptr);
        ReaderPtr reader(OpenDirectory(source));
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->archiveStart, archive.archiveStart);
        EXPECT_EQ(reader->archiveCommentSize, archive.commentSize);
        ASSERT_EQ(reader->entryCount, archive.entries.size());
        for (size_t i = 0; i < archive.entries.size(); ++i) {
            const RealEntry& expected = archive.entries[i];
            SCOPED_TRACE(expected.name);
            if (i > 0) {
                ASSERT_EQ(GoToNextEntry(reader.get()), READER_OK);
            }
            EntryInfo info{};
            char name[MAX_PATH] = {};
            ASSERT_EQ(ReadCentralHeader(reader.get(), &info, nullptr, name, sizeof name),
                      READER_OK);
            EXPECT_EQ(std::string(name), expected.name);
            EXPECT_EQ(info.method, expected.method);
            EXPECT_EQ(info.flags, expected.flags);
            EXPECT_EQ(info.compressedSize, expected.compressedSize);
            EXPECT_EQ(info.uncompressedSize, expected.uncompressedSize);
            EXPECT_EQ(info.crc, expected.crc);
            LocalHeaderLayout local{};
            EXPECT_EQ(CheckLocalHeader(reader.get(), &local), READER_OK);
        }
        EXPECT_EQ(GoToNextEntry(reader.get()), READER_END_OF_LIST);
    }
}

TEST(DirectoryReaderTest, FileSourceOpensAnArchiveBehindOtherData)
{
    ScratchFolder dir;
    ZipOptions options;
    options.prefix = PseudoRandomBytes(4000, 11);
    options.comment = RepeatedText(3000);
    ASSERT_TRUE(
        WriteFileBytes(dir.File("sfx.zip"),
                       BuildZip({MakeEntry("a.txt", "alpha"), MakeEntry("b/", "")}, options)));
    ReaderPtr reader(OpenDirectory(OpenByteSource(dir.File("sfx.zip").string().c_str())));
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->archiveStart, 4000u);
    EXPECT_EQ(CurrentName(reader.get()), "a.txt");
    ASSERT_EQ(GoToNextEntry(reader.get()), READER_OK);
    EXPECT_EQ(CurrentName(reader.get()), "b/");
    LocalHeaderLayout local{};
    EXPECT_EQ(CheckLocalHeader(reader.get(), &local), READER_OK);

    // A file with no end record does not open (and its handle is released).
    ASSERT_TRUE(WriteFileBytes(dir.File("plain.bin"), RepeatedText(70000)));
    EXPECT_EQ(OpenDirectory(OpenByteSource(dir.File("plain.bin").string().c_str())), nullptr);
}

}  // namespace
