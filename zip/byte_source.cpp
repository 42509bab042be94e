#include "byte_source.h"

#include <cstring>
#include <new>

#include "reader_status.h"

namespace {

// SetFilePointer takes a signed 32-bit distance: a position beyond 2 GiB
// would wrap to a negative one and leave the file where it was.
constexpr uint64_t kMaxFilePosition = 0x7FFFFFFF;

bool AskFilePosition(HANDLE file, uint32_t* position) {
    DWORD answer = SetFilePointer(file, 0, nullptr, FILE_CURRENT);
    *position = answer;
    return answer != INVALID_SET_FILE_POINTER;
}

uint32_t ReadFromFile(ByteSource* source, void* destination, uint32_t byteCount) {
    DWORD transferred = 0;
    if (!ReadFile(source->file, destination, byteCount, &transferred, nullptr)) {
        source->readFailed = true;
    }
    if (transferred > byteCount) {
        transferred = byteCount;
    }
    if (source->positionKnown) {
        source->filePosition += transferred;
    }
    return transferred;
}

uint32_t TakeFromBuffer(ByteSource* source, uint8_t* destination, uint32_t byteCount) {
    uint32_t available = source->bufferLength - source->bufferPos;
    if (byteCount > available) {
        byteCount = available;
    }
    if (byteCount > 0) {
        std::memcpy(destination, source->buffer + source->bufferPos, byteCount);
        source->bufferPos += byteCount;
    }
    return byteCount;
}

void DropBuffer(ByteSource* source) {
    source->bufferLength = 0;
    source->bufferPos = 0;
}

// Reads ahead from where the handle stands. A failed read counts only when
// it cost some of the `wanted` bytes, as a read of just those would have
// failed; bytes that did come are kept, and the next fill, starting where
// the failure struck, fails as an unbuffered read there would.
void FillBuffer(ByteSource* source, uint32_t wanted) {
    DWORD transferred = 0;
    BOOL ok = ReadFile(source->file, source->buffer, kSourceBufferSize, &transferred, nullptr);
    if (transferred > kSourceBufferSize) {
        transferred = kSourceBufferSize;
    }
    if (!ok && transferred < wanted) {
        source->readFailed = true;
    }
    source->filePosition += transferred;
    source->bufferLength = transferred;
    source->bufferPos = 0;
}

uint32_t ReadBuffered(ByteSource* source, uint8_t* destination, uint32_t byteCount) {
    uint32_t copied = TakeFromBuffer(source, destination, byteCount);
    uint32_t rest = byteCount - copied;
    if (rest == 0) {
        return copied;
    }
    if (rest >= kSourceBufferSize) {
        DropBuffer(source);
        return copied + ReadFromFile(source, destination + copied, rest);
    }
    FillBuffer(source, rest);
    return copied + TakeFromBuffer(source, destination + copied, rest);
}

// True when the file position `target` lies within the buffer or at its end,
// so that no positioning call is needed.
bool IsBuffered(const ByteSource* source, uint64_t target) {
    return source->positionKnown && target <= source->filePosition &&
           target >= source->filePosition - source->bufferLength;
}

}  // namespace

ByteSource* OpenByteSource(const char* fileName, int* code) {
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *code = SOURCE_NO_FILE;
        return nullptr;
    }
    uint32_t position = 0;
    bool canSeek = AskFilePosition(file, &position);
    ByteSource* source = new (std::nothrow) ByteSource{};
    if (source == nullptr) {
        CloseHandle(file);
        *code = SOURCE_NO_FILE;
        return nullptr;
    }
    source->isFile = true;
    source->ownsFile = true;
    source->canSeek = canSeek;
    source->file = file;
    source->readFailed = false;
    source->startOffset = canSeek ? position : 0;
    source->positionKnown = canSeek;
    source->filePosition = canSeek ? position : 0;
    *code = 0;
    return source;
}

void ReleaseByteSource(ByteSource* source) {
    if (source == nullptr) {
        return;
    }
    if (source->isFile && source->ownsFile) {
        CloseHandle(source->file);
    }
    delete source;
}

uint32_t ReadBytes(void* destination, uint32_t size, uint32_t count, ByteSource* source) {
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

int ReadByte(ByteSource* source, uint32_t* value) {
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
int ReadLittleEndian(ByteSource* source, int width, uint32_t* value) {
    uint32_t result = 0;
    *value = 0;
    for (int i = 0; i < width; ++i) {
        uint32_t byte = 0;
        int status = ReadByte(source, &byte);
        if (status != READER_OK) {
            return status;
        }
        result |= byte << (8 * i);
    }
    *value = result;
    return READER_OK;
}

}  // namespace

int ReadUInt16(ByteSource* source, uint32_t* value) {
    return ReadLittleEndian(source, 2, value);
}

int ReadUInt32(ByteSource* source, uint32_t* value) {
    return ReadLittleEndian(source, 4, value);
}

bool SeekSource(ByteSource* source, uint32_t position) {
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
    if (IsBuffered(source, target)) {
        source->bufferPos =
            static_cast<uint32_t>(target - (source->filePosition - source->bufferLength));
        return true;
    }
    DropBuffer(source);
    // A failed move would leave the next read at the old position.
    source->positionKnown =
        SetFilePointer(source->file, static_cast<LONG>(target), nullptr, FILE_BEGIN) !=
        INVALID_SET_FILE_POINTER;
    source->filePosition = static_cast<uint32_t>(target);
    return source->positionKnown;
}

bool SourceLength(ByteSource* source, uint32_t* length) {
    if (!source->isFile) {
        source->memoryPos = source->memorySize;
        *length = source->memorySize;
        return true;
    }
    if (!source->canSeek) {
        return false;
    }
    SetFilePointer(source->file, 0, nullptr, FILE_END);
    DropBuffer(source);
    uint32_t end = 0;
    source->positionKnown = AskFilePosition(source->file, &end);
    source->filePosition = end;
    if (!source->positionKnown) {
        return false;
    }
    *length = end - source->startOffset;
    return true;
}
