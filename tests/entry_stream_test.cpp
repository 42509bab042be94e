#include "zip/entry_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "support/memory_source.h"
#include "support/real_archives.h"
#include "support/scratch_folder.h"
#include "support/zip_builder.h"

namespace {

// An archive built in memory, with where its parts landed.
struct MemoryArchive {
    ZipLayout layout{};
    MemoryDirectory directory;

    explicit MemoryArchive(const std::vector<TestEntry>& entries, const ZipOptions& options = {})
        : directory(BuildZip(entries, options, &layout))
    {
    }

    DirectoryReader* get() const { return directory.get(); }
    // Moves to entry `index` and opens its stream.
    int Open(int index, const char* password = nullptr)
    {
        GoToFirstEntry(get());
        for (int i = 0; i < index; ++i) {
            GoToNextEntry(get());
        }
        return OpenEntryStream(get(), password);
    }
};

struct ReadResult {
    ByteVector bytes;
    int status = 0;      // the first negative result, else 0
    bool ended = false;  // the end flag came
    int calls = 0;
    int lastCount = 0;  // the count of the call that set the end flag
};

// Reads until the end flag, a negative result or a 0 without end flag.
ReadResult ReadToEnd(DirectoryReader* reader, uint32_t chunk, int maxCalls = 1 << 20)
{
    ReadResult result;
    ByteVector buffer(chunk);
    while (result.calls < maxCalls) {
        uint8_t endFlag = 7;
        int n = ReadEntryStream(reader, buffer.data(), chunk, &endFlag);
        ++result.calls;
        if (n < 0) {
            result.status = n;
            EXPECT_EQ(endFlag, 0);
            break;
        }
        result.bytes.insert(result.bytes.end(), buffer.begin(), buffer.begin() + n);
        if (endFlag != 0) {
            EXPECT_EQ(endFlag, 1);
            result.ended = true;
            result.lastCount = n;
            break;
        }
        if (n == 0) {
            break;
        }
    }
    return result;
}

TEST(EntryStreamTest, StoredDeflatedAndEmptyEntriesReadBack)
{
    const ByteVector text = RepeatedText(50000);
    const ByteVector noise = PseudoRandomBytes(40000, 5);
    MemoryArchive archive({FileEntry("stored.txt", text, 0), FileEntry("deflated.txt", text, 8),
                           FileEntry("noise.bin", noise, 8), FileEntry("empty-stored", {}, 0),
                           FileEntry("empty-deflated", {}, 8)});
    ASSERT_NE(archive.get(), nullptr);
    for (uint32_t chunk : {16384u, 4097u, 1000u, 1u}) {
        SCOPED_TRACE(chunk);
        for (int index = 0; index < 3; ++index) {
            const ByteVector& expected = index == 2 ? noise : text;
            ASSERT_EQ(archive.Open(index), READER_OK);
            ReadResult result = ReadToEnd(archive.get(), chunk);
            EXPECT_EQ(result.status, 0);
            EXPECT_TRUE(result.ended);
            // The end comes with the last bytes, not in an extra call.
            EXPECT_GT(result.lastCount, 0);
            EXPECT_EQ(result.calls, static_cast<int>((expected.size() + chunk - 1) / chunk));
            EXPECT_TRUE(result.bytes == expected);
            EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);
        }
        for (int index = 3; index < 5; ++index) {
            ASSERT_EQ(archive.Open(index), READER_OK);
            ReadResult result = ReadToEnd(archive.get(), chunk);
            EXPECT_TRUE(result.ended);
            EXPECT_EQ(result.calls, 1);
            EXPECT_TRUE(result.bytes.empty());
            EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);
        }
    }
    EXPECT_EQ(archive.get()->stream, nullptr);
}

