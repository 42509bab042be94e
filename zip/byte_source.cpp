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
        DWORD transferred = 0;
        if (!ReadFile(source->file, destination, byteCount, &transferred, nullptr)) {
            source->readFailed = true;
        }
        if (transferred > byteCount) {
            transferred = byteCount;
        }
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
    // A failed move would leave the next read at the old position.
    return SetFilePointer(source->file, static_cast<LONG>(target), nullptr, FILE_BEGIN) !=
           INVALID_SET_FILE_POINTER;
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
    uint32_t end = 0;
    if (!AskFilePosition(source->file, &end)) {
        return false;
    }
    *length = end - source->startOffset;
    return true;
}
