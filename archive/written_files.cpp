#include "written_files.h"

#include <cstring>
#include <new>

#include "../platform/path_text.h"

namespace {

// A record: size (4), link (4), its path's handle in `paths` (4), flags (1).
constexpr size_t kRecordSize = 13;
constexpr size_t kFirstSlots = 64;
constexpr char kIdRead = 1;

// The slot of `key` in a table of `slots` (a power of two, never full).
size_t FirstSlot(uint64_t key, size_t slots)
{
    return size_t((key * 0x9E3779B97F4A7C15ull) >> 32) & (slots - 1);
}

// The slot holding `id`, or the free slot (an unknown identity) where it
// would go.
size_t IdSlotFor(const FileIdentity* ids, size_t slots, const FileIdentity& id)
{
    const uint64_t key = (uint64_t(id.indexHigh) << 32 | id.indexLow) ^ (uint64_t(id.volume) << 17);
    size_t slot = FirstSlot(key, slots);
    while (ids[slot].known && !IsSameFile(ids[slot], id)) slot = (slot + 1) & (slots - 1);
    return slot;
}

bool AddId(WrittenFiles* files, const FileIdentity& id)
{
    if ((files->idCount + 1) * 4 > files->idSlots * 3) {
        const size_t slots = files->idSlots ? files->idSlots * 2 : kFirstSlots;
        FileIdentity* ids = new (std::nothrow) FileIdentity[slots]();
        if (!ids) return false;
        for (size_t i = 0; i < files->idSlots; ++i) {
            if (files->ids[i].known) ids[IdSlotFor(ids, slots, files->ids[i])] = files->ids[i];
        }
        delete[] files->ids;
        files->ids = ids;
        files->idSlots = slots;
    }
    FileIdentity& slot = files->ids[IdSlotFor(files->ids, files->idSlots, id)];
    if (!slot.known) ++files->idCount;
    slot = id;
    return true;
}

bool HasId(const WrittenFiles& files, const FileIdentity& id)
{
    return files.idSlots > 0 && IsSameFile(files.ids[IdSlotFor(files.ids, files.idSlots, id)], id);
}

uint32_t ReadField(const char* record, size_t at)
{
    uint32_t value;
    std::memcpy(&value, record + at, sizeof value);
    return value;
}

// The slot of `table` holding the latest record of `size`, or the free slot
// where it would go.
size_t SizeSlotFor(const RecordPool& records, const uint32_t* table, size_t slots, uint32_t size)
{
    size_t slot = FirstSlot(size, slots);
    while (table[slot] != 0 && ReadField(PoolRecordAt(records, table[slot] - 1), 0) != size) {
        slot = (slot + 1) & (slots - 1);
    }
    return slot;
}

// Room in the size table for one more size.
bool MakeRoom(WrittenFiles* files)
{
    if ((files->sizeCount + 1) * 4 > files->sizeSlots * 3) {
        const size_t slots = files->sizeSlots ? files->sizeSlots * 2 : kFirstSlots;
        uint32_t* table = new (std::nothrow) uint32_t[slots]();
        if (!table) return false;
        for (size_t i = 0; i < files->sizeSlots; ++i) {
            const uint32_t link = files->latestOfSize[i];
            if (link == 0) continue;
            table[SizeSlotFor(files->records, table, slots,
                              ReadField(PoolRecordAt(files->records, link - 1), 0))] = link;
        }
        delete[] files->latestOfSize;
        files->latestOfSize = table;
        files->sizeSlots = slots;
    }
    return true;
}

// Reads the identities of the files of the chain from `link`: newer files
// come first, so the first one read already ends the walk.
bool ReadChainIds(WrittenFiles* files, const char* base, uint32_t link)
{
    for (; link != 0; link = ReadField(PoolRecordAt(files->records, link - 1), 4)) {
        char* record = PoolRecordAt(files->records, link - 1);
        if (record[12] & kIdRead) return true;
        char path[MAX_PATH];
        const char* stored = PoolRecordAt(*files->paths, ReadField(record, 8));
        if (!ConcatenatePath(path, base, stored)) return false;
        const FileIdentity id = IdentifyFile(path);
        if (!id.known || !AddId(files, id)) return false;
        record[12] |= kIdRead;
    }
    return true;
}

}  // namespace

bool IsWrittenFile(WrittenFiles* files, const char* base, const char* path,
                   const WIN32_FILE_ATTRIBUTE_DATA& found)
{
    if (files->incomplete) return true;
    if (files->sizeCount == 0 || found.nFileSizeHigh != 0) return false;
    const uint32_t latest = files->latestOfSize[SizeSlotFor(files->records, files->latestOfSize,
                                                            files->sizeSlots, found.nFileSizeLow)];
    if (latest == 0) return false;
    if (!ReadChainIds(files, base, latest)) return true;
    const FileIdentity id = IdentifyFile(path);
    return !id.known || HasId(*files, id);
}

void RememberWrittenFile(WrittenFiles* files, uint32_t path, uint32_t size)
{
    if (files->incomplete) return;
    uint32_t handle = 0;
    if (!MakeRoom(files) || !AddPoolRecord(&files->records, kRecordSize, &handle)) {
        files->incomplete = true;
        return;
    }
    const size_t slot = SizeSlotFor(files->records, files->latestOfSize, files->sizeSlots, size);
    const uint32_t previous = files->latestOfSize[slot];
    char* record = PoolRecordAt(files->records, handle);
    std::memcpy(record, &size, sizeof size);
    std::memcpy(record + 4, &previous, sizeof previous);
    std::memcpy(record + 8, &path, sizeof path);
    record[12] = 0;
    if (previous == 0) ++files->sizeCount;
    files->latestOfSize[slot] = handle + 1;
}

void ForgetWrittenFiles(WrittenFiles* files)
{
    FreeRecordPool(&files->records);
    delete[] files->latestOfSize;
    delete[] files->ids;
    const RecordPool* paths = files->paths;
    *files = WrittenFiles{};
    files->paths = paths;
}
