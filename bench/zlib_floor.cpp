// The floor for unpacking an archive: zlib alone inflating and checking the
// CRC-32 of every entry, with the whole archive already in memory and
// nothing written anywhere. No extracting tool can beat this.
//
//     zlib_floor ARCHIVE RUNS
//
// Prints one line per run: the seconds spent inflating and checking. Exits
// with 1 when the archive cannot be read or an entry fails its check.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <zlib.h>

namespace {

constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kOutputSize = 65536;

struct Entry {
    uint32_t method;
    uint32_t crc;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    size_t dataOffset;
};

uint32_t ReadLittle16(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | uint32_t(bytes[at + 1]) << 8;
}

uint32_t ReadLittle32(const std::vector<uint8_t>& bytes, size_t at)
{
    return ReadLittle16(bytes, at) | ReadLittle16(bytes, at + 2) << 16;
}

bool LoadFile(const char* path, std::vector<uint8_t>* bytes)
{
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    uint8_t block[1 << 16];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0)
        bytes->insert(bytes->end(), block, block + n);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

// Position of the end record, or 0 with `found` false.
size_t FindEndRecord(const std::vector<uint8_t>& bytes, bool* found)
{
    *found = false;
    if (bytes.size() < kEndRecordSize) return 0;
    const size_t lowest =
        bytes.size() > 0xFFFF + kEndRecordSize ? bytes.size() - 0xFFFF - kEndRecordSize : 0;
    for (size_t at = bytes.size() - kEndRecordSize + 1; at-- > lowest;) {
        if (ReadLittle32(bytes, at) == kEndSignature) {
            *found = true;
            return at;
        }
    }
    return 0;
}

// The entries of a plain archive (offsets counted from the file's start).
bool ListEntries(const std::vector<uint8_t>& bytes, std::vector<Entry>* entries)
{
    bool found = false;
    const size_t end = FindEndRecord(bytes, &found);
    if (!found) return false;
    const uint32_t count = ReadLittle16(bytes, end + 10);
    size_t at = ReadLittle32(bytes, end + 16);
    for (uint32_t i = 0; i < count; ++i) {
        if (at + kCentralHeaderSize > end || ReadLittle32(bytes, at) != kCentralSignature)
            return false;
        Entry entry{};
        entry.method = ReadLittle16(bytes, at + 10);
        entry.crc = ReadLittle32(bytes, at + 16);
        entry.compressedSize = ReadLittle32(bytes, at + 20);
        entry.uncompressedSize = ReadLittle32(bytes, at + 24);
        const size_t local = ReadLittle32(bytes, at + 42);
        if (local + kLocalHeaderSize > bytes.size() ||
            ReadLittle32(bytes, local) != kLocalSignature)
            return false;
        entry.dataOffset = local + kLocalHeaderSize + ReadLittle16(bytes, local + 26) +
                           ReadLittle16(bytes, local + 28);
        if (entry.dataOffset + entry.compressedSize > bytes.size()) return false;
        entries->push_back(entry);
        at += kCentralHeaderSize + ReadLittle16(bytes, at + 28) + ReadLittle16(bytes, at + 30) +
              ReadLittle16(bytes, at + 32);
    }
    return true;
}

bool InflateEntry(z_stream* stream, const uint8_t* data, const Entry& entry, uint8_t* output)
{
    if (inflateReset(stream) != Z_OK) return false;
    stream->next_in = const_cast<uint8_t*>(data);
    stream->avail_in = entry.compressedSize;
    uLong crc = crc32(0, nullptr, 0);
    uint32_t produced = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        stream->next_out = output;
        stream->avail_out = kOutputSize;
        status = inflate(stream, Z_NO_FLUSH);
        const uint32_t n = uint32_t(kOutputSize - stream->avail_out);
        crc = crc32(crc, output, n);
        produced += n;
    }
    return status == Z_STREAM_END && produced == entry.uncompressedSize && crc == entry.crc;
}

bool CheckEntry(z_stream* stream, const std::vector<uint8_t>& bytes, const Entry& entry,
                uint8_t* output)
{
    const uint8_t* data = bytes.data() + entry.dataOffset;
    if (entry.method == 0)
        return crc32(crc32(0, nullptr, 0), data, entry.compressedSize) == entry.crc;
    if (entry.method == 8) return InflateEntry(stream, data, entry, output);
    return false;
}

// Seconds for one pass over every entry, or a negative value on failure.
double TimePass(const std::vector<uint8_t>& bytes, const std::vector<Entry>& entries)
{
    static uint8_t output[kOutputSize];
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) return -1;
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    for (const Entry& entry : entries) ok = CheckEntry(&stream, bytes, entry, output) && ok;
    const auto stop = std::chrono::steady_clock::now();
    inflateEnd(&stream);
    return ok ? std::chrono::duration<double>(stop - start).count() : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: zlib_floor ARCHIVE RUNS\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    std::vector<Entry> entries;
    if (!LoadFile(argv[1], &bytes) || !ListEntries(bytes, &entries)) {
        std::fprintf(stderr, "zlib_floor: cannot read %s\n", argv[1]);
        return 1;
    }
    const int runs = std::atoi(argv[2]);
    for (int run = 0; run < runs; ++run) {
        const double seconds = TimePass(bytes, entries);
        if (seconds < 0) {
            std::fprintf(stderr, "zlib_floor: an entry of %s failed its check\n", argv[1]);
            return 1;
        }
        std::printf("%.6f\n", seconds);
    }
    return 0;
}