TEST(EntryStreamTest, ZeroLengthReadsAndReadsPastTheEnd)
{
    const ByteVector data = RepeatedText(100);
    for (uint16_t method : {0, 8}) {
        SCOPED_TRACE(method);
        MemoryArchive archive({FileEntry("a", data, method)});
        ASSERT_EQ(archive.Open(0), READER_OK);
        EntryStream* stream = archive.get()->stream;
        uint8_t buffer[300];
        uint8_t endFlag = 7;
        EXPECT_EQ(ReadEntryStream(archive.get(), buffer, 0, &endFlag), 0);
        EXPECT_EQ(endFlag, 0);
        EXPECT_EQ(stream->uncompressedLeft, 100u);
        EXPECT_EQ(stream->compressedLeft, archive.layout.entries[0].dataSize);

        ASSERT_EQ(ReadEntryStream(archive.get(), buffer, 30, &endFlag), 30);
        EXPECT_EQ(endFlag, 0);
        std::memset(buffer, 0xCC, sizeof buffer);
        ASSERT_EQ(ReadEntryStream(archive.get(), buffer, sizeof buffer, &endFlag), 70);
        EXPECT_EQ(endFlag, 1);
        EXPECT_TRUE(ByteVector(buffer, buffer + 70) == ByteVector(data.begin() + 30, data.end()));
        EXPECT_EQ(buffer[70], 0xCC);
        for (int again = 0; again < 2; ++again) {
            endFlag = 7;
            EXPECT_EQ(ReadEntryStream(archive.get(), buffer, sizeof buffer, &endFlag), 0);
            EXPECT_EQ(endFlag, 1);
        }
        EXPECT_EQ(ReadEntryStream(archive.get(), buffer, sizeof buffer, nullptr), 0);
        EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);
    }
}

TEST(EntryStreamTest, BlocksAreReadOnlyWhenTheInputIsUsedUp)
{
    // Stored entries: the compressed size is the data size, so the block
    // boundaries are known exactly.
    for (size_t size : {16384u, 16385u, 40000u}) {
        SCOPED_TRACE(size);
        const ByteVector data = PseudoRandomBytes(size, 9);
        MemoryArchive archive({FileEntry("a", data, 0)});
        ASSERT_EQ(archive.Open(0), READER_OK);
        const uint32_t dataPos = archive.layout.entries[0].dataPos;
        ByteSource* source = archive.get()->source;
        ByteVector read;
        for (size_t i = 0; i < size; ++i) {
            uint8_t byte = 0;
            uint8_t endFlag = 0;
            ASSERT_EQ(ReadEntryStream(archive.get(), &byte, 1, &endFlag), 1);
            read.push_back(byte);
            EXPECT_EQ(endFlag, i + 1 == size ? 1 : 0);
            // Byte i came from block i / 16384, and nothing beyond it was read.
            size_t blocksRead = i / kInputBufferSize + 1;
            size_t expectedEnd = std::min(size, blocksRead * kInputBufferSize);
            if (source->memoryPos != dataPos + expectedEnd) {
                FAIL() << "after byte " << i << " the source is at " << source->memoryPos;
            }
        }
        EXPECT_TRUE(read == data);
        EXPECT_EQ(archive.get()->stream->compressedLeft, 0u);
        EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);
    }
    // An encrypted stored entry of 16384 compressed bytes (header included)
    // needs one block; one more byte needs a second block of 1 byte.
    for (size_t size : {16372u, 16373u}) {
        SCOPED_TRACE(size);
        TestEntry entry = FileEntry("secret.bin", PseudoRandomBytes(size, 4), 0);
        entry.password = "pw";
        MemoryArchive archive({entry});
        ASSERT_EQ(archive.Open(0, "pw"), READER_OK);
        ByteVector buffer(20000);
        uint8_t endFlag = 0;
        ASSERT_EQ(ReadEntryStream(archive.get(), buffer.data(), 16372, &endFlag), 16372);
        const uint32_t afterFirst = archive.get()->source->memoryPos;
        EXPECT_EQ(afterFirst, archive.layout.entries[0].dataPos + 16384);
        if (size == 16373) {
            EXPECT_EQ(endFlag, 0);
            ASSERT_EQ(ReadEntryStream(archive.get(), buffer.data() + 16372, 100, &endFlag), 1);
            EXPECT_EQ(archive.get()->source->memoryPos, afterFirst + 1);
        }
        EXPECT_EQ(endFlag, 1);
        buffer.resize(size);
        EXPECT_TRUE(buffer == entry.data);
        EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);
    }
}

