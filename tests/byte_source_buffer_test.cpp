// A file source reads through a buffer of its own; it must deliver exactly
// what a source without one delivers: the memory variant over the same bytes
// is the reference.
#include "zip/byte_source.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/memory_source.h"
#include "support/scratch_folder.h"
#include "support/zip_builder.h"
#include "zip/reader_status.h"

namespace {

constexpr uint32_t B = kSourceBufferSize;

class BufferedSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bytes_ = PseudoRandomBytes(3 * B + 123, 42);
        ASSERT_TRUE(WriteFileBytes(dir_.File("data.bin"), bytes_));
        file_.reset(OpenByteSource(dir_.File("data.bin").string().c_str()));
        ASSERT_NE(file_, nullptr);
        memory_.reset(NewMemorySource(bytes_));
    }

    uint32_t Field(uint32_t at, int width) const
    {
        uint32_t value = 0;
        for (int i = 0; i < width && at + i < bytes_.size(); ++i) {
            value |= static_cast<uint32_t>(bytes_[at + i]) << (8 * i);
        }
        return value;
    }

    // The same read from both sources: same count, same bytes.
    void ExpectSameRead(uint32_t size, uint32_t count)
    {
        ByteVector fromFile(size * count + 1, 0xEE);
        ByteVector fromMemory(size * count + 1, 0xEE);
        EXPECT_EQ(ReadBytes(fromFile.data(), size, count, file_.get()),
                  ReadBytes(fromMemory.data(), size, count, memory_.get()));
        EXPECT_TRUE(fromFile == fromMemory);
    }

    void ExpectSameField(int width)
    {
        uint32_t a = 99, b = 98;
        int statusA = width == 1   ? ReadByte(file_.get(), &a)
                      : width == 2 ? ReadUInt16(file_.get(), &a)
                                   : ReadUInt32(file_.get(), &a);
        int statusB = width == 1   ? ReadByte(memory_.get(), &b)
                      : width == 2 ? ReadUInt16(memory_.get(), &b)
                                   : ReadUInt32(memory_.get(), &b);
        EXPECT_EQ(statusA, statusB);
        EXPECT_EQ(a, b);
    }

    void SeekBoth(uint32_t position)
    {
        ASSERT_TRUE(SeekSource(file_.get(), position));
        ASSERT_TRUE(SeekSource(memory_.get(), position));
    }

    ScratchFolder dir_;
    ByteVector bytes_;
    SourcePtr file_;
    SourcePtr memory_;
};

TEST_F(BufferedSourceTest, FieldsAndReadsThatStraddleTheBuffer)
{
    uint32_t value = 0;
    for (uint32_t at : {B - 3, B - 2, B - 1, 2 * B - 1}) {
        SCOPED_TRACE(at);
        ASSERT_TRUE(SeekSource(file_.get(), 0));
        ASSERT_EQ(ReadByte(file_.get(), &value), READER_OK);  // fills from 0
        ASSERT_TRUE(SeekSource(file_.get(), at));
        ASSERT_EQ(ReadUInt32(file_.get(), &value), READER_OK);
        EXPECT_EQ(value, Field(at, 4));
        ASSERT_EQ(ReadUInt16(file_.get(), &value), READER_OK);
        EXPECT_EQ(value, Field(at + 4, 2));
    }

    // Partly from the buffer, partly beyond it: small and large remainders.
    for (uint32_t length : {20u, B - 1, B, B + 1, 2 * B + 5}) {
        SCOPED_TRACE(length);
        SeekBoth(10);
        ExpectSameField(1);
        SeekBoth(B - 10);
        ExpectSameRead(length, 1);
        ExpectSameField(4);  // goes on right behind the read
    }
}

