#include "support/zip_builder.h"

#include <zlib.h>

#include <initializer_list>

namespace {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kDescriptorSignature = 0x08074B50;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;

// Little-endian fields, in the order given.
void Put16(ByteVector& out, std::initializer_list<uint32_t> values)
{
    for (uint32_t value : values) {
        out.push_back(static_cast<uint8_t>(value));
        out.push_back(static_cast<uint8_t>(value >> 8));
    }
}

void Put32(ByteVector& out, std::initializer_list<uint32_t> values)
{
    for (uint32_t value : values) {
        Put16(out, {value & 0xFFFF, value >> 16});
    }
}

void Append(ByteVector& out, const ByteVector& bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void Append(ByteVector& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// The cipher's own CRC step (reflected 0xEDB88320, no inversion), kept apart
// from the reader's so that the two check each other.
uint32_t CipherCrcStep(uint32_t value, uint8_t byte)
{
    uint32_t c = (value ^ byte) & 0xFF;
    for (int bit = 0; bit < 8; ++bit) {
        c = (c & 1) != 0 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return (value >> 8) ^ c;
}

struct Cipher {
    uint32_t key0 = 0x12345678;
    uint32_t key1 = 0x23456789;
    uint32_t key2 = 0x34567890;

    explicit Cipher(const std::string& password)
    {
        for (char c : password) {
            Update(static_cast<uint8_t>(c));
        }
    }

    void Update(uint8_t plain)
    {
        key0 = CipherCrcStep(key0, plain);
        key1 = (key1 + (key0 & 0xFF)) * 134775813u + 1;
        key2 = CipherCrcStep(key2, static_cast<uint8_t>(key1 >> 24));
    }

    uint8_t Encrypt(uint8_t plain)
    {
        uint32_t t = (key2 & 0xFFFF) | 2;
        uint8_t cipher = plain ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8);
        Update(plain);
        return cipher;
    }
};

struct HeaderValues {
    uint32_t signature;
    uint16_t versionNeeded;
    uint16_t flags;
    uint16_t method;
    uint32_t dosDateTime;
    uint32_t crc;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
    uint32_t localHeaderOffset;
    uint16_t diskStart;
};

void ApplyOverrides(const HeaderOverrides& o, HeaderValues* v)
{
    v->signature = o.signature.value_or(v->signature);
    v->versionNeeded = o.versionNeeded.value_or(v->versionNeeded);
    v->flags = o.flags.value_or(v->flags);
    v->method = o.method.value_or(v->method);
    v->dosDateTime = o.dosDateTime.value_or(v->dosDateTime);
    v->crc = o.crc.value_or(v->crc);
    v->compressedSize = o.compressedSize.value_or(v->compressedSize);
    v->uncompressedSize = o.uncompressedSize.value_or(v->uncompressedSize);
    v->nameLength = o.nameLength.value_or(v->nameLength);
    v->extraLength = o.extraLength.value_or(v->extraLength);
    v->localHeaderOffset = o.localHeaderOffset.value_or(v->localHeaderOffset);
    v->diskStart = o.diskStart.value_or(v->diskStart);
}

ByteVector EntryPayload(const TestEntry& entry)
{
    if (entry.payload) {
        return *entry.payload;
    }
    if (entry.method == 8) {
        return DeflateRaw(entry.data, entry.deflateLevel);
    }
    return entry.data;
}

ByteVector EncryptionHeader(const TestEntry& entry, uint32_t trueCrc)
{
    ByteVector header = PseudoRandomBytes(11, entry.encryptionSeed);
    uint8_t check = entry.dataDescriptor ? static_cast<uint8_t>(entry.dosTime >> 8)
                                         : static_cast<uint8_t>(trueCrc >> 24);
    header.push_back(entry.checkByte.value_or(check));
    return header;
}

struct BuiltEntry {
    HeaderValues values;
    ByteVector written;  // entry data as it lies in the archive
};

BuiltEntry BuildEntryData(const TestEntry& entry, EntryLayout* layout)
{
    BuiltEntry built{};
    uint32_t trueCrc = Crc32Of(entry.data);
    layout->crc = trueCrc;
    ByteVector payload = EntryPayload(entry);
    if (entry.password) {
        ByteVector plain = EncryptionHeader(entry, trueCrc);
        Append(plain, payload);
        built.written = EncryptTraditional(plain, *entry.password);
    } else {
        built.written = payload;
    }
    HeaderValues& v = built.values;
    v.versionNeeded = entry.versionNeeded;
    v.flags = entry.flags;
    if (entry.password) {
        v.flags |= kFlagEncrypted;
    }
    if (entry.dataDescriptor) {
        v.flags |= kFlagDescriptor;
    }
    v.method = entry.method;
    v.dosDateTime = entry.dosTime | (static_cast<uint32_t>(entry.dosDate) << 16);
    v.crc = entry.crc.value_or(trueCrc);
    v.compressedSize = entry.compressedSize.value_or(static_cast<uint32_t>(built.written.size()));
    v.uncompressedSize = entry.uncompressedSize.value_or(static_cast<uint32_t>(entry.data.size()));
    v.diskStart = 0;
    return built;
}

// The fields both headers carry, from the version needed to the extra length.
void PutSharedFields(ByteVector& out, const HeaderValues& v)
{
    Put16(out, {v.versionNeeded, v.flags, v.method});
    Put32(out, {v.dosDateTime, v.crc, v.compressedSize, v.uncompressedSize});
    Put16(out, {v.nameLength, v.extraLength});
}

void WriteLocalHeader(ByteVector& out, const TestEntry& entry, HeaderValues v)
{
    const std::string& name = entry.localName ? *entry.localName : entry.name;
    v.signature = kLocalSignature;
    if (entry.dataDescriptor) {
        v.crc = 0;
        v.compressedSize = 0;
        v.uncompressedSize = 0;
    }
    v.nameLength = static_cast<uint16_t>(name.size());
    v.extraLength = static_cast<uint16_t>(entry.localExtra.size());
    ApplyOverrides(entry.local, &v);
    Put32(out, {v.signature});
    PutSharedFields(out, v);
    Append(out, name);
    Append(out, entry.localExtra);
}

void WriteDescriptor(ByteVector& out, const TestEntry& entry, const HeaderValues& v)
{
    if (entry.descriptorSignature) {
        Put32(out, {kDescriptorSignature});
    }
    Put32(out, {v.crc, v.compressedSize, v.uncompressedSize});
}

void WriteCentralHeader(ByteVector& out, const TestEntry& entry, HeaderValues v)
{
    v.signature = kCentralSignature;
    v.nameLength = static_cast<uint16_t>(entry.name.size());
    v.extraLength = static_cast<uint16_t>(entry.centralExtra.size());
    ApplyOverrides(entry.central, &v);
    Put32(out, {v.signature});
    Put16(out, {entry.versionMadeBy});
    PutSharedFields(out, v);
    Put16(out,
          {static_cast<uint32_t>(entry.comment.size()), v.diskStart, entry.internalAttributes});
    Put32(out, {entry.externalAttributes, v.localHeaderOffset});
    Append(out, entry.name);
    Append(out, entry.centralExtra);
    Append(out, entry.comment);
}

// The end record: the values `options` sets, the given ones otherwise.
void PutEndRecord(ByteVector& out, const ZipOptions& options, uint16_t entries,
                  uint32_t directorySize, uint32_t directoryOffset, uint16_t commentLength)
{
    Put32(out, {kEndSignature});
    Put16(out, {options.thisDisk.value_or(0), options.directoryDisk.value_or(0),
                options.entriesOnDisk.value_or(entries), options.totalEntries.value_or(entries)});
    Put32(out, {options.directorySize.value_or(directorySize),
                options.directoryOffset.value_or(directoryOffset)});
    Put16(out, {options.commentLength.value_or(commentLength)});
}

}  // namespace

ByteVector BuildZip(const std::vector<TestEntry>& entries, const ZipOptions& options,
                    ZipLayout* layout)
{
    ZipLayout where{};
    ByteVector out = options.prefix;
    uint32_t archiveStart = static_cast<uint32_t>(options.prefix.size());
    uint32_t offsetBase = options.offsetsFromFileStart ? 0 : archiveStart;
    where.archiveStart = archiveStart;
    std::vector<HeaderValues> centralValues;
    for (const TestEntry& entry : entries) {
        EntryLayout entryLayout{};
        BuiltEntry built = BuildEntryData(entry, &entryLayout);
        entryLayout.localHeaderPos = static_cast<uint32_t>(out.size());
        built.values.localHeaderOffset = entryLayout.localHeaderPos - offsetBase;
        WriteLocalHeader(out, entry, built.values);
        entryLayout.dataPos = static_cast<uint32_t>(out.size());
        entryLayout.dataSize = static_cast<uint32_t>(built.written.size());
        Append(out, built.written);
        if (entry.dataDescriptor) {
            WriteDescriptor(out, entry, built.values);
        }
        centralValues.push_back(built.values);
        where.entries.push_back(entryLayout);
    }
    Append(out, options.afterData);
    where.directoryPos = static_cast<uint32_t>(out.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        where.entries[i].centralHeaderPos = static_cast<uint32_t>(out.size());
        WriteCentralHeader(out, entries[i], centralValues[i]);
    }
    where.directorySize = static_cast<uint32_t>(out.size()) - where.directoryPos;
    Append(out, options.afterDirectory);
    where.endRecordPos = static_cast<uint32_t>(out.size());
    if (options.writeEndRecord) {
        PutEndRecord(out, options, static_cast<uint16_t>(entries.size()), where.directorySize,
                     where.directoryPos - offsetBase,
                     static_cast<uint16_t>(options.comment.size()));
        Append(out, options.comment);
    }
    Append(out, options.trailer);
    if (layout != nullptr) {
        *layout = where;
    }
    return out;
}

ByteVector EndRecordBytes(uint16_t entries, uint32_t directorySize, uint32_t directoryOffset,
                          uint16_t commentLength)
{
    ByteVector out;
    PutEndRecord(out, ZipOptions{}, entries, directorySize, directoryOffset, commentLength);
    return out;
}

ByteVector ExtendedTimestampExtra(uint8_t flagBits, const std::vector<uint32_t>& times)
{
    ByteVector out;
    Put16(out, {0x5455, static_cast<uint32_t>(1 + 4 * times.size())});
    out.push_back(flagBits);
    for (uint32_t t : times) {
        Put32(out, {t});
    }
    return out;
}

ByteVector UnicodePathExtra(const std::string& storedName, const std::string& utf8Name,
                            std::optional<uint32_t> crc)
{
    ByteVector out;
    Put16(out, {0x7075, static_cast<uint32_t>(5 + utf8Name.size())});
    out.push_back(1);
    Put32(out, {crc.value_or(Crc32Of(Bytes(storedName)))});
    Append(out, utf8Name);
    return out;
}

ByteVector DeflateRaw(const ByteVector& data, int level)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    ByteVector out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

uint32_t Crc32Of(const ByteVector& data)
{
    return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

ByteVector Bytes(const std::string& text)
{
    return ByteVector(text.begin(), text.end());
}

TestEntry FileEntry(const std::string& name, const ByteVector& data, uint16_t method)
{
    TestEntry entry;
    entry.name = name;
    entry.data = data;
    entry.method = method;
    return entry;
}

TestEntry FolderEntry(const std::string& name)
{
    TestEntry entry = FileEntry(name, {}, 0);
    entry.externalAttributes = 0x10;
    return entry;
}

ByteVector PseudoRandomBytes(size_t size, uint32_t seed)
{
    ByteVector out(size);
    uint32_t state = seed * 2654435761u + 1;
    if (state == 0) {
        state = 1;
    }
    for (size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        out[i] = static_cast<uint8_t>(state >> 24);
    }
    return out;
}

ByteVector RepeatedText(size_t size)
{
    static const std::string line = "The quick brown fox jumps over the lazy dog. 0123456789\n";
    ByteVector out(size);
    for (size_t i = 0; i < size; ++i) {
        out[i] = static_cast<uint8_t>(line[(i + i / line.size()) % line.size()]);
    }
    return out;
}

ByteVector EncryptTraditional(const ByteVector& plain, const std::string& password)
{
    Cipher cipher(password);
    ByteVector out;
    out.reserve(plain.size());
    for (uint8_t p : plain) {
        out.push_back(cipher.Encrypt(p));
    }
    return out;
}