TEST(EntryStreamTest, EachBlockIsReadAtTheArchiveStartPlusItsOffset)
{
    const ByteVector data = RepeatedText(60000);
    const ByteVector noise = PseudoRandomBytes(50000, 8);
    for (bool adjusted : {false, true}) {
        SCOPED_TRACE(adjusted);
        ZipOptions options;
        options.prefix = PseudoRandomBytes(1000, 2);
        options.offsetsFromFileStart = adjusted;
        MemoryArchive archive({FileEntry("t", data, 0), FileEntry("n", noise, 8)}, options);
        ASSERT_NE(archive.get(), nullptr);
        EXPECT_EQ(archive.get()->archiveStart, adjusted ? 0u : 1000u);
        for (int index = 0; index < 2; ++index) {
            ASSERT_EQ(archive.Open(index), READER_OK);
            ByteVector read;
            ByteVector buffer(5000);
            uint8_t endFlag = 0;
            while (endFlag == 0) {
                int n = ReadEntryStream(archive.get(), buffer.data(), 5000, &endFlag);
                ASSERT_GT(n, 0);
                read.insert(read.end(), buffer.begin(), buffer.begin() + n);
                // Someone else moves the shared source between reads.
                ASSERT_TRUE(SeekSource(archive.get()->source, 3));
            }
            EXPECT_TRUE(read == (index == 0 ? data : noise));
            EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);
        }
    }
}

TEST(EntryStreamTest, OpeningAgainClosesTheOpenStream)
{
    TestEntry lying = FileEntry("lying", RepeatedText(500), 8);
    lying.crc = 1;
    TestEntry bad = FileEntry("bad", RepeatedText(10), 8);
    bad.local.method = 0;
    MemoryArchive archive({lying, FileEntry("good", RepeatedText(700), 0), bad});
    ASSERT_EQ(archive.Open(0), READER_OK);
    ReadResult first = ReadToEnd(archive.get(), 16384);
    ASSERT_TRUE(first.ended);
    // The old stream's CRC error is not reported by the next open.
    ASSERT_EQ(GoToNextEntry(archive.get()), READER_OK);
    ASSERT_EQ(OpenEntryStream(archive.get(), nullptr), READER_OK);
    ReadResult second = ReadToEnd(archive.get(), 100);
    EXPECT_TRUE(second.bytes == RepeatedText(700));
    // An open that fails still closes the stream that was open.
    ASSERT_EQ(GoToNextEntry(archive.get()), READER_OK);
    EXPECT_EQ(OpenEntryStream(archive.get(), nullptr), READER_BAD_ARCHIVE);
    EXPECT_EQ(archive.get()->stream, nullptr);
    EXPECT_EQ(CloseEntryStream(archive.get()), READER_PARAM_ERROR);
}

TEST(EntryStreamTest, CrcIsComparedOnlyWhenEveryByteWasDelivered)
{
    for (uint16_t method : {0, 8}) {
        SCOPED_TRACE(method);
        TestEntry lying = FileEntry("lying", RepeatedText(3000), method);
        lying.crc = Crc32Of(lying.data) ^ 0x100;
        TestEntry emptyLying = FileEntry("empty", {}, method);
        emptyLying.crc = 5;
        MemoryArchive archive({lying, emptyLying, FileEntry("ok", RepeatedText(3000), method)});

        ASSERT_EQ(archive.Open(0), READER_OK);
        ReadResult result = ReadToEnd(archive.get(), 1000);
        ASSERT_TRUE(result.ended);
        EXPECT_TRUE(result.bytes == lying.data);
        EXPECT_EQ(CloseEntryStream(archive.get()), READER_CRC_ERROR);
        EXPECT_EQ(archive.get()->stream, nullptr);

        // Closed before the last byte: no comparison.
        ASSERT_EQ(archive.Open(0), READER_OK);
        uint8_t buffer[100];
        ASSERT_EQ(ReadEntryStream(archive.get(), buffer, sizeof buffer, nullptr), 100);
        EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);

        ASSERT_EQ(archive.Open(1), READER_OK);
        EXPECT_TRUE(ReadToEnd(archive.get(), 10).ended);
        EXPECT_EQ(CloseEntryStream(archive.get()), READER_CRC_ERROR);

        ASSERT_EQ(archive.Open(2), READER_OK);
        EXPECT_TRUE(ReadToEnd(archive.get(), 999).ended);
        EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);
    }
}

