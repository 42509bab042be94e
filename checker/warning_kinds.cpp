#include "warning_kinds.h"

#include <cstring>

namespace {

struct WarningKind {
    uint32_t kind;
    const char* word;
    const char* meaning;
};

const WarningKind kWarningKinds[] = {
    {kWarnWrappingFolder, "wrapping-folder",
     "every entry is inside one folder the install folder does not have"},
    {kWarnReadOnly, "read-only", "read-only files, which no later update can replace"},
    {kWarnEmpty, "empty", "the archive has no entries"},
    {kWarnWindowsNames, "windows-names", "names Windows changes or takes for a device"},
    {kWarnCollisions, "collisions", "names that differ only in case"},
    {kWarnCodePageNames, "code-page-names",
     "names that are not ASCII, stored without the UTF-8 flag or a Unicode Path block"},
};

}  // namespace

uint32_t FindWarningKind(const char* word)
{
    for (const WarningKind& row : kWarningKinds) {
        if (std::strcmp(row.word, word) == 0) return row.kind;
    }
    return 0;
}

void PrintWarningKinds(uint32_t kinds, FILE* out)
{
    const char* separator = "";
    for (const WarningKind& row : kWarningKinds) {
        if (!(kinds & row.kind)) continue;
        std::fprintf(out, "%s%s", separator, row.word);
        separator = ", ";
    }
}

void PrintWarningKindList(FILE* out)
{
    for (const WarningKind& row : kWarningKinds) {
        std::fprintf(out, "  %-16s %s\n", row.word, row.meaning);
    }
}
