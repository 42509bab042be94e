#include "written_files.h"

#include <cstdint>
#include <new>

namespace {

constexpr size_t kFirstCapacity = 64;

bool ReadFileId(const char* path, FileId* id)
{
    // Attributes only: no other program's share mode stands in the way.
    HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool known = GetFileInformationByHandle(file, &information) != FALSE;
    CloseHandle(file);
    if (!known) return false;
    *id = FileId{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                 information.nFileIndexLow};
    return true;
}

bool IsZero(const FileId& id)
{
    return id.volume == 0 && id.indexHigh == 0 && id.indexLow == 0;
}

bool IsSame(const FileId& first, const FileId& second)
{
    return first.volume == second.volume && first.indexHigh == second.indexHigh &&
           first.indexLow == second.indexLow;
}

// The slot holding `id`, or the free slot where it would go; `capacity` is
// a power of two and never full.
size_t SlotFor(const FileId* slots, size_t capacity, const FileId& id)
{
    uint64_t hash = (uint64_t(id.indexHigh) << 32 | id.indexLow) ^ (uint64_t(id.volume) << 17);
    hash *= 0x9E3779B97F4A7C15ull;
    size_t slot = size_t(hash >> 32) & (capacity - 1);
    while (!IsZero(slots[slot]) && !IsSame(slots[slot], id)) slot = (slot + 1) & (capacity - 1);
    return slot;
}

// Twice the room, the identities moved over; false without memory.
bool Grow(WrittenFiles* files)
{
    const size_t capacity = files->capacity ? files->capacity * 2 : kFirstCapacity;
    FileId* slots = new (std::nothrow) FileId[capacity]();
    if (!slots) return false;
    for (size_t i = 0; i < files->capacity; ++i) {
        if (!IsZero(files->slots[i])) {
            slots[SlotFor(slots, capacity, files->slots[i])] = files->slots[i];
        }
    }
    delete[] files->slots;
    files->slots = slots;
    files->capacity = capacity;
    return true;
}

}  // namespace

bool IsWrittenFile(const WrittenFiles& files, const char* path)
{
    if (files.count == 0 && !files.holdsZero && !files.incomplete) return false;
    FileId id;
    if (files.incomplete || !ReadFileId(path, &id)) return true;
    if (IsZero(id)) return files.holdsZero;
    return files.capacity > 0 && IsSame(files.slots[SlotFor(files.slots, files.capacity, id)], id);
}

void RememberWrittenFile(WrittenFiles* files, const char* path)
{
    FileId id;
    if (!ReadFileId(path, &id)) {
        files->incomplete = true;
        return;
    }
    if (IsZero(id)) {
        files->holdsZero = true;
        return;
    }
    if ((files->count + 1) * 4 > files->capacity * 3 && !Grow(files)) {
        files->incomplete = true;
        return;
    }
    FileId& slot = files->slots[SlotFor(files->slots, files->capacity, id)];
    if (IsZero(slot)) ++files->count;
    slot = id;
}

void ForgetWrittenFiles(WrittenFiles* files)
{
    delete[] files->slots;
    *files = WrittenFiles{nullptr, 0, 0, false, false};
}