TEST(EntryStreamTest, DeflateStreamThatEndsEarlyOrRunsLongIsDamaged)
{
    // Declared larger than the deflate stream gives: the end comes with the
    // bytes produced, but the entry is not passed off as complete.
    TestEntry shortStream = FileEntry("short", RepeatedText(5000), 8);
    shortStream.uncompressedSize = 6000;
    // Declared smaller: exactly the declared bytes are delivered, and their
    // CRC is not the one declared for the whole.
    TestEntry longStream = FileEntry("long", RepeatedText(5000), 8);
    longStream.uncompressedSize = 4000;
    MemoryArchive archive({shortStream, longStream});

    ASSERT_EQ(archive.Open(0), READER_OK);
    ReadResult result = ReadToEnd(archive.get(), 16384);
    EXPECT_TRUE(result.ended);
    EXPECT_TRUE(result.bytes == shortStream.data);
    uint8_t buffer[10];
    uint8_t endFlag = 0;
    EXPECT_EQ(ReadEntryStream(archive.get(), buffer, sizeof buffer, &endFlag), 0);
    EXPECT_EQ(endFlag, 1);
    EXPECT_EQ(CloseEntryStream(archive.get()), READER_CRC_ERROR);

    ASSERT_EQ(archive.Open(1), READER_OK);
    result = ReadToEnd(archive.get(), 1500);
    EXPECT_TRUE(result.ended);
    EXPECT_TRUE(result.bytes ==
                ByteVector(longStream.data.begin(), longStream.data.begin() + 4000));
    EXPECT_EQ(CloseEntryStream(archive.get()), READER_CRC_ERROR);
}

TEST(EntryStreamTest, TruncatedAndCorruptDeflateData)
{
    const ByteVector data = RepeatedText(20000);
    const ByteVector deflated = DeflateRaw(PseudoRandomBytes(30000, 6));
    TestEntry truncated = FileEntry("truncated", PseudoRandomBytes(30000, 6), 8);
    truncated.payload = ByteVector(deflated.begin(), deflated.begin() + deflated.size() / 2);
    TestEntry corrupt = FileEntry("corrupt", data, 8);
    corrupt.payload = ByteVector(100, 0xFF);  // a final block of the reserved type
    TestEntry emptyPayload = FileEntry("nothing", data, 8);
    emptyPayload.payload = ByteVector{};
    MemoryArchive archive({truncated, corrupt, emptyPayload});

    ASSERT_EQ(archive.Open(0), READER_OK);
    ReadResult result = ReadToEnd(archive.get(), 16384);
    EXPECT_EQ(result.status, Z_BUF_ERROR);
    EXPECT_FALSE(result.ended);
    // Still open after the error; closing owes no CRC.
    ASSERT_NE(archive.get()->stream, nullptr);
    EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);

    ASSERT_EQ(archive.Open(1), READER_OK);
    EXPECT_EQ(ReadToEnd(archive.get(), 16384).status, Z_DATA_ERROR);
    uint8_t buffer[10];
    EXPECT_EQ(ReadEntryStream(archive.get(), buffer, sizeof buffer, nullptr), Z_DATA_ERROR);
    EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);

    ASSERT_EQ(archive.Open(2), READER_OK);
    EXPECT_EQ(ReadToEnd(archive.get(), 16384).status, Z_BUF_ERROR);
    EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);
}

