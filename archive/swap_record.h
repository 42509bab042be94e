// The swap record: what one update moves, written whole before the first
// move and read whole by a later run that must finish or undo it. Pure
// bytes: nothing here touches a file.
//
// Every path in it is relative to the folder the record lies in, so a
// folder moved or copied takes its recovery with it, and a record can never
// lead outside its folder: a decoded record names no absolute path, no ".."
// component and no name of the updater's own among its targets, and its
// staged and old files lie in the updater's own areas.
//
// Layout, little-endian: "TVXSWAP1" | step count (4) | steps |
// CRC-32 of all before it (4). A step: kind (1) | size (4) | CRC-32 (4) |
// target, staged, old: each length (2), bytes, a zero byte.
#pragma once

#include <cstddef>
#include <cstdint>

enum class SwapStepKind : char {
    Tree = 'T',        // a folder the install lacked, moved in whole from `staged`
    TreeFolder = 'E',  // a folder inside a tree: on undo it goes only when empty
    TreeFile = 'C',    // a file inside a tree (`size`, `crc`): on undo it goes only when unchanged
    NewFile = 'N',     // a file the install lacked, moved in from `staged`
    Replace = 'R',     // the file at `target` moved out to `old`, then `staged` moved in
};

struct SwapStep {
    SwapStepKind kind;
    uint32_t size;       // of the new file (TreeFile, NewFile, Replace)
    uint32_t crc;        // its CRC-32
    const char* target;  // where it goes in the install
    const char* staged;  // where it waits before the swap ("" when the kind has none)
    const char* old;     // where the old file waits after it ("" when the kind has none)
};

// A record is encoded in pieces, so that one of any length goes out
// through a small buffer: the head, every step, the end, each piece's bytes
// right after the one before.
constexpr size_t kSwapRecordHeadSize = 12;
constexpr size_t kSwapRecordEndSize = 4;
constexpr size_t kMaxSwapStepSize = 9 + 3 * (2 + 260);

struct SwapRecordEncoder {
    uint32_t checksum;  // of the bytes encoded so far
};

// The head of a record of `count` steps; returns kSwapRecordHeadSize.
size_t EncodeSwapRecordHead(SwapRecordEncoder* encoder, uint32_t count, uint8_t* bytes);

// The bytes `step` takes encoded (at most kMaxSwapStepSize); 0 when a text
// is too long for the record.
size_t SwapStepSize(const SwapStep& step);

// Encodes `step` into `bytes`, which holds SwapStepSize(step); returns that.
size_t EncodeSwapStep(SwapRecordEncoder* encoder, const SwapStep& step, uint8_t* bytes);

// The end of the record; returns kSwapRecordEndSize.
size_t EncodeSwapRecordEnd(const SwapRecordEncoder& encoder, uint8_t* bytes);

// The step count a record says it holds; false when `bytes` is no record.
bool ReadSwapStepCount(const uint8_t* bytes, size_t size, uint32_t* count);

// Decodes a whole record into `steps` (room for `capacity`), whose texts
// point into `bytes`. False, with nothing to go by, for anything but one
// whole, intact record whose every step keeps to its folder.
bool DecodeSwapRecord(const uint8_t* bytes, size_t size, SwapStep* steps, uint32_t capacity,
                      uint32_t* count);

// Whether `path` stays inside the folder it is relative to: not empty, not
// absolute, no ':' and no ".." component.
bool IsBoundRelativePath(const char* path);
