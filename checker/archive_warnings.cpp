#include "archive_warnings.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "../archive/name_encoding.h"
#include "../archive/windows_names.h"
#include "../platform/path_text.h"
#include "warning_kinds.h"

namespace {

bool IsDotComponent(const char* start, size_t length)
{
    return (length == 1 && start[0] == '.') || (length == 2 && start[0] == '.' && start[1] == '.');
}

// "CON" of "con.txt", "LPT1" of "lpt1 .log": the device as Windows names it.
void CopyDeviceName(const char* component, size_t length, char (&device)[16])
{
    const size_t stem = DeviceStemLength(component, length);
    size_t i = 0;
    for (; i < stem && i + 1 < sizeof device; ++i) {
        const char c = component[i];
        device[i] = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    }
    device[i] = '\0';
}

uint32_t PrintNameWarnings(const NotedEntry& entry, FILE* out)
{
    uint32_t kinds = 0;
    for (const char* start = entry.name;;) {
        const char* end = FindComponentEnd(start);
        const size_t length = size_t(end - start);
        const int shown = int(length);
        char device[16];
        const WindowsNameRule rule = FindComponentChange(start, length);
        if (rule != WindowsNameRule::None) kinds |= kWarnWindowsNames;
        switch (rule) {
            case WindowsNameRule::DeviceName:
                CopyDeviceName(start, length, device);
                std::fprintf(out, "warning: %s: \"%.*s\" is the Windows device %s, not a file\n",
                             entry.name, shown, start, device);
                break;
            case WindowsNameRule::TrailingDotOrSpace:
                std::fprintf(out, "warning: %s: \"%.*s\" ends in a %s, which Windows drops\n",
                             entry.name, shown, start, end[-1] == '.' ? "dot" : "space");
                break;
            case WindowsNameRule::Colon:
                std::fprintf(out,
                             "warning: %s: \"%.*s\" holds ':', which Windows reads as a stream "
                             "of another file\n",
                             entry.name, shown, start);
                break;
            case WindowsNameRule::None:
                break;
        }
        if (*end == '\0') return kinds;
        start = end + 1;
    }
}

// What the updater makes of a stored name on a system whose locale's code
// page is `codePage`.
void PrintReading(const NotedEntry& entry, UINT codePage, FILE* out)
{
    char name[MAX_PATH];
    switch (
        ConvertLegacyNameFrom(codePage, entry.stored, uint32_t(std::strlen(entry.stored)), name)) {
        case CAUSE_NONE:
            std::fprintf(out, "it becomes %s", name);
            break;
        case CAUSE_INVALID_LEGACY_NAME:
            std::fprintf(out, "it is refused, not being text in that code page");
            break;
        default:
            std::fprintf(out, "it is refused, its characters not fitting");
            break;
    }
}

// Such a name lands as its maker meant only where the user's Windows has
// the maker's code page; Info-ZIP zip writes one whenever its UTF-8 locale
// is missing.
uint32_t PrintCodePageWarning(const NotedEntry& entry, FILE* out)
{
    if (!entry.codePageName) return 0;
    std::fprintf(out,
                 "warning: %s is stored without the UTF-8 flag or a Unicode Path block, so each "
                 "Windows reads it in its own code page: on a Chinese Windows (936) ",
                 entry.name);
    PrintReading(entry, 936, out);
    std::fprintf(out, "; on a Western one (1252) ");
    PrintReading(entry, 1252, out);
    std::fprintf(out, "\n");
    return kWarnCodePageNames;
}

// The unreadable ones need no kind of their own: the updater refuses them,
// which fails the check anyway.
uint32_t PrintEntryWarnings(const NotedEntry& entry, FILE* out)
{
    uint32_t kinds = 0;
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) && !entry.folder) {
        std::fprintf(out,
                     "warning: %s is read-only: once installed, every later update that carries "
                     "another version of it fails\n",
                     entry.name);
        kinds |= kWarnReadOnly;
    }
    if (entry.method != kMethodStored && entry.method != kMethodDeflated) {
        std::fprintf(out, "warning: %s uses compression method %u, which the updater cannot read\n",
                     entry.name, static_cast<unsigned>(entry.method));
    } else if ((entry.flags & kFlagEncrypted) && !entry.folder) {
        std::fprintf(out, "warning: %s is encrypted: the updater has no password\n", entry.name);
    }
    return kinds | PrintNameWarnings(entry, out) | PrintCodePageWarning(entry, out);
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
        const char* end = FindComponentEnd(entry.name);
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