TEST(EntryStreamTest, DamagedDeflateDataNeverHangs)
{
    const ByteVector data = RepeatedText(3000);
    const ByteVector deflated = DeflateRaw(data);
    int finished = 0;
    for (size_t position = 0; position < deflated.size(); ++position) {
        for (uint8_t flip : {0x01, 0x10, 0x80, 0xFF}) {
            TestEntry entry = FileEntry("mutated", data, 8);
            entry.payload = deflated;
            (*entry.payload)[position] ^= flip;
            MemoryArchive archive({entry});
            ASSERT_EQ(archive.Open(0), READER_OK);
            // Every call delivers at least one byte or stops the read, so
            // 3001 calls of 1 byte must always be enough.
            ReadResult result = ReadToEnd(archive.get(), 1, 3001);
            finished += result.ended || result.status < 0;
            CloseEntryStream(archive.get());
        }
    }
    EXPECT_EQ(finished, static_cast<int>(deflated.size() * 4));
}

TEST(EntryStreamTest, StoredDataShorterThanDeclaredIsDamaged)
{
    TestEntry shortData = FileEntry("short", RepeatedText(100), 0);
    shortData.compressedSize = 60;
    TestEntry shortHeader = FileEntry("header", RepeatedText(10), 0);
    shortHeader.password = "pw";
    shortHeader.compressedSize = 5;  // not even the encryption header
    TestEntry encryptedShort = FileEntry("enc", RepeatedText(100), 0);
    encryptedShort.password = "pw";
    encryptedShort.compressedSize = 100;  // 12 short of header plus data
    MemoryArchive archive({shortData, shortHeader, encryptedShort});

    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        ASSERT_EQ(archive.Open(index, "pw"), READER_OK);
        ReadResult result = ReadToEnd(archive.get(), 1000);
        EXPECT_EQ(result.status, READER_BAD_ARCHIVE);
        EXPECT_FALSE(result.ended);
        uint8_t buffer[10];
        EXPECT_EQ(ReadEntryStream(archive.get(), buffer, sizeof buffer, nullptr),
                  READER_BAD_ARCHIVE);
        EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);
    }
}

TEST(EntryStreamTest, UnsupportedMethodsAndMismatchedHeadersRefuseTheOpen)
{
    TestEntry method12 = FileEntry("bzip2", RepeatedText(50), 12);
    TestEntry method14 = FileEntry("lzma", RepeatedText(50), 14);
    TestEntry sizes = FileEntry("sizes", RepeatedText(50), 8);
    sizes.local.uncompressedSize = 49;
    MemoryArchive archive({FileEntry("good", RepeatedText(50), 0), method12, method14, sizes});
    for (int index = 1; index < 4; ++index) {
        ASSERT_EQ(archive.Open(0), READER_OK);
        EXPECT_EQ(archive.Open(index), READER_BAD_ARCHIVE) << index;
        EXPECT_EQ(archive.get()->stream, nullptr);
    }

    uint8_t buffer[4];
    uint8_t endFlag = 7;
    EXPECT_EQ(OpenEntryStream(nullptr, nullptr), READER_PARAM_ERROR);
    EXPECT_EQ(ReadEntryStream(archive.get(), buffer, sizeof buffer, &endFlag), READER_PARAM_ERROR);
    EXPECT_EQ(endFlag, 0);
    endFlag = 7;
    EXPECT_EQ(ReadEntryStream(nullptr, buffer, sizeof buffer, &endFlag), READER_PARAM_ERROR);
    EXPECT_EQ(endFlag, 0);
    EXPECT_EQ(CloseEntryStream(nullptr), READER_PARAM_ERROR);

    // No valid current entry: refused, and an open stream stays open.
    MemoryArchive invalid({FileEntry("fine", RepeatedText(5), 0), FileEntry("broken", {}, 0)});
    ASSERT_EQ(invalid.Open(0), READER_OK);
    EntryStream* open = invalid.get()->stream;
    invalid.directory.bytes()[invalid.layout.entries[1].centralHeaderPos] = 0;
    ASSERT_EQ(GoToNextEntry(invalid.get()), READER_BAD_ARCHIVE);
    EXPECT_EQ(OpenEntryStream(invalid.get(), nullptr), READER_PARAM_ERROR);
    EXPECT_EQ(invalid.get()->stream, open);
}

