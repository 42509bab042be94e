#include "archive_warnings.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "../platform/path_text.h"
#include "warning_kinds.h"

namespace {

// The end of the component that starts at `p`, found on character
// boundaries of the code page, as the updater splits names.
const char* ComponentEnd(const char* p)
{
    while (*p && !IsSeparator(*p)) {
        p += _ismbblead(static_cast<unsigned char>(*p)) && p[1] ? 2 : 1;
    }
    return p;
}

bool IsDotComponent(const char* start, size_t length)
{
    return (length == 1 && start[0] == '.') || (length == 2 && start[0] == '.' && start[1] == '.');
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The device Windows opens for a component (CON, also "con.txt" or
// "Con .log"), or null for a plain name.
const char* DeviceName(const char* start, size_t length)
{
    static const char* const kDevices[] = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
        "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    size_t stem = 0;
    while (stem < length && start[stem] != '.') ++stem;
    while (stem > 0 && start[stem - 1] == ' ') --stem;
    for (const char* device : kDevices) {
        if (std::strlen(device) != stem) continue;
        size_t i = 0;
        while (i < stem && LowerAscii(start[i]) == LowerAscii(device[i])) ++i;
        if (i == stem) return device;
    }
    return nullptr;
}

uint32_t PrintNameWarnings(const NotedEntry& entry, FILE* out)
{
    uint32_t kinds = 0;
    for (const char* start = entry.name;;) {
        const char* end = ComponentEnd(start);
        const size_t length = size_t(end - start);
        const int shown = int(length);
        if (const char* device = DeviceName(start, length)) {
            std::fprintf(out, "warning: %s: \"%.*s\" is the Windows device %s, not a file\n",
                         entry.name, shown, start, device);
            kinds |= kWarnWindowsNames;
        } else if (length > 0 && !IsDotComponent(start, length) &&
                   (end[-1] == '.' || end[-1] == ' ')) {
            std::fprintf(out, "warning: %s: \"%.*s\" ends in a %s, which Windows drops\n",
                         entry.name, shown, start, end[-1] == '.' ? "dot" : "space");
            kinds |= kWarnWindowsNames;
        }
        if (*end == '\0') return kinds;
        start = end + 1;
    }
}

// The unreadable ones need no kind of their own: the updater refuses them,
// which fails the check anyway.
uint32_t PrintEntryWarnings(const NotedEntry& entry, FILE* out)
{
    uint32_t kinds = 0;
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) && !entry.folder) {
        std::fprintf(out,
                     "warning: %s is read-only: once installed, every later update that carries "
                     "it fails\n",
                     entry.name);
        kinds |= kWarnReadOnly;
    }
    if (entry.method != kMethodStored && entry.method != kMethodDeflated) {
        std::fprintf(out, "warning: %s uses compression method %u, which the updater cannot read\n",
                     entry.name, static_cast<unsigned>(entry.method));
    } else if ((entry.flags & kFlagEncrypted) && !entry.folder) {
        std::fprintf(out, "warning: %s is encrypted: the updater has no password\n", entry.name);
    }
    return kinds | PrintNameWarnings(entry, out);
}

// The top-level folder every named entry lies in, as the length of its
// name in the first entry's; 0 when there is none (or no named entry).
size_t FindWrappingFolder(const ArchiveWarnings& warnings, const NotedEntry** first)
{
    *first = nullptr;
    size_t length = 0;
    for (int32_t i = 0; i < warnings.count; ++i) {
        const NotedEntry& entry = warnings.entries[i];
        if (entry.name[0] == '\0') continue;
        const char* end = ComponentEnd(entry.name);
        const size_t top = size_t(end - entry.name);
        // A file at the top level, or a folder entry named without a separator.
        if (*end == '\0' && !(entry.folder && top > 0)) return 0;
        if (!*first) {
            *first = &entry;
            length = top;
        } else if (top != length || std::strncmp(entry.name, (*first)->name, length) != 0) {
            return 0;
        }
    }
    return length;
}

uint32_t PrintWrappingWarning(const ArchiveWarnings& warnings, const char* installFolder, FILE* out)
{
    const NotedEntry* first = nullptr;
    const size_t length = FindWrappingFolder(warnings, &first);
    if (length == 0 || IsDotComponent(first->name, length)) return 0;
    if (installFolder) {
        char path[MAX_PATH];
        const int used =
            std::snprintf(path, MAX_PATH, "%s/%.*s", installFolder, int(length), first->name);
        const DWORD attributes =
            used > 0 && used < MAX_PATH ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return 0;
        }
    }
    std::fprintf(out,
                 "warning: every entry is inside %.*s/, which the install folder does not have: "
                 "the update would go into %.*s/ below the program folder and update nothing\n",
                 int(length), first->name, int(length), first->name);
    return kWarnWrappingFolder;
}

