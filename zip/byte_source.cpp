#include "byte_source.h"

#include <cstring>
#include <new>

namespace {

// SetFilePointer takes a signed 32-bit distance: a position beyond 2 GiB
// would wrap to a negative one and leave the file where it was.
constexpr uint64_t kMaxFilePosition = 0x7FFFFFFF;

bool AskFilePosition(HANDLE file, uint32_t* position)
{
    DWORD answer = SetFilePointer(file, 0, nullptr, FILE_CURRENT);
    *position = answer;
    return answer != INVALID_SET_FILE_POINTER;
}

// Unbuffered: reads wherever the handle stands.
uint32_t ReadFromFile(ByteSource* source, void* destination, uint32_t byteCount)
{
    DWORD transferred = 0;
    if (!ReadFile(source->file, destination, byteCount, &transferred, nullptr)) {
        source->readFailed = true;
    }
    if (transferred > byteCount) {
        transferred = byteCount;
    }
    return transferred;
}

bool Holds(const SourceWindow& window, uint32_t position)
{
    return position >= window.start && position - window.start < window.length;
}

// The window holding `position`, or -1.
int WindowAt(const ByteSource* source, uint32_t position)
{
    for (int i = 0; i < 2; ++i) {
        if (Holds(source->windows[i], position)) {
            return i;
        }
    }
    return -1;
}

uint32_t TakeFromWindows(ByteSource* source, uint8_t* destination, uint32_t byteCount)
{
    const int index = WindowAt(source, source->position);
    if (index < 0) {
        return 0;
    }
    const SourceWindow& window = source->windows[index];
    const uint32_t offset = source->position - window.start;
    uint32_t available = window.length - offset;
    if (byteCount > available) {
        byteCount = available;
    }
    std::memcpy(destination, window.bytes + offset, byteCount);
    source->position += byteCount;
    source->recentWindow = static_cast<uint8_t>(index);
    return byteCount;
}

// Moves the handle to where the next read starts, unless it stands there. A
// failed move is a failed read: the bytes would come from the wrong place.
bool PlaceHandle(ByteSource* source)
{
    if (source->handleKnown && source->handlePosition == source->position) {
        return true;
    }
    source->handleKnown = SetFilePointer(source->file, static_cast<LONG>(source->position), nullptr,
                                         FILE_BEGIN) != INVALID_SET_FILE_POINTER;
    source->handlePosition = source->position;
    if (!source->handleKnown) {
        source->readFailed = true;
    }
    return source->handleKnown;
}

uint32_t ReadAtPosition(ByteSource* source, void* destination, uint32_t byteCount)
{
    if (!PlaceHandle(source)) {
        return 0;
    }
    const uint32_t transferred = ReadFromFile(source, destination, byteCount);
    source->position += transferred;
    source->handlePosition += transferred;
    return transferred;
}

// The window to read into: the one the reading runs on from, so that a walk
// through one part of the file replaces only its own window; otherwise the
// one read from less recently.
SourceWindow& WindowToFill(ByteSource* source)
{
    for (SourceWindow& window : source->windows) {
        if (window.length > 0 && window.start + window.length == source->position) {
            return window;
        }
    }
    return source->windows[1 - source->recentWindow];
}

// Reads ahead from the current position. A failed read counts only when it
// cost some of the `wanted` bytes, as a read of just those would have
// failed; bytes that did come are kept, and the next fill, starting where
// the failure struck, fails as an unbuffered read there would.
void FillWindow(ByteSource* source, uint32_t wanted)
{
    SourceWindow& window = WindowToFill(source);
    window.length = 0;
    // The other window keeps only what lies before the position: holding it
    // too, it could serve the read that follows with fewer of its bytes.
    SourceWindow& other = source->windows[&window == source->windows ? 1 : 0];
    if (Holds(other, source->position)) {
        other.length = source->position - other.start;
    }
    if (!PlaceHandle(source)) {
        return;
    }
    DWORD transferred = 0;
    BOOL ok = ReadFile(source->file, window.bytes, kSourceBufferSize, &transferred, nullptr);
    if (transferred > kSourceBufferSize) {
        transferred = kSourceBufferSize;
    }
    if (!ok && transferred < wanted) {
        source->readFailed = true;
    }
    window.start = source->position;
    window.length = transferred;
    source->handlePosition += transferred;
}

uint32_t ReadBuffered(ByteSource* source, uint8_t* destination, uint32_t byteCount)
{
    uint32_t copied = TakeFromWindows(source, destination, byteCount);
    uint32_t rest = byteCount - copied;
    if (rest == 0) {
        return copied;
    }
    if (rest >= kSourceBufferSize) {
        return copied + ReadAtPosition(source, destination + copied, rest);
    }
    FillWindow(source, rest);
    return copied + TakeFromWindows(source, destination + copied, rest);
}

void DropWindows(ByteSource* source)
{
    for (SourceWindow& window : source->windows) {
        window.length = 0;
    }
}

}  // namespace

