// Handle-level result codes, and the process-wide record of the last one.
#pragma once

#include <cstdint>

constexpr int32_t RESULT_OK = 0;
constexpr int32_t RESULT_NO_FILE = 0x200;
constexpr int32_t RESULT_WRITE = 0x400;
constexpr int32_t RESULT_CORRUPT = 0x700;
constexpr int32_t RESULT_READ = 0x800;
constexpr int32_t RESULT_PASSWORD = 0x1000;
constexpr int32_t RESULT_ARGS = 0x10000;
constexpr int32_t RESULT_WRONG_KIND = 0x80000;
constexpr int32_t RESULT_BAD_STATE = 0x1000000;
constexpr int32_t RESULT_INFLATE = 0x5000000;

// Written by every operation on a reading handle.
extern int32_t g_lastReadResult;
// Written only by CloseArchive when it is not given a reading handle.
extern int32_t g_lastWriteResult;
