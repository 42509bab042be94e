#include "entry_verdict.h"

#include "../archive/entry_mode.h"

namespace {

struct RefusalReason {
    RefusalCause cause;
    const char* words;  // may take the entry's compression method
};

const char kEncrypted[] = "encrypted: the updater has no password";

const RefusalReason kRefusalReasons[] = {
    {CAUSE_NOT_OPEN, "the archive is not open"},
    {CAUSE_NO_SUCH_ENTRY, "the archive has no such entry"},
    {CAUSE_UNREACHABLE, "its central header, or one before it, is damaged"},
    {CAUSE_UNKNOWN_METHOD, "compression method %u, which the updater cannot read"},
    {CAUSE_HEADERS_DISAGREE, "its headers disagree (local against central)"},
    {CAUSE_NAME_BLOCK_DAMAGED, "its headers are damaged"},
    {CAUSE_NAME_HAS_ZERO, "its name has a zero byte inside"},
    {CAUSE_INVALID_UTF8, "its name is not valid UTF-8"},
    {CAUSE_CUT_CHARACTER,
     "its name ends in half a character (a lone lead byte of this system's code page)"},
    {CAUSE_INVALID_LEGACY_NAME,
     "its name, stored without the UTF-8 flag, is not valid in the system's code page"},
    {CAUSE_LOCAL_EXTRA_UNREADABLE, "its local extra field cannot be read"},
    {CAUSE_NAME_TOO_LONG, "its name is 260 bytes or more"},
    {CAUSE_UNMAPPABLE, "its name has a character this system's code page cannot hold"},
    {CAUSE_WRONG_PASSWORD, kEncrypted},
    {CAUSE_ENCRYPTED_UNREADABLE, kEncrypted},
    {CAUSE_ENCRYPTED_CRC_MISMATCH, kEncrypted},
    {CAUSE_CRC_MISMATCH, "its data does not match its CRC-32"},
    {CAUSE_DATA_ENDS_SHORT, "its data ends before its size"},
    {CAUSE_DEFLATE_DAMAGED, "its compressed data is damaged"},
    {CAUSE_TRAILING_DOT_OR_SPACE, "a name in it ends in a dot or a space, which Windows drops"},
    {CAUSE_DEVICE_NAME, "a name in it is a Windows device (CON, NUL, COM1, ...)"},
    {CAUSE_STREAM_NAME, "it holds ':', which Windows reads as a stream"},
    {CAUSE_OWN_NAME, "a name in it is kept for the updater's own files"},
    {CAUSE_OUTSIDE_FOLDER, "it names a path outside the program folder"},
    {CAUSE_PARENT_COMPONENT, "a '..' component would leave the program folder"},
    {CAUSE_WRITTEN_BEFORE, "an earlier entry of the archive already wrote this file"},
    {CAUSE_PATH_TOO_LONG, "the path does not fit in 260 bytes below this install folder"},
    {CAUSE_FOLDER_TARGET, "a folder stands where the file goes"},
    {CAUSE_TARGET_UNKNOWN, "the system cannot tell whether the file is there"},
    {CAUSE_READ_ONLY_TARGET, "the installed file is read-only, which the updater never replaces"},
    {CAUSE_IS_THE_ARCHIVE, "it names the archive itself"},
    {CAUSE_FILE_FOR_FOLDER, "a file stands where its folder goes"},
    {CAUSE_FOLDER_NOT_MADE, "its folder cannot be made"},
    {CAUSE_CANNOT_CREATE, "the file cannot be created"},
    {CAUSE_CANNOT_WRITE, "the file cannot be written"},
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

void DescribeRefusal(int32_t result, RefusalCause cause, uint32_t method,
                     char (&reason)[kReasonSize])
{
    // A cause that does not give the result it came with is not worded:
    // the result is what the updater did.
    if (ResultOfCause(cause) == result) {
        for (const RefusalReason& row : kRefusalReasons) {
            if (row.cause != cause) continue;
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
