#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/record_pool.h"

namespace {

// Records of every length up to a path's, far past one block: each keeps
// its bytes while the pool grows, and none overlaps another.
TEST(RecordPool, RecordsKeepTheirBytesAcrossBlocks)
{
    RecordPool pool{};
    std::vector<uint32_t> handles;
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i) {
        texts.push_back(std::string(size_t(i % 259), char('a' + i % 26)) + std::to_string(i));
        uint32_t handle = 0;
        ASSERT_TRUE(AddPoolRecord(&pool, texts.back().size() + 1, &handle));
        std::memcpy(PoolRecordAt(pool, handle), texts.back().c_str(), texts.back().size() + 1);
        handles.push_back(handle);
    }
    EXPECT_GT(pool.blockCount, 5u);
    for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(std::string(PoolRecordAt(pool, handles[i])), texts[i]) << i;
    }
    FreeRecordPool(&pool);
    EXPECT_EQ(pool.blockCount, 0u);
}

TEST(RecordPool, ARecordTakesAtMostOneBlock)
{
    RecordPool pool{};
    uint32_t first = 0;
    uint32_t whole = 0;
    ASSERT_TRUE(AddPoolRecord(&pool, 10, &first));
    ASSERT_TRUE(AddPoolRecord(&pool, kPoolBlockSize, &whole));
    EXPECT_EQ(whole, 1u << 16) << "a block of its own, not the rest of the first";
    uint32_t unused = 0;
    EXPECT_FALSE(AddPoolRecord(&pool, kPoolBlockSize + 1, &unused));
    FreeRecordPool(&pool);
}

}  // namespace
