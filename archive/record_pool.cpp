#include "record_pool.h"

#include <cstring>
#include <new>

static_assert(kPoolBlockSize == 0x10000, "a handle is a block's number and 16 bits within it");

bool AddPoolRecord(RecordPool* pool, size_t size, uint32_t* handle)
{
    if (size > kPoolBlockSize) return false;
    if (pool->blockCount == 0 || pool->usedInLast + size > kPoolBlockSize) {
        if (pool->blockCount == 0x10000) return false;
        if (pool->blockCount == pool->blockCapacity) {
            const uint32_t capacity = pool->blockCapacity ? pool->blockCapacity * 2 : 16;
            char** grown = new (std::nothrow) char*[capacity];
            if (!grown) return false;
            if (pool->blocks) std::memcpy(grown, pool->blocks, pool->blockCount * sizeof *grown);
            delete[] pool->blocks;
            pool->blocks = grown;
            pool->blockCapacity = capacity;
        }
        char* block = new (std::nothrow) char[kPoolBlockSize];
        if (!block) return false;
        pool->blocks[pool->blockCount++] = block;
        pool->usedInLast = 0;
    }
    *handle = (pool->blockCount - 1) << 16 | uint32_t(pool->usedInLast);
    pool->usedInLast += size;
    return true;
}

void FreeRecordPool(RecordPool* pool)
{
    for (uint32_t i = 0; i < pool->blockCount; ++i) delete[] pool->blocks[i];
    delete[] pool->blocks;
    *pool = RecordPool{};
}
