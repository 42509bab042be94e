#include "swap_record.h"

#include <zlib.h>

#include <cstring>
#include <initializer_list>

#include "../platform/path_text.h"
#include "../platform/winapi.h"
#include "../zip/byte_source.h"
#include "own_names.h"

namespace {

constexpr char kMagic[] = "TVXSWAP1";
constexpr size_t kMagicSize = sizeof kMagic - 1;
constexpr size_t kStepFixedSize = 1 + 4 + 4;
static_assert(kSwapRecordHeadSize == kMagicSize + 4, "magic and count");
static_assert(kMaxSwapStepSize == kStepFixedSize + 3 * (2 + MAX_PATH), "three texts at most");
constexpr char kNewAreaPrefix[] = "~tvx.new/";
constexpr char kOldAreaPrefix[] = "~tvx.old/";

void PutU16(uint8_t* p, uint32_t value)
{
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
}

void PutU32(uint8_t* p, uint32_t value)
{
    PutU16(p, value & 0xFFFF);
    PutU16(p + 2, value >> 16);
}

// Running: the checksum of bytes that follow those `before` covers.
uint32_t ChecksumOf(uint32_t before, const uint8_t* bytes, size_t size)
{
    return uint32_t(crc32(before, bytes, uInt(size)));
}

// A file of one of the updater's areas: the folder of a volume (none for the
// program folder's own), the area's name, then a bound path.
bool IsInArea(const char* path, const char* area)
{
    for (const char* at = std::strstr(path, area); at; at = std::strstr(at + 1, area)) {
        if (at != path && !IsSeparator(at[-1])) continue;
        char root[MAX_PATH];
        std::memcpy(root, path, size_t(at - path));
        root[at - path] = '\0';
        const bool rootBound =
            root[0] == '\0' || (IsBoundRelativePath(root) && !HasOwnNameComponent(root));
        return rootBound && IsBoundRelativePath(at + std::strlen(area));
    }
    return false;
}

// Which texts each kind has, and where they may lead.
bool IsValidStep(const SwapStep& step)
{
    if (!IsBoundRelativePath(step.target) || HasOwnNameComponent(step.target)) return false;
    const bool staged = step.staged[0] != '\0';
    const bool old = step.old[0] != '\0';
    if (staged && !IsInArea(step.staged, kNewAreaPrefix)) return false;
    if (old && !IsInArea(step.old, kOldAreaPrefix)) return false;
    switch (step.kind) {
        case SwapStepKind::Tree:
        case SwapStepKind::NewFile:
            return staged && !old;
        case SwapStepKind::TreeFolder:
        case SwapStepKind::TreeFile:
            return !staged && !old;
        case SwapStepKind::Replace:
            return staged && old;
    }
    return false;
}

// One text at `at`, pointed to where it lies in `bytes`.
bool DecodeText(const uint8_t* bytes, size_t end, size_t* at, const char** text)
{
    if (*at + 2 > end) return false;
    const size_t length = DecodeUInt16(bytes + *at);
    if (length >= MAX_PATH || *at + 2 + length + 1 > end) return false;
    const char* start = reinterpret_cast<const char*>(bytes + *at + 2);
    if (start[length] != '\0' || std::memchr(start, '\0', length) != nullptr) return false;
    *text = start;
    *at += 2 + length + 1;
    return true;
}

}  // namespace

bool IsBoundRelativePath(const char* path)
{
    if (path[0] == '\0' || IsAbsoluteName(path) || std::strchr(path, ':')) return false;
    return !HasParentComponent(path);
}

size_t EncodeSwapRecordHead(SwapRecordEncoder* encoder, uint32_t count, uint8_t* bytes)
{
    std::memcpy(bytes, kMagic, kMagicSize);
    PutU32(bytes + kMagicSize, count);
    encoder->checksum = ChecksumOf(0, bytes, kSwapRecordHeadSize);
    return kSwapRecordHeadSize;
}

size_t SwapStepSize(const SwapStep& step)
{
    size_t size = kStepFixedSize;
    for (const char* text : {step.target, step.staged, step.old}) {
        const size_t length = std::strlen(text);
        if (length >= MAX_PATH) return 0;
        size += 2 + length + 1;
    }
    return size;
}

size_t EncodeSwapStep(SwapRecordEncoder* encoder, const SwapStep& step, uint8_t* bytes)
{
    bytes[0] = uint8_t(step.kind);
    PutU32(bytes + 1, step.size);
    PutU32(bytes + 5, step.crc);
    size_t at = kStepFixedSize;
    for (const char* text : {step.target, step.staged, step.old}) {
        const size_t length = std::strlen(text);
        PutU16(bytes + at, uint32_t(length));
        std::memcpy(bytes + at + 2, text, length + 1);
        at += 2 + length + 1;
    }
    encoder->checksum = ChecksumOf(encoder->checksum, bytes, at);
    return at;
}

size_t EncodeSwapRecordEnd(const SwapRecordEncoder& encoder, uint8_t* bytes)
{
    PutU32(bytes, encoder.checksum);
    return kSwapRecordEndSize;
}

bool ReadSwapStepCount(const uint8_t* bytes, size_t size, uint32_t* count)
{
    if (size < kSwapRecordHeadSize + kSwapRecordEndSize ||
        std::memcmp(bytes, kMagic, kMagicSize) != 0)
        return false;
    *count = DecodeUInt32(bytes + kMagicSize);
    return true;
}

bool DecodeSwapRecord(const uint8_t* bytes, size_t size, SwapStep* steps, uint32_t capacity,
                      uint32_t* count)
{
    *count = 0;
    uint32_t stated = 0;
    if (!ReadSwapStepCount(bytes, size, &stated) || stated > capacity) return false;
    const size_t end = size - 4;
    if (DecodeUInt32(bytes + end) != ChecksumOf(0, bytes, end)) return false;
    size_t at = kSwapRecordHeadSize;
    for (uint32_t i = 0; i < stated; ++i) {
        if (at + kStepFixedSize > end) return false;
        SwapStep& step = steps[i];
        step.kind = SwapStepKind(bytes[at]);
        step.size = DecodeUInt32(bytes + at + 1);
        step.crc = DecodeUInt32(bytes + at + 5);
        at += kStepFixedSize;
        if (!DecodeText(bytes, end, &at, &step.target) ||
            !DecodeText(bytes, end, &at, &step.staged) || !DecodeText(bytes, end, &at, &step.old) ||
            !IsValidStep(step))
            return false;
    }
    if (at != end) return false;
    *count = stated;
    return true;
}