bool IsBeforeIgnoringCase(const NotedEntry* first, const NotedEntry* second)
{
    for (const char *a = first->name, *b = second->name;; ++a, ++b) {
        const char x = LowerAscii(*a);
        const char y = LowerAscii(*b);
        if (x != y || x == '\0')
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
}

// Sorted by name without case, twins sit side by side.
uint32_t PrintCaseTwinWarnings(const ArchiveWarnings& warnings, FILE* out)
{
    const NotedEntry** sorted = new (std::nothrow) const NotedEntry*[size_t(warnings.count)];
    if (!sorted) return 0;
    uint32_t kinds = 0;
    int32_t named = 0;
    for (int32_t i = 0; i < warnings.count; ++i) {
        if (warnings.entries[i].name[0] != '\0') sorted[named++] = &warnings.entries[i];
    }
    std::stable_sort(sorted, sorted + named, IsBeforeIgnoringCase);
    for (int32_t i = 1; i < named; ++i) {
        const char* before = sorted[i - 1]->name;
        const char* name = sorted[i]->name;
        if (IsSameNameIgnoringCase(before, name) && std::strcmp(before, name) != 0) {
            std::fprintf(out, "warning: %s and %s differ only in case: Windows keeps one file\n",
                         before, name);
            kinds |= kWarnCollisions;
        }
    }
    delete[] sorted;
    return kinds;
}

}  // namespace

bool OpenWarnings(ArchiveWarnings* warnings, int32_t capacity)
{
    warnings->count = 0;
    warnings->capacity = capacity;
    warnings->entries = capacity > 0 ? new (std::nothrow) NotedEntry[size_t(capacity)] : nullptr;
    return capacity == 0 || warnings->entries != nullptr;
}

void NoteEntry(ArchiveWarnings* warnings, const EntryVerdict& verdict, uint32_t attributes,
               const EntryHeaders& headers)
{
    if (warnings->count >= warnings->capacity) return;
    NotedEntry& entry = warnings->entries[warnings->count++];
    // A name cut short is not the name Windows would see.
    const bool named = headers.reached && !headers.nameCut;
    std::snprintf(entry.name, sizeof entry.name, "%s", named ? verdict.name : "");
    entry.attributes = attributes;
    entry.flags = headers.reached ? headers.info.flags : 0;
    entry.method = headers.reached ? headers.info.method : kMethodStored;
    entry.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) || EndsWithSeparator(verdict.name);
}

uint32_t PrintWarnings(const ArchiveWarnings& warnings, const char* installFolder, FILE* out)
{
    if (warnings.count == 0) {
        std::fprintf(out, "warning: the archive has no entries: the update would change nothing\n");
        return kWarnEmpty;
    }
    uint32_t kinds = PrintWrappingWarning(warnings, installFolder, out);
    for (int32_t i = 0; i < warnings.count; ++i) {
        if (warnings.entries[i].name[0] != '\0') {
            kinds |= PrintEntryWarnings(warnings.entries[i], out);
        }
    }
    return kinds | PrintCaseTwinWarnings(warnings, out);
}

void CloseWarnings(ArchiveWarnings* warnings)
{
    delete[] warnings->entries;
    warnings->entries = nullptr;
    warnings->count = 0;
    warnings->capacity = 0;
}