ByteSource* OpenByteSource(const char* fileName)
{
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    uint32_t position = 0;
    bool canSeek = AskFilePosition(file, &position);
    ByteSource* source = new (std::nothrow) ByteSource{};
    if (source == nullptr) {
        CloseHandle(file);
        return nullptr;
    }
    source->isFile = true;
    source->ownsFile = true;
    source->canSeek = canSeek;
    source->file = file;
    source->readFailed = false;
    source->startOffset = canSeek ? position : 0;
    source->positionKnown = canSeek;
    source->position = canSeek ? position : 0;
    source->handleKnown = canSeek;
    source->handlePosition = source->position;
    return source;
}

void ReleaseByteSource(ByteSource* source)
{
    if (source == nullptr) {
        return;
    }
    if (source->isFile && source->ownsFile) {
        CloseHandle(source->file);
    }
    delete source;
}

uint32_t ReadBytes(void* destination, uint32_t size, uint32_t count, ByteSource* source)
{
    if (size == 0) {
        return 0;
    }
    uint64_t wanted = static_cast<uint64_t>(size) * count;
    if (wanted > 0xFFFFFFFFu) {
        return 0;
    }
    uint32_t byteCount = static_cast<uint32_t>(wanted);
    if (source->isFile) {
        uint32_t transferred =
            source->positionKnown
                ? ReadBuffered(source, static_cast<uint8_t*>(destination), byteCount)
                : ReadFromFile(source, destination, byteCount);
        return transferred / size;
    }
    uint32_t available =
        source->memoryPos < source->memorySize ? source->memorySize - source->memoryPos : 0;
    if (byteCount > available) {
        byteCount = available;
    }
    if (byteCount > 0) {
        std::memcpy(destination, source->memory + source->memoryPos, byteCount);
        source->memoryPos += byteCount;
    }
    return byteCount / size;
}

ReaderStatus ReadByte(ByteSource* source, uint32_t* value)
{
    uint8_t byte = 0;
    *value = 0;
    if (ReadBytes(&byte, 1, 1, source) == 1) {
        *value = byte;
        return READER_OK;
    }
    if (source->isFile && source->readFailed) {
        return READER_ERRNO;
    }
    return READER_OK;
}

namespace {

// Little-endian field of `width` bytes; bytes missing at the end of the data
// count as zero.
ReaderStatus ReadLittleEndian(ByteSource* source, int width, uint32_t* value)
{
    uint32_t result = 0;
    *value = 0;
    for (int i = 0; i < width; ++i) {
        uint32_t byte = 0;
        const ReaderStatus status = ReadByte(source, &byte);
        if (status != READER_OK) {
            return status;
        }
        result |= byte << (8 * i);
    }
    *value = result;
    return READER_OK;
}

}  // namespace

ReaderStatus ReadUInt16(ByteSource* source, uint32_t* value)
{
    return ReadLittleEndian(source, 2, value);
}

ReaderStatus ReadUInt32(ByteSource* source, uint32_t* value)
{
    return ReadLittleEndian(source, 4, value);
}

bool SeekSource(ByteSource* source, uint32_t position)
{
    if (!source->isFile) {
        source->memoryPos = position;
        return true;
    }
    if (!source->canSeek) {
        return false;
    }
    uint64_t target = static_cast<uint64_t>(source->startOffset) + position;
    if (target > kMaxFilePosition) {
        return false;
    }
    const uint32_t filePosition = static_cast<uint32_t>(target);
    if (source->positionKnown &&
        (WindowAt(source, filePosition) >= 0 ||
         (source->handleKnown && source->handlePosition == filePosition))) {
        source->position = filePosition;
        return true;
    }
    // A failed move would leave the next read at the old position.
    source->handleKnown = SetFilePointer(source->file, static_cast<LONG>(filePosition), nullptr,
                                         FILE_BEGIN) != INVALID_SET_FILE_POINTER;
    source->positionKnown = source->handleKnown;
    source->position = filePosition;
    source->handlePosition = filePosition;
    return source->positionKnown;
}

bool SourceLength(ByteSource* source, uint32_t* length)
{
    if (!source->isFile) {
        source->memoryPos = source->memorySize;
        *length = source->memorySize;
        return true;
    }
    if (!source->canSeek) {
        return false;
    }
    SetFilePointer(source->file, 0, nullptr, FILE_END);
    DropWindows(source);
    uint32_t end = 0;
    source->positionKnown = AskFilePosition(source->file, &end);
    source->handleKnown = source->positionKnown;
    source->position = end;
    source->handlePosition = end;
    if (!source->positionKnown) {
        return false;
    }
    *length = end - source->startOffset;
    return true;
}
