#include "entry_stream.h"

#include <cstring>
#include <new>

namespace {

constexpr uint32_t kEncryptionHeaderSize = 12;
constexpr uint32_t kLocalFixedSize = 30;
constexpr int kRawDeflateWindowBits = -15;
// The count delivered by one read must fit the signed result.
constexpr uint32_t kMaxReadLength = 0x7FFFFFFF;

uint8_t CheckByteOf(const EntryInfo& info)
{
    // With a data descriptor the CRC is not known when the header is written,
    // so the high byte of the MS-DOS time stands in for it.
    if ((info.flags & kFlagDataDescriptor) != 0) {
        return static_cast<uint8_t>(info.dosDateTime >> 8);
    }
    return static_cast<uint8_t>(info.crc >> 24);
}

void SetEndFlag(uint8_t* endFlag)
{
    if (endFlag != nullptr) {
        *endFlag = 1;
    }
}

// Reads the next block of entry data when the buffered input is used up.
ReaderStatus RefillInput(EntryStream* stream)
{
    if (stream->zstream.avail_in > 0 || stream->compressedLeft == 0) {
        return READER_OK;
    }
    uint32_t n =
        stream->compressedLeft < kInputBufferSize ? stream->compressedLeft : kInputBufferSize;
    // Positioned every time: someone else may have moved the source meanwhile.
    if (!SeekSource(stream->source, stream->archiveStart + stream->inputPos) ||
        ReadBytes(stream->inputBuffer, n, 1, stream->source) != 1) {
        return READER_ERRNO;
    }
    stream->inputPos += n;
    stream->compressedLeft -= n;
    stream->zstream.next_in = stream->inputBuffer;
    stream->zstream.avail_in = n;
    if (stream->encrypted) {
        for (uint32_t i = 0; i < n; ++i) {
            stream->inputBuffer[i] = DecryptByte(&stream->keys, stream->inputBuffer[i]);
        }
    }
    return READER_OK;
}

// Consumes what is buffered of the encryption header; READER_PASSWORD when
// its last byte does not match.
ReaderStatus SkipEncryptionHeader(EntryStream* stream)
{
    z_stream& z = stream->zstream;
    uint32_t k = stream->headerLeft < z.avail_in ? stream->headerLeft : z.avail_in;
    if (k == 0) {
        return READER_OK;
    }
    uint8_t lastByte = z.next_in[k - 1];
    z.next_in += k;
    z.avail_in -= k;
    stream->headerLeft -= k;
    if (stream->headerLeft == 0 && lastByte != stream->checkByte) {
        return READER_PASSWORD;
    }
    return READER_OK;
}

void CopyStored(EntryStream* stream, int* delivered, uint8_t* endFlag)
{
    z_stream& z = stream->zstream;
    uint32_t k = z.avail_in < z.avail_out ? z.avail_in : z.avail_out;
    std::memcpy(z.next_out, z.next_in, k);
    stream->runningCrc = crc32(stream->runningCrc, z.next_out, k);
    stream->uncompressedLeft -= k;
    z.avail_in -= k;
    z.avail_out -= k;
    z.next_in += k;
    z.next_out += k;
    z.total_out += k;
    *delivered += static_cast<int>(k);
    if (stream->uncompressedLeft == 0) {
        SetEndFlag(endFlag);
    }
}

// One inflate step. Gives 1 to go on, 0 when the read is complete, or a
// negative status.
int InflateStep(EntryStream* stream, int* delivered, uint8_t* endFlag)
{
    z_stream& z = stream->zstream;
    uLong totalBefore = z.total_out;
    uInt inBefore = z.avail_in;
    Bytef* outBefore = z.next_out;
    int result = inflate(&z, Z_NO_FLUSH);
    uint32_t produced = static_cast<uint32_t>(z.total_out - totalBefore);
    stream->runningCrc = crc32(stream->runningCrc, outBefore, produced);
    stream->uncompressedLeft -= produced;
    *delivered += static_cast<int>(produced);
    if (result == Z_STREAM_END || stream->uncompressedLeft == 0) {
        if (stream->uncompressedLeft > 0) {
            stream->endedShort = 1;
        }
        SetEndFlag(endFlag);
        return 0;
    }
    if (result != Z_OK) {
        return result;
    }
    // zlib reports a step without progress as Z_BUF_ERROR; should one still
    // come back as Z_OK, say so rather than spin.
    if (produced == 0 && z.avail_in == inBefore && stream->compressedLeft == 0) {
        return Z_BUF_ERROR;
    }
    return 1;
}

}  // namespace