TEST_F(BufferedSourceTest, SeeksInsideAndOutsideTheBuffer)
{
    uint32_t value = 0;
    for (uint32_t at : {100u, 104u, 101u, 100 + B - 1, 100 + B, 99u, 96u, 0u, 3 * B, 2 * B + 7}) {
        SCOPED_TRACE(at);
        ASSERT_TRUE(SeekSource(file_.get(), 100));
        ASSERT_EQ(ReadByte(file_.get(), &value), READER_OK);  // buffer: 100 .. 100 + B
        ASSERT_TRUE(SeekSource(file_.get(), at));
        ASSERT_EQ(ReadUInt32(file_.get(), &value), READER_OK);
        EXPECT_EQ(value, Field(at, 4));
        ASSERT_EQ(ReadUInt32(file_.get(), &value), READER_OK);
        EXPECT_EQ(value, Field(at + 4, 4));
    }
}

TEST_F(BufferedSourceTest, TheEndOfTheFileAndTheLength)
{
    const uint32_t length = static_cast<uint32_t>(bytes_.size());
    uint32_t value = 7;

    SeekBoth(length - 3);
    ExpectSameRead(4, 1);  // no whole item, and the three bytes are used up
    ExpectSameField(1);    // the end: no byte, no failure
    SeekBoth(length - 3);
    ExpectSameRead(1, 4);
    SeekBoth(length - 2);
    ExpectSameField(4);
    SeekBoth(length + 50);
    ExpectSameField(2);
    EXPECT_FALSE(file_->readFailed);

    // The length leaves the source at its end, whatever was buffered.
    ASSERT_TRUE(SeekSource(file_.get(), length - 100));
    ASSERT_EQ(ReadByte(file_.get(), &value), READER_OK);
    uint32_t measured = 0;
    ASSERT_TRUE(SourceLength(file_.get(), &measured));
    EXPECT_EQ(measured, length);
    value = 7;
    EXPECT_EQ(ReadByte(file_.get(), &value), READER_OK);
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(SeekSource(file_.get(), length - 100));
    ASSERT_EQ(ReadByte(file_.get(), &value), READER_OK);
    EXPECT_EQ(value, bytes_[length - 100]);
}

// Seeks back by less than a window from where the reading stands make the
// two windows overlap, and reads of one to two windows then start in one and
// run through the other: the mix in which a read was once served from the
// older, shorter window after the other was refilled.
TEST_F(BufferedSourceTest, AnyMixOfSeeksAndReadsMatchesTheUnbufferedSource)
{
    const uint32_t length = static_cast<uint32_t>(bytes_.size());
    uint32_t state = 12345;
    auto next = [&state](uint32_t below) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % below;
    };
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        const uint32_t at = memory_->memoryPos;
        switch (next(8)) {
            case 0:
                SeekBoth(next(length + 64));
                break;
            case 1:
                SeekBoth(at > B ? at - next(B) : next(B));
                break;
            case 2:
                ExpectSameRead(1 + next(4), next(8));
                break;
            case 3:
                ExpectSameRead(1, next(3 * B));
                break;
            case 4:
                ExpectSameRead(1, B + next(B));
                break;
            case 5:
                ExpectSameField(1 << next(3));
                break;
            case 6:
                ExpectSameField(4);
                break;
            default: {
                uint32_t a = 0, b = 0;
                ASSERT_TRUE(SourceLength(file_.get(), &a));
                ASSERT_TRUE(SourceLength(memory_.get(), &b));
                EXPECT_EQ(a, b);
                SeekBoth(next(length));
            }
        }
        if (HasFailure()) break;
    }
    EXPECT_FALSE(file_->readFailed);
}

TEST_F(BufferedSourceTest, AFailedReadIsReportedAndRemembered)
{
    // A handle that cannot read makes every platform read fail.
    CloseHandle(file_->file);
    file_->file = CreateFileA(dir_.File("data.bin").string().c_str(), GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file_->file, INVALID_HANDLE_VALUE);
    uint32_t value = 7;
    ASSERT_TRUE(SeekSource(file_.get(), 10));
    EXPECT_EQ(ReadUInt16(file_.get(), &value), READER_ERRNO);
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(file_->readFailed);
    ByteVector block(2 * B);
    EXPECT_EQ(ReadBytes(block.data(), 1, 2 * B, file_.get()), 0u);
}

}  // namespace
