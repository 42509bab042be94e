// The data of the reader's current entry: stored bytes copied or deflated
// bytes inflated, decrypted when the entry is encrypted, CRC-checked.
#pragma once

#include <zlib.h>
#include <cstdint>

#include "directory_reader.h"
#include "traditional_crypto.h"

constexpr uint32_t kInputBufferSize = 16384;

struct EntryStream {
    uint8_t* inputBuffer;  // owned, kInputBufferSize bytes
    z_stream zstream;
    uint32_t inputPos;      // next compressed byte, relative to archiveStart
    uint32_t inflateReady;  // inflateEnd is due at close
    uint32_t localExtraOffset;
    uint32_t localExtraSize;
    uint32_t localExtraPos;
    uint32_t runningCrc;
    uint32_t expectedCrc;
    uint32_t compressedLeft;  // counts the encryption header
    uint32_t uncompressedLeft;
    ByteSource* source;  // not owned
    uint32_t method;
    uint32_t archiveStart;
    uint8_t encrypted;
    CipherKeys keys;
    uint32_t headerLeft;  // encryption header bytes still to skip
    uint8_t checkByte;    // what the last header byte must decrypt to
    uint8_t endedShort;   // the deflate stream ended before the declared size
};

// Opens the current entry's data; `password` may be null. Closes a stream
// that is still open first.
ReaderStatus OpenEntryStream(DirectoryReader* reader, const char* password);

// Delivers up to `length` bytes into `buffer`: the count, or a negative
// status (a reader status or zlib's own). `*endFlag`, when given, is 0 on
// entry and 1 once the entry's data has ended. A stored entry whose data runs
// out before its declared size gives READER_BAD_ARCHIVE.
int ReadEntryStream(DirectoryReader* reader, void* buffer, uint32_t length, uint8_t* endFlag);

// Releases the stream: READER_CRC_ERROR when every byte was delivered and the
// CRC differs, or when a deflate stream ended before the declared size.
ReaderStatus CloseEntryStream(DirectoryReader* reader);