ReaderStatus OpenEntryStream(DirectoryReader* reader, const char* password)
{
    if (reader == nullptr || !reader->currentValid) {
        return READER_PARAM_ERROR;
    }
    if (reader->stream != nullptr) {
        CloseEntryStream(reader);
    }
    LocalHeaderLayout layout{};
    if (CheckLocalHeader(reader, &layout) != READER_OK) {
        return READER_BAD_ARCHIVE;
    }
    EntryStream* stream = new (std::nothrow) EntryStream{};
    if (stream == nullptr) {
        return READER_INTERNAL_ERROR;
    }
    stream->inputBuffer = new (std::nothrow) uint8_t[kInputBufferSize];
    if (stream->inputBuffer == nullptr) {
        delete stream;
        return READER_INTERNAL_ERROR;
    }
    const EntryInfo& info = reader->currentInfo;
    stream->localExtraOffset = layout.extraOffset;
    stream->localExtraSize = layout.localExtraSize;
    stream->localExtraPos = 0;
    stream->inflateReady = 0;
    stream->expectedCrc = info.crc;
    stream->runningCrc = 0;
    stream->method = info.method;
    stream->source = reader->source;
    stream->archiveStart = reader->archiveStart;
    std::memset(&stream->zstream, 0, sizeof stream->zstream);
    if (stream->method != kMethodStored) {
        stream->zstream.zalloc = Z_NULL;
        stream->zstream.zfree = Z_NULL;
        stream->zstream.opaque = Z_NULL;
        if (inflateInit2(&stream->zstream, kRawDeflateWindowBits) == Z_OK) {
            stream->inflateReady = 1;
        }
    }
    stream->compressedLeft = info.compressedSize;
    stream->uncompressedLeft = info.uncompressedSize;
    stream->encrypted = (info.flags & kFlagEncrypted) != 0 ? 1 : 0;
    stream->checkByte = CheckByteOf(info);
    stream->headerLeft = stream->encrypted ? kEncryptionHeaderSize : 0;
    stream->endedShort = 0;
    InitialiseKeys(&stream->keys, password);
    stream->inputPos = reader->localHeaderOffset + kLocalFixedSize + layout.localVariableSize;
    stream->zstream.avail_in = 0;
    reader->stream = stream;
    return READER_OK;
}

int ReadEntryStream(DirectoryReader* reader, void* buffer, uint32_t length, uint8_t* endFlag)
{
    if (endFlag != nullptr) {
        *endFlag = 0;
    }
    if (reader == nullptr || reader->stream == nullptr) {
        return READER_PARAM_ERROR;
    }
    if (length == 0) {
        return 0;
    }
    EntryStream* stream = reader->stream;
    z_stream& z = stream->zstream;
    z.next_out = static_cast<Bytef*>(buffer);
    z.avail_out = length < stream->uncompressedLeft ? length : stream->uncompressedLeft;
    if (z.avail_out > kMaxReadLength) {
        z.avail_out = kMaxReadLength;
    }
    if (z.avail_out == 0) {
        SetEndFlag(endFlag);
        return 0;
    }
    int delivered = 0;
    while (z.avail_out > 0) {
        ReaderStatus status = RefillInput(stream);
        if (status == READER_OK) {
            status = SkipEncryptionHeader(stream);
        }
        if (status != READER_OK) {
            return status;
        }
        if (stream->method == kMethodStored) {
            if (z.avail_in == 0 && stream->compressedLeft == 0) {
                // The data ended before the declared size: no step could
                // make progress, and the entry is damaged.
                return READER_BAD_ARCHIVE;
            }
            CopyStored(stream, &delivered, endFlag);
            continue;
        }
        int step = InflateStep(stream, &delivered, endFlag);
        if (step <= 0) {
            return step == 0 ? delivered : step;
        }
    }
    return delivered;
}

ReaderStatus CloseEntryStream(DirectoryReader* reader)
{
    if (reader == nullptr || reader->stream == nullptr) {
        return READER_PARAM_ERROR;
    }
    EntryStream* stream = reader->stream;
    ReaderStatus status = READER_OK;
    if (stream->endedShort ||
        (stream->uncompressedLeft == 0 && stream->runningCrc != stream->expectedCrc)) {
        status = READER_CRC_ERROR;
    }
    delete[] stream->inputBuffer;
    if (stream->inflateReady) {
        inflateEnd(&stream->zstream);
        stream->inflateReady = 0;
    }
    delete stream;
    reader->stream = nullptr;
    return status;
}
