#include "entry_verdict.h"

#include "../archive/entry_mode.h"
#include "../archive/result_codes.h"
#include "refusal_causes.h"

namespace {

constexpr uint32_t kAnyCause = 0;

struct RefusalReason {
    int32_t result;
    uint32_t cause;  // the fact that must have been found; kAnyCause: none
    const char* words;
};

// The first row whose result and cause match gives the words. Within a
// result, the more particular causes come first; the last row of each result
// says what the result itself means.
const RefusalReason kRefusalReasons[] = {
    {RESULT_CORRUPT, kCauseUnreachable, "its central header, or one before it, is damaged"},
    {RESULT_CORRUPT, kCauseUnknownMethod, "compression method %u, which the updater cannot read"},
    {RESULT_CORRUPT, kCauseHeadersDisagree, "its headers disagree (local against central)"},
    {RESULT_CORRUPT, kCauseNameHasZero, "its name has a zero byte inside"},
    {RESULT_CORRUPT, kCauseInvalidUtf8, "its name is not valid UTF-8"},
    {RESULT_CORRUPT, kCauseCutCharacter,
     "its name ends in half a character (a lone lead byte of this system's code page)"},
    {RESULT_CORRUPT, kCauseInvalidLegacyName,
     "its name, stored without the UTF-8 flag, is not valid in the system's code page"},
    {RESULT_CORRUPT, kCauseEncrypted, "encrypted: the updater has no password"},
    {RESULT_CORRUPT, kCauseDescribed, "its data does not match its CRC-32"},
    {RESULT_CORRUPT, kAnyCause, "its headers are damaged"},
    {RESULT_PASSWORD, kAnyCause, "encrypted: the updater has no password"},
    {RESULT_INFLATE, kCauseEncrypted, "encrypted: the updater has no password"},
    {RESULT_INFLATE, kCauseStored, "its data ends before its size"},
    {RESULT_INFLATE, kAnyCause, "its compressed data is damaged"},
    {RESULT_READ, kAnyCause, "its local extra field cannot be read"},
    {RESULT_NO_FILE, kCauseNameTooLong, "its name is 260 bytes or more"},
    {RESULT_NO_FILE, kCauseUnmappable,
     "its name has a character this system's code page cannot hold"},
    {RESULT_NO_FILE, kCauseTrimmedName,
     "a name in it ends in a dot or a space, which Windows drops"},
    {RESULT_NO_FILE, kCauseDeviceName, "a name in it is a Windows device (CON, NUL, COM1, ...)"},
    {RESULT_NO_FILE, kCauseStreamName, "it holds ':', which Windows reads as a stream"},
    {RESULT_NO_FILE, kCauseWrittenBefore,
     "an earlier entry of the archive already wrote this file"},
    {RESULT_NO_FILE, kCausePathTooLong,
     "the path does not fit in 260 bytes below this install folder"},
    {RESULT_NO_FILE, kCauseFolderTarget, "a folder stands where the file goes"},
    {RESULT_NO_FILE, kCauseReadOnlyTarget,
     "the installed file is read-only, which the updater never replaces"},
    {RESULT_NO_FILE, kCauseIsTheArchive, "it names the archive itself"},
    {RESULT_NO_FILE, kCauseFileForFolder, "a file stands where its folder goes"},
    {RESULT_NO_FILE, kCauseFolderMissing, "its folder cannot be made"},
    {RESULT_NO_FILE, kAnyCause, "the file cannot be created"},
    {RESULT_ARGS, kAnyCause, "a '..' component would leave the program folder"},
    {RESULT_WRITE, kAnyCause, "the file cannot be written"},
};

const char* VerdictWord(VerdictKind kind)
{
    switch (kind) {
        case VerdictKind::New:
            return "new";
        case VerdictKind::Replaced:
            return "replaced";
        case VerdictKind::Unchanged:
            return "unchanged";
        case VerdictKind::Folder:
            return "folder";
        case VerdictKind::Refused:
            return "refused";
    }
    return "refused";
}

}  // namespace

void DescribeRefusal(int32_t result, uint32_t causes, uint32_t method, char (&reason)[kReasonSize])
{
    for (const RefusalReason& row : kRefusalReasons) {
        if (row.result == result && (row.cause == kAnyCause || (causes & row.cause))) {
            std::snprintf(reason, kReasonSize, row.words, static_cast<unsigned>(method));
            return;
        }
    }
    std::snprintf(reason, kReasonSize, "the updater refuses it (result 0x%X)",
                  static_cast<unsigned>(result));
}

void PrintVerdict(const EntryVerdict& verdict, FILE* out)
{
    std::fprintf(out, "%-9s %s", VerdictWord(verdict.kind), verdict.name);
    if (verdict.kind == VerdictKind::Refused) std::fprintf(out, ": %s", verdict.reason);
    if (verdict.mode != kNoEntryMode) std::fprintf(out, " (mode %03o)", unsigned(verdict.mode));
    std::fputc('\n', out);
}
