// The ZIP reader over files whose platform calls fail: reads that fail, moves
// that fail, files that cannot be positioned. Needs the platform's fault
// injection, so it is built with -DUPDATER_FAULT_INJECTION=ON only, and it is
// Linux-only because the switch lives in the Linux platform layer.
#include <gtest/gtest.h>

#include "platform/fault_injection.h"

#ifdef UPDATER_FAULT_INJECTION

#include <memory>
#include <string>

#include "support/memory_source.h"
#include "support/scratch_folder.h"
#include "support/zip_builder.h"
#include "zip/entry_stream.h"

namespace {

class ZipReaderFaults : public ::testing::Test {
protected:
    void TearDown() override { DisarmPlatformFaults(); }

    ReaderPtr OpenArchiveFile(const std::vector<TestEntry>& entries)
    {
        const std::filesystem::path path = dir_.File("archive.zip");
        EXPECT_TRUE(WriteFileBytes(path, BuildZip(entries)));
        return ReaderPtr(OpenDirectory(OpenByteSource(path.string().c_str())));
    }

    ScratchFolder dir_;
};

// Moves the handle far away and empties the source's windows, so that the
// next read anywhere is a move and a platform read.
void ForgetWhatWasRead(ByteSource* source)
{
    ASSERT_TRUE(SeekSource(source, 0x7FFF0000));
    for (SourceWindow& window : source->windows) window.length = 0;
}

// The source reads ahead: leaves a window ending just before file position
// `end`, so that the next platform read is the one that covers byte `end`.
void BufferUpTo(ByteSource* source, uint32_t end)
{
    ASSERT_GE(end, kSourceBufferSize);
    ForgetWhatWasRead(source);
    ASSERT_TRUE(SeekSource(source, end - kSourceBufferSize));
    uint32_t value = 0;
    ASSERT_EQ(ReadByte(source, &value), READER_OK);
}

// Archives whose headers lie beyond the first buffer's reach, with room after them.
std::vector<TestEntry> EntriesAfterPadding(TestEntry second)
{
    TestEntry first = FileEntry("one.txt", PseudoRandomBytes(3 * kSourceBufferSize, 7), 0);
    TestEntry third = FileEntry("pad.bin", PseudoRandomBytes(3 * kSourceBufferSize, 8), 0);
    return {first, second, third};
}

TEST_F(ZipReaderFaults, FailedReadsOfHeadersAreReadErrors)
{
    ZipLayout zip;
    const std::filesystem::path path = dir_.File("archive.zip");
    ASSERT_TRUE(WriteFileBytes(
        path, BuildZip(EntriesAfterPadding(FileEntry("two.txt", Bytes("second"), 8)), {}, &zip)));
    ReaderPtr reader(OpenDirectory(OpenByteSource(path.string().c_str())));
    ASSERT_NE(reader, nullptr);
    ByteSource* source = reader->source;

    // The read that would bring the central header's first byte fails.
    char name[MAX_PATH] = {};
    ForgetWhatWasRead(source);
    ArmPlatformFault(PlatformCall::ReadFile, 1);
    EXPECT_EQ(ReadCentralHeader(reader.get(), nullptr, nullptr, name, sizeof name), READER_ERRNO);
    EXPECT_TRUE(source->readFailed);
    DisarmPlatformFaults();
    EXPECT_EQ(ReadCentralHeader(reader.get(), nullptr, nullptr, name, sizeof name), READER_OK);
    EXPECT_STREQ(name, "one.txt");
    // Once a read has failed, the end of the data is no longer taken for a
    // harmless end: a byte that does not come is an error.
    ASSERT_TRUE(SeekSource(source, 100000));
    uint32_t value = 7;
    EXPECT_EQ(ReadByte(source, &value), READER_ERRNO);
    EXPECT_EQ(value, 0u);

    // A failure in the middle of the next central header's fields.
    BufferUpTo(source, zip.entries[1].centralHeaderPos + 9);
    ArmPlatformFault(PlatformCall::ReadFile, 1);
    EXPECT_EQ(GoToNextEntry(reader.get()), READER_ERRNO);
    EXPECT_FALSE(reader->currentValid);
    EXPECT_EQ(reader->currentIndex, 1);
    DisarmPlatformFaults();
    ASSERT_EQ(GoToFirstEntry(reader.get()), READER_OK);
    ASSERT_EQ(GoToNextEntry(reader.get()), READER_OK);

    // ... and in the middle of a local header: its name length.
    LocalHeaderLayout layout{};
    BufferUpTo(source, zip.entries[1].localHeaderPos + 26);
    ArmPlatformFault(PlatformCall::ReadFile, 1);
    EXPECT_EQ(CheckLocalHeader(reader.get(), &layout), READER_ERRNO);
    DisarmPlatformFaults();
    EXPECT_EQ(CheckLocalHeader(reader.get(), &layout), READER_OK);
    ForgetWhatWasRead(source);
    ArmPlatformFault(PlatformCall::SetFilePointer, 1);
    EXPECT_EQ(CheckLocalHeader(reader.get(), &layout), READER_ERRNO);
}

TEST_F(ZipReaderFaults, ReadFailureOutranksAWrongSignature)
{
    ZipLayout zip;
    const std::filesystem::path path = dir_.File("archive.zip");
    ByteVector bytes = BuildZip(EntriesAfterPadding(FileEntry("x.txt", Bytes("x"), 0)), {}, &zip);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    ReaderPtr reader(OpenDirectory(OpenByteSource(path.string().c_str())));
    ASSERT_NE(reader, nullptr);
    // Damaged after the open, which refuses a directory with a wrong header.
    bytes[zip.entries[1].centralHeaderPos] = 0x78;
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    // The wrong signature arrives; the read of the bytes after it fails.
    BufferUpTo(reader->source, zip.entries[1].centralHeaderPos + 4);
    ArmPlatformFault(PlatformCall::ReadFile, 1);
    EXPECT_EQ(GoToNextEntry(reader.get()), READER_ERRNO);
    DisarmPlatformFaults();
    ASSERT_EQ(GoToFirstEntry(reader.get()), READER_OK);
    EXPECT_EQ(GoToNextEntry(reader.get()), READER_BAD_ARCHIVE);
}

TEST_F(ZipReaderFaults, FailedBlockReadsLeaveTheStreamOpenAndResumable)
{
    const ByteVector data = PseudoRandomBytes(40000, 21);
    for (uint16_t method : {0, 8}) {
        SCOPED_TRACE(method);
        ReaderPtr reader = OpenArchiveFile({FileEntry("big.bin", data, method)});
        ASSERT_NE(reader, nullptr);
        ASSERT_EQ(OpenEntryStream(reader.get(), nullptr), READER_OK);
        ByteVector read(data.size());
        uint32_t done = 0;
        int n = ReadEntryStream(reader.get(), read.data(), 16384, nullptr);
        ASSERT_EQ(n, 16384);
        done += static_cast<uint32_t>(n);

        for (PlatformCall call : {PlatformCall::ReadFile, PlatformCall::SetFilePointer}) {
            SCOPED_TRACE(static_cast<int>(call));
            const uint32_t inputPos = reader->stream->inputPos;
            const uint32_t compressedLeft = reader->stream->compressedLeft;
            // Moved elsewhere, so that a failed move would read the wrong bytes.
            ForgetWhatWasRead(reader->source);
            ASSERT_TRUE(SeekSource(reader->source, 0));
            ArmPlatformFault(call, 1);
            // One byte at a time: a call that fails has delivered nothing.
            int result = 0;
            while ((result = ReadEntryStream(reader.get(), read.data() + done, 1, nullptr)) == 1) {
                ++done;
            }
            DisarmPlatformFaults();
            EXPECT_EQ(result, READER_ERRNO);
            EXPECT_EQ(reader->stream->inputPos, inputPos);
            EXPECT_EQ(reader->stream->compressedLeft, compressedLeft);
        }
        uint8_t endFlag = 0;
        for (int calls = 0; endFlag == 0 && done < read.size() && calls < 10; ++calls) {
            n = ReadEntryStream(reader.get(), read.data() + done,
                                static_cast<uint32_t>(read.size()) - done, &endFlag);
            ASSERT_GE(n, 0);
            done += static_cast<uint32_t>(n);
        }
        EXPECT_EQ(endFlag, 1);
        EXPECT_EQ(done, data.size());
        EXPECT_TRUE(read == data);
        EXPECT_EQ(CloseEntryStream(reader.get()), READER_OK);
    }
}

// Not a fault, but counted the same way: walking the directory and reading
// each entry in turn, the two parts of the file keep a window each, so the
// platform is read about once per window's worth of archive, not once or
// twice per entry.
TEST_F(ZipReaderFaults, TheDirectoryWalkAndTheEntriesKeepAWindowEach)
{
    std::vector<TestEntry> entries;
    for (int i = 0; i < 300; ++i) {
        entries.push_back(FileEntry("f" + std::to_string(i), PseudoRandomBytes(90 + i % 50, i), 0));
    }
    const ByteVector archive = BuildZip(entries);
    const std::filesystem::path path = dir_.File("archive.zip");
    ASSERT_TRUE(WriteFileBytes(path, archive));
    ReaderPtr reader(OpenDirectory(OpenByteSource(path.string().c_str())));
    ASSERT_NE(reader, nullptr);

    ResetPlatformCallCounts();
    int status = GoToFirstEntry(reader.get());
    for (int i = 0; i < 300 && status == READER_OK; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(OpenEntryStream(reader.get(), nullptr), READER_OK);
        uint8_t data[256];
        uint8_t endFlag = 0;
        EXPECT_EQ(ReadEntryStream(reader.get(), data, sizeof data, &endFlag),
                  static_cast<int>(entries[i].data.size()));
        EXPECT_EQ(endFlag, 1);
        EXPECT_EQ(CloseEntryStream(reader.get()), READER_OK);
        status = GoToNextEntry(reader.get());
    }
    EXPECT_EQ(status, READER_END_OF_LIST);
    const uint32_t windowsWorth = static_cast<uint32_t>(archive.size() / kSourceBufferSize) + 1;
    EXPECT_LE(PlatformCallCount(PlatformCall::ReadFile), windowsWorth + 4);
    EXPECT_LE(PlatformCallCount(PlatformCall::SetFilePointer), windowsWorth + 4);
}

TEST_F(ZipReaderFaults, FilesThatCannotBePositionedOrOpened)
{
    const std::filesystem::path path = dir_.File("archive.zip");
    ASSERT_TRUE(WriteFileBytes(path, BuildZip({FileEntry("a", Bytes("a"), 0)})));
    ArmPlatformFault(PlatformCall::SetFilePointer, 1);
    ByteSource* source = OpenByteSource(path.string().c_str());
    DisarmPlatformFaults();
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(source->canSeek);
    EXPECT_EQ(source->startOffset, 0u);
    EXPECT_FALSE(SeekSource(source, 0));
    uint32_t length = 0;
    EXPECT_FALSE(SourceLength(source, &length));
    EXPECT_EQ(FindEndRecord(source), kEndRecordNotFound);
    EXPECT_EQ(OpenDirectory(source), nullptr);

    ArmPlatformFault(PlatformCall::CreateFileA, 1);
    EXPECT_EQ(OpenByteSource(path.string().c_str()), nullptr);
}

}  // namespace

#endif  // UPDATER_FAULT_INJECTION
