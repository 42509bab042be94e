#include <new>

#include "directory_reader.h"

namespace {

constexpr uint32_t kMaxSearchBack = 0xFFFF;
constexpr uint32_t kWindowStep = 1024;
constexpr uint32_t kSignatureSize = 4;
// Consecutive windows overlap by the signature's length, so that one
// straddling two windows is still seen.
constexpr uint32_t kWindowSize = kWindowStep + kSignatureSize;

bool IsEndSignatureAt(const uint8_t* window, uint32_t i)
{
    return window[i] == 0x50 && window[i + 1] == 0x4B && window[i + 2] == 0x05 &&
           window[i + 3] == 0x06;
}

}  // namespace

uint32_t FindEndRecord(ByteSource* source)
{
    uint32_t length = 0;
    if (!SourceLength(source, &length)) {
        return kEndRecordNotFound;
    }
    uint32_t maxBack = length < kMaxSearchBack ? length : kMaxSearchBack;
    uint8_t* window = new (std::nothrow) uint8_t[kWindowSize];
    if (window == nullptr) {
        return kEndRecordNotFound;
    }
    uint32_t found = kEndRecordNotFound;
    uint32_t back = kSignatureSize;
    while (back < maxBack && found == kEndRecordNotFound) {
        back = back + kWindowStep < maxBack ? back + kWindowStep : maxBack;
        uint32_t readPos = length - back;
        uint32_t readSize = back < kWindowSize ? back : kWindowSize;
        if (!SeekSource(source, readPos) || ReadBytes(window, readSize, 1, source) != 1) {
            break;
        }
        for (uint32_t i = readSize - kSignatureSize + 1; i-- > 0;) {
            if (IsEndSignatureAt(window, i)) {
                found = readPos + i;
                break;
            }
        }
    }
    delete[] window;
    return found;
}
