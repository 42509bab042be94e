#include "files_left_behind.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "../archive/file_identity.h"
#include "../zip/entry_stream.h"
#include "folder_names.h"

namespace {

constexpr uint32_t kMostListBytes = 1u << 22;  // a list of that size is no list
constexpr uint32_t kMostShown = 20;

char FoldLetter(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c == '\\' ? '/' : c;
}

// `length` bytes of `name` as compared: '/' for '\', small ASCII letters, no
// separator at the end; zero-terminated into `folded`.
void FoldName(const char* name, size_t length, char* folded)
{
    while (length > 0 && (name[length - 1] == '/' || name[length - 1] == '\\')) --length;
    for (size_t i = 0; i < length; ++i) folded[i] = FoldLetter(name[i]);
    folded[length] = '\0';
}

bool IsBefore(const char* first, const char* second)
{
    return std::strcmp(first, second) < 0;
}

// The names a release accounts for, folded and sorted, in one pool.
struct KnownNames {
    std::unique_ptr<char[]> pool;
    std::unique_ptr<const char*[]> names;
    size_t count;
};

// The drop list's bytes, read from the archive's entry of that name; `found`
// false when there is none. False when it cannot be read.
bool ReadDropList(const char* archivePath, std::unique_ptr<char[]>* text, uint32_t* size,
                  bool* found)
{
    *size = 0;
    *found = false;
    ByteSource* source = OpenByteSource(archivePath);
    DirectoryReader* reader = source ? OpenDirectory(source) : nullptr;
    if (!reader) return false;
    bool read = true;
    for (ReaderStatus status = reader->currentValid ? READER_OK : READER_BAD_ARCHIVE;
         status == READER_OK; status = GoToNextEntry(reader)) {
        char name[MAX_PATH];
        if (ReadCentralHeader(reader, nullptr, nullptr, name, MAX_PATH) != READER_OK) continue;
        name[MAX_PATH - 1] = '\0';
        char folded[MAX_PATH];
        FoldName(name, std::strlen(name), folded);
        if (std::strcmp(folded, kDropListName) != 0) continue;
        const uint32_t declared = reader->currentInfo.uncompressedSize;
        text->reset(declared < kMostListBytes ? new (std::nothrow) char[declared + 1] : nullptr);
        read = *text && OpenEntryStream(reader, nullptr) == READER_OK;
        while (read && *size < declared) {
            const int got = ReadEntryStream(reader, text->get() + *size, declared - *size, nullptr);
            if (got <= 0) read = false;
            if (got > 0) *size += uint32_t(got);
        }
        if (reader->stream && CloseEntryStream(reader) != READER_OK) read = false;
        *found = read;
        break;
    }
    CloseDirectory(reader);
    return read;
}

// The entries' names, then each line of the drop list.
bool CollectKnownNames(const ArchiveWarnings& warnings, const char* list, uint32_t listSize,
                       KnownNames* known)
{
    size_t lines = 1;
    for (uint32_t i = 0; i < listSize; ++i) lines += list[i] == '\n';
    const size_t most = size_t(warnings.count) + lines;
    known->pool.reset(
        new (std::nothrow) char[size_t(warnings.count) * (MAX_PATH + 8) + listSize + lines]);
    known->names.reset(new (std::nothrow) const char*[most]);
    known->count = 0;
    if (!known->pool || !known->names) return false;
    char* next = known->pool.get();
    auto add = [&](const char* name, size_t length) {
        if (length == 0) return;
        FoldName(name, length, next);
        known->names[known->count++] = next;
        next += std::strlen(next) + 1;
    };
    for (int32_t i = 0; i < warnings.count; ++i) {
        add(warnings.entries[i].name, std::strlen(warnings.entries[i].name));
    }
    for (uint32_t start = 0; start < listSize;) {
        const char* end =
            static_cast<const char*>(std::memchr(list + start, '\n', listSize - start));
        const uint32_t stop = end ? uint32_t(end - list) : listSize;
        uint32_t length = stop - start;
        if (length > 0 && list[start + length - 1] == '\r') --length;
        add(list + start, length);
        start = stop + 1;
    }
    std::sort(known->names.get(), known->names.get() + known->count, IsBefore);
    return true;
}

bool IsOwnName(const char* name)
{
    char folded[5];
    FoldName(name, std::min<size_t>(std::strlen(name), 4), folded);
    return std::strcmp(folded, "~tvx") == 0;
}

struct LeftBehindWalk {
    const KnownNames* known;
    FileIdentity archive;
    uint64_t archiveSize;
    uint32_t found;
    // The first of them by name, sorted: the same lines whatever order the
    // file system lists a folder in.
    char shown[kMostShown][MAX_PATH];
    uint32_t shownCount;
};

void KeepFirstByName(LeftBehindWalk* walk, const char* name)
{
    uint32_t at = walk->shownCount;
    while (at > 0 && std::strcmp(name, walk->shown[at - 1]) < 0) --at;
    if (at == kMostShown) return;
    const uint32_t kept = std::min(walk->shownCount, kMostShown - 1);
    std::memmove(walk->shown[at + 1], walk->shown[at], (kept - at) * sizeof walk->shown[0]);
    std::snprintf(walk->shown[at], MAX_PATH, "%s", name);
    walk->shownCount = kept + 1;
}

bool IsArchive(const LeftBehindWalk& walk, const char* path, const WIN32_FIND_DATAA& found)
{
    const uint64_t size = (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    return size == walk.archiveSize && IsSameFile(walk.archive, IdentifyFile(path));
}

// `relative` is the path below the install folder, '/'-separated.
void WalkFolder(const char* folder, const char* relative, LeftBehindWalk* walk)
{
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, folder, "*")) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        char path[MAX_PATH];
        char name[MAX_PATH];
        const int length = std::snprintf(name, MAX_PATH, "%s%s%s", relative, relative[0] ? "/" : "",
                                         found.cFileName);
        if (IsDotName(found.cFileName) || IsOwnName(found.cFileName) ||
            !JoinPath(path, folder, found.cFileName) || length <= 0 || length >= MAX_PATH) {
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            WalkFolder(path, name, walk);
            continue;
        }
        char folded[MAX_PATH];
        FoldName(name, size_t(length), folded);
        const KnownNames& known = *walk->known;
        if (std::binary_search(known.names.get(), known.names.get() + known.count,
                               static_cast<const char*>(folded), IsBefore) ||
            IsArchive(*walk, path, found)) {
            continue;
        }
        ++walk->found;
        KeepFirstByName(walk, name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

uint32_t PrintFilesLeftBehind(const char* archivePath, const char* installFolder,
                              const ArchiveWarnings& warnings, FILE* out)
{
    std::unique_ptr<char[]> list;
    uint32_t listSize = 0;
    bool listed = false;
    KnownNames known{};
    if (!ReadDropList(archivePath, &list, &listSize, &listed) || !listed ||
        !CollectKnownNames(warnings, list.get(), listSize, &known)) {
        return 0;
    }
    static LeftBehindWalk walk;  // large for a stack
    walk = LeftBehindWalk{};
    walk.known = &known;
    HANDLE archive = CreateFileA(archivePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (archive != INVALID_HANDLE_VALUE) {
        walk.archive = IdentifyOpenFile(archive, &walk.archiveSize);
        CloseHandle(archive);
    }
    WalkFolder(installFolder, "", &walk);
    for (uint32_t i = 0; i < walk.shownCount; ++i) {
        std::fprintf(out,
                     "warning: %s is in the install folder, but the release neither carries it "
                     "nor lists it in %s: the update leaves it as it is\n",
                     walk.shown[i], kDropListName);
    }
    if (walk.found > kMostShown) {
        std::fprintf(out, "warning: and %u more files the update leaves as they are\n",
                     unsigned(walk.found - kMostShown));
    }
    return walk.found;
}
