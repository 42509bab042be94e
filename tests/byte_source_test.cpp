#include "zip/byte_source.h"

#include <gtest/gtest.h>

#include "support/memory_source.h"
#include "support/scratch_folder.h"
#include "support/zip_builder.h"
#include "zip/reader_status.h"

namespace {

TEST(ByteSourceTest, MemoryReadsCutAtTheEndAndCountWholeItems)
{
    const ByteVector bytes = {1, 2, 3, 4, 5, 6, 7};
    SourcePtr source(NewMemorySource(bytes));
    uint8_t buffer[16] = {};

    EXPECT_EQ(ReadBytes(buffer, 2, 2, source.get()), 2u);
    EXPECT_EQ(source->memoryPos, 4u);
    // Three bytes are left: one whole item of 2 comes, and all three are consumed.
    EXPECT_EQ(ReadBytes(buffer, 2, 2, source.get()), 1u);
    EXPECT_EQ(source->memoryPos, 7u);
    EXPECT_EQ(buffer[0], 5);
    EXPECT_EQ(buffer[2], 7);
    EXPECT_EQ(ReadBytes(buffer, 1, 4, source.get()), 0u);

    // A position past the end reads nothing and does not go outside the block.
    ASSERT_TRUE(SeekSource(source.get(), 100));
    EXPECT_EQ(ReadBytes(buffer, 1, 1, source.get()), 0u);
    EXPECT_EQ(source->memoryPos, 100u);

    ASSERT_TRUE(SeekSource(source.get(), 1));
    EXPECT_EQ(ReadBytes(buffer, 6, 1, source.get()), 1u);
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(buffer[5], 7);
    EXPECT_EQ(ReadBytes(buffer, 0, 3, source.get()), 0u);
}

TEST(ByteSourceTest, FieldsAreLittleEndianAndMissingBytesReadAsZero)
{
    const ByteVector bytes = {0x50, 0x4B, 0x05, 0x06, 0x34, 0x12, 0xAB};
    SourcePtr source(NewMemorySource(bytes));
    uint32_t value = 99;

    ASSERT_EQ(ReadUInt32(source.get(), &value), READER_OK);
    EXPECT_EQ(value, 0x06054B50u);
    ASSERT_EQ(ReadUInt16(source.get(), &value), READER_OK);
    EXPECT_EQ(value, 0x1234u);
    // One byte left for a four-byte field: the rest counts as zero.
    ASSERT_EQ(ReadUInt32(source.get(), &value), READER_OK);
    EXPECT_EQ(value, 0xABu);
    value = 99;
    ASSERT_EQ(ReadUInt16(source.get(), &value), READER_OK);
    EXPECT_EQ(value, 0u);
    value = 99;
    ASSERT_EQ(ReadByte(source.get(), &value), READER_OK);
    EXPECT_EQ(value, 0u);

    ASSERT_TRUE(SeekSource(source.get(), 6));
    ASSERT_EQ(ReadByte(source.get(), &value), READER_OK);
    EXPECT_EQ(value, 0xABu);
}

TEST(ByteSourceTest, MemoryLengthLeavesTheSourceAtItsEnd)
{
    const ByteVector bytes(1234, 0x55);
    SourcePtr source(NewMemorySource(bytes));
    uint32_t length = 0;
    ASSERT_TRUE(SourceLength(source.get(), &length));
    EXPECT_EQ(length, 1234u);
    EXPECT_EQ(source->memoryPos, 1234u);
}

TEST(ByteSourceTest, MissingFileGivesNoSource)
{
    ScratchFolder dir;
    EXPECT_EQ(OpenByteSource(dir.File("absent.zip").string().c_str()), nullptr);
}

TEST(ByteSourceTest, FileSourceReadsSeeksAndMeasures)
{
    ScratchFolder dir;
    const ByteVector bytes = PseudoRandomBytes(5000, 7);
    ASSERT_TRUE(WriteFileBytes(dir.File("data.bin"), bytes));
    SourcePtr source(OpenByteSource(dir.File("data.bin").string().c_str()));
    ASSERT_NE(source, nullptr);
    EXPECT_TRUE(source->isFile);
    EXPECT_TRUE(source->canSeek);
    EXPECT_TRUE(source->ownsFile);
    EXPECT_EQ(source->startOffset, 0u);

    uint32_t length = 0;
    ASSERT_TRUE(SourceLength(source.get(), &length));
    EXPECT_EQ(length, 5000u);
    uint8_t buffer[8] = {};
    EXPECT_EQ(ReadBytes(buffer, 1, 8, source.get()), 0u);

    ASSERT_TRUE(SeekSource(source.get(), 4096));
    uint32_t value = 0;
    ASSERT_EQ(ReadUInt32(source.get(), &value), READER_OK);
    EXPECT_EQ(value, bytes[4096] | bytes[4097] << 8 | bytes[4098] << 16 |
                         static_cast<uint32_t>(bytes[4099]) << 24);

    // Short at the end: whole items only, missing field bytes as zero.
    ASSERT_TRUE(SeekSource(source.get(), 4997));
    EXPECT_EQ(ReadBytes(buffer, 2, 4, source.get()), 1u);
    ASSERT_TRUE(SeekSource(source.get(), 4998));
    ASSERT_EQ(ReadUInt32(source.get(), &value), READER_OK);
    EXPECT_EQ(value, bytes[4998] | static_cast<uint32_t>(bytes[4999]) << 8);
    EXPECT_FALSE(source->readFailed);

    // Beyond what a signed 32-bit distance reaches the source refuses to move
    // instead of reading from wherever it was.
    EXPECT_FALSE(SeekSource(source.get(), 0x80000000u));
}

}  // namespace