TEST(EntryStreamTest, DataCutShortGivesReadError)
{
    // The headers promise more data than the archive holds.
    TestEntry entry = FileEntry("cut", RepeatedText(40000), 0);
    entry.payload = RepeatedText(36000);
    entry.compressedSize = 40000;
    const ByteVector bytes = BuildZip({entry});
    ScratchFolder dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("cut.zip"), bytes));
    ReaderPtr fromFile(OpenDirectory(OpenByteSource(dir.File("cut.zip").string().c_str())));
    ReaderPtr fromMemory(OpenMemoryDirectory(bytes));
    for (DirectoryReader* reader : {fromFile.get(), fromMemory.get()}) {
        ASSERT_NE(reader, nullptr);
        ASSERT_EQ(OpenEntryStream(reader, nullptr), READER_OK);
        ByteVector buffer(16384);
        // Two blocks lie within the file; the third runs past its end.
        ASSERT_EQ(ReadEntryStream(reader, buffer.data(), 16384, nullptr), 16384);
        ASSERT_EQ(ReadEntryStream(reader, buffer.data(), 16384, nullptr), 16384);
        const uint32_t inputPos = reader->stream->inputPos;
        const uint32_t compressedLeft = reader->stream->compressedLeft;
        EXPECT_EQ(ReadEntryStream(reader, buffer.data(), 16384, nullptr), READER_ERRNO);
        EXPECT_EQ(reader->stream->inputPos, inputPos);
        EXPECT_EQ(reader->stream->compressedLeft, compressedLeft);
        EXPECT_EQ(ReadEntryStream(reader, buffer.data(), 16384, nullptr), READER_ERRNO);
        EXPECT_EQ(CloseEntryStream(reader), READER_OK);
    }
}

TEST(EntryStreamTest, TraditionalEncryptionBuiltHere)
{
    for (uint16_t method : {0, 8}) {
        for (bool descriptor : {false, true}) {
            SCOPED_TRACE(method * 10 + descriptor);
            TestEntry entry = FileEntry("secret.txt", RepeatedText(30000), method);
            entry.password = "pässwort";
            entry.dataDescriptor = descriptor;
            entry.dosTime = 0xA5C3;
            // The check byte by the other rule than the flags call for.
            TestEntry otherRule = entry;
            otherRule.checkByte = descriptor ? static_cast<uint8_t>(Crc32Of(entry.data) >> 24)
                                             : static_cast<uint8_t>(entry.dosTime >> 8);
            // An empty password leaves the keys as they start: no password opens it.
            TestEntry emptyPassword = entry;
            emptyPassword.password = "";
            MemoryArchive archive({entry, otherRule, emptyPassword});

            ASSERT_EQ(archive.Open(0, "pässwort"), READER_OK);
            ReadResult result = ReadToEnd(archive.get(), 7000);
            EXPECT_TRUE(result.ended);
            EXPECT_TRUE(result.bytes == entry.data);
            EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);

            for (const char* wrong : {static_cast<const char*>(nullptr), "passwort"}) {
                ASSERT_EQ(archive.Open(0, wrong), READER_OK);
                EXPECT_EQ(ReadToEnd(archive.get(), 7000).status, READER_PASSWORD);
                EXPECT_EQ(archive.get()->stream->headerLeft, 0u);
                EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);
            }

            ASSERT_EQ(archive.Open(1, "pässwort"), READER_OK);
            EXPECT_EQ(ReadToEnd(archive.get(), 7000).status, READER_PASSWORD);
            CloseEntryStream(archive.get());

            ASSERT_EQ(archive.Open(2, nullptr), READER_OK);
            result = ReadToEnd(archive.get(), 7000);
            EXPECT_TRUE(result.bytes == entry.data);
            EXPECT_EQ(CloseEntryStream(archive.get()), READER_OK);
        }
    }
}