// A name as Windows compares names: in UTF-16, upper-cased one unit for one
// by the invariant culture, as NTFS folds names.
struct FoldedName {
    const NotedEntry* entry;
    const WCHAR* text;  // zero-terminated
};

bool IsBeforeFolded(const FoldedName& first, const FoldedName& second)
{
    const WCHAR* a = first.text;
    const WCHAR* b = second.text;
    for (; *a && *a == *b; ++a, ++b) {
    }
    return *a < *b;
}

bool IsSameFolded(const FoldedName& first, const FoldedName& second)
{
    return !IsBeforeFolded(first, second) && !IsBeforeFolded(second, first);
}

// The UTF-16 units of `name` with its terminator; 0 when it does not convert.
int WideUnits(const char* name)
{
    return MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
}

// Each named entry's folded name, in one pool; `count` of them.
void FoldNames(const ArchiveWarnings& warnings, FoldedName* folded, WCHAR* pool, int32_t* count)
{
    *count = 0;
    for (int32_t i = 0; i < warnings.count; ++i) {
        const NotedEntry& entry = warnings.entries[i];
        // Left out: empty names, and names that do not convert or fit `wide`.
        WCHAR wide[MAX_PATH + 8];
        const int units = MultiByteToWideChar(CP_ACP, 0, entry.name, -1, wide, MAX_PATH + 8);
        if (units <= 1 || LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide, units - 1, pool,
                                       units - 1) != units - 1) {
            continue;
        }
        pool[units - 1] = 0;
        folded[(*count)++] = FoldedName{&entry, pool};
        pool += units;
    }
}

// Sorted by the folded names, twins sit side by side.
uint32_t PrintCaseTwinWarnings(const ArchiveWarnings& warnings, FILE* out)
{
    size_t units = 0;
    for (int32_t i = 0; i < warnings.count; ++i) {
        const char* name = warnings.entries[i].name;
        if (name[0] != '\0') units += size_t(std::max(WideUnits(name), 0));
    }
    const std::unique_ptr<FoldedName[]> folded(new (std::nothrow)
                                                   FoldedName[size_t(warnings.count)]);
    const std::unique_ptr<WCHAR[]> pool(new (std::nothrow) WCHAR[units + 1]);
    if (!folded || !pool) return 0;
    uint32_t kinds = 0;
    int32_t named = 0;
    FoldNames(warnings, folded.get(), pool.get(), &named);
    std::stable_sort(folded.get(), folded.get() + named, IsBeforeFolded);
    for (int32_t i = 1; i < named; ++i) {
        const char* before = folded[i - 1].entry->name;
        const char* name = folded[i].entry->name;
        if (IsSameFolded(folded[i - 1], folded[i]) && std::strcmp(before, name) != 0) {
            std::fprintf(out, "warning: %s and %s differ only in case: Windows keeps one file\n",
                         before, name);
            kinds |= kWarnCollisions;
        }
    }
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
    entry.codePageName = named && !(entry.flags & kFlagUtf8Name) && !headers.unicodePath &&
                         !IsAscii(headers.name, uint32_t(std::strlen(headers.name)));
    std::snprintf(entry.stored, sizeof entry.stored, "%s", entry.codePageName ? headers.name : "");
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
