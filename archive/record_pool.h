// Records appended one after another, each addressed by a 32-bit handle
// and never moved: the pool grows by a block, never by copying what it
// holds, so a run of many files peaks at what it keeps, not at twice that.
#pragma once

#include <cstddef>
#include <cstdint>

// The most a record may take.
constexpr size_t kPoolBlockSize = 65536;

// Empty when zeroed; FreeRecordPool frees it.
struct RecordPool {
    char** blocks;  // owned, each of kPoolBlockSize bytes
    uint32_t blockCount;
    uint32_t blockCapacity;
    size_t usedInLast;  // bytes of the last block taken
};

// Room for a record of `size` bytes (at most kPoolBlockSize), its handle in
// `handle`; false when memory runs out.
bool AddPoolRecord(RecordPool* pool, size_t size, uint32_t* handle);

// The record of `handle`.
inline char* PoolRecordAt(const RecordPool& pool, uint32_t handle)
{
    return pool.blocks[handle >> 16] + (handle & 0xFFFF);
}

void FreeRecordPool(RecordPool* pool);