TEST(EntryStreamTest, DecryptionUndoesTheCipher)
{
    const ByteVector plain = PseudoRandomBytes(1000, 12);
    const ByteVector cipher = EncryptTraditional(plain, "k\xE9y");
    CipherKeys keys{};
    InitialiseKeys(&keys, "k\xE9y");
    ByteVector decrypted;
    for (uint8_t c : cipher) {
        decrypted.push_back(DecryptByte(&keys, c));
    }
    EXPECT_TRUE(decrypted == plain);
    InitialiseKeys(&keys, nullptr);
    EXPECT_EQ(keys.key[0], 0x12345678u);
    EXPECT_EQ(keys.key[1], 0x23456789u);
    EXPECT_EQ(keys.key[2], 0x34567890u);
}

TEST(EntryStreamTest, InfoZipEncryptedArchive)
{
    const std::string path = std::string(TEST_DATA_DIR) + "/infozip_encrypted.zip";
    ReaderPtr reader(OpenDirectory(OpenByteSource(path.c_str())));
    ASSERT_NE(reader, nullptr);
    for (int index = 0; index < 2; ++index) {
        SCOPED_TRACE(index);
        if (index == 1) {
            ASSERT_EQ(GoToNextEntry(reader.get()), READER_OK);
        }
        char name[MAX_PATH] = {};
        ASSERT_EQ(ReadCentralHeader(reader.get(), nullptr, nullptr, name, sizeof name), READER_OK);
        ASSERT_EQ(OpenEntryStream(reader.get(), kRealArchivePassword), READER_OK);
        ReadResult result = ReadToEnd(reader.get(), 16384);
        EXPECT_TRUE(result.ended);
        EXPECT_TRUE(result.bytes == *KnownContent(name));
        EXPECT_EQ(CloseEntryStream(reader.get()), READER_OK);

        for (const char* wrong : {static_cast<const char*>(nullptr), "Secret"}) {
            ASSERT_EQ(OpenEntryStream(reader.get(), wrong), READER_OK);
            EXPECT_EQ(ReadToEnd(reader.get(), 16384).status, READER_PASSWORD);
            EXPECT_EQ(CloseEntryStream(reader.get()), READER_OK);
        }
    }
}

TEST(EntryStreamTest, EveryEntryOfTheRealArchivesReadsBack)
{
    for (const RealArchive& archive : RealArchives()) {
        SCOPED_TRACE(archive.file);
        const std::string path = std::string(TEST_DATA_DIR) + "/" + archive.file;
        ReaderPtr reader(OpenDirectory(OpenByteSource(path.c_str())));
        ASSERT_NE(reader, nullptr);
        for (size_t i = 0; i < archive.entries.size(); ++i) {
            const RealEntry& expected = archive.entries[i];
            SCOPED_TRACE(expected.name);
            if (i > 0) {
                ASSERT_EQ(GoToNextEntry(reader.get()), READER_OK);
            }
            for (uint32_t chunk : {16384u, 333u}) {
                ASSERT_EQ(OpenEntryStream(reader.get(), kRealArchivePassword), READER_OK);
                ReadResult result = ReadToEnd(reader.get(), chunk);
                EXPECT_TRUE(result.ended);
                EXPECT_EQ(result.bytes.size(), expected.uncompressedSize);
                EXPECT_EQ(Crc32Of(result.bytes), expected.crc);
                std::optional<ByteVector> content = KnownContent(expected.name);
                if (content) {
                    EXPECT_TRUE(result.bytes == *content);
                }
                EXPECT_EQ(CloseEntryStream(reader.get()), READER_OK);
            }
        }
    }
}

}  // namespace
