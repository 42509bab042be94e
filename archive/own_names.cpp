#include "own_names.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "../platform/path_text.h"
#include "../platform/winapi.h"

namespace {

// Names of earlier files of this process are never reused.
unsigned g_serial = 0;

bool IsHexDigit(char c, bool anyCase)
{
    if (c >= '0' && c <= '9') return true;
    if (c >= 'A' && c <= 'F') return true;
    return anyCase && c >= 'a' && c <= 'f';
}

bool SameText(const char* text, const char* expected, size_t length, bool anyCase)
{
    for (size_t i = 0; i < length; ++i) {
        const unsigned char a = static_cast<unsigned char>(text[i]);
        const unsigned char b = static_cast<unsigned char>(expected[i]);
        if (a != b && !(anyCase && std::tolower(a) == std::tolower(b))) return false;
    }
    return true;
}

// "~tvx" and a tag at `text`, then `extension` (when given) ending it.
bool IsTaggedName(const char* text, size_t length, const char* extension, bool anyCase)
{
    const size_t expected = kOwnMarkLength + kOwnTagLength + (extension ? kOwnExtensionLength : 0);
    if (extension ? length != expected : length < expected) return false;
    if (!SameText(text, kOwnMark, kOwnMarkLength, anyCase)) return false;
    for (size_t i = 0; i < kOwnTagLength; ++i) {
        if (!IsHexDigit(text[kOwnMarkLength + i], anyCase)) return false;
    }
    return !extension ||
           SameText(text + kOwnMarkLength + kOwnTagLength, extension, kOwnExtensionLength, anyCase);
}

OwnName Classify(const char* name, size_t length, bool anyCase)
{
    if (IsTaggedName(name, length, kTemporaryExtension, anyCase)) return OwnName::Temporary;
    if (IsTaggedName(name, length, kKeptExtension, anyCase)) return OwnName::Kept;
    for (const char* record : {kUndoRecordName, kCommittedRecordName}) {
        if (length == std::strlen(record) && SameText(name, record, length, anyCase))
            return OwnName::Record;
    }
    // NAME, '.', then a kept name: NAME is not empty.
    const size_t suffix = 1 + kOwnNameLength;
    if (length > suffix && name[length - suffix] == '.' &&
        IsTaggedName(name + length - kOwnNameLength, kOwnNameLength, kKeptExtension, anyCase)) {
        return OwnName::KeptBeside;
    }
    return OwnName::None;
}

}  // namespace

void MakeOwnTag(char (&tag)[kOwnTagLength + 1])
{
    // Asked once: the process stays the same for every file it names.
    static const DWORD process = GetCurrentProcessId();
    const uint32_t value = (uint32_t(process & 0xFFFF) << 16) | (++g_serial & 0xFFFF);
    for (size_t i = 0; i < kOwnTagLength; ++i) {
        tag[i] = "0123456789ABCDEF"[(value >> (4 * (kOwnTagLength - 1 - i))) & 0xF];
    }
    tag[kOwnTagLength] = '\0';
}

OwnName ClassifyOwnName(const char* fileName, size_t length)
{
    return Classify(fileName, length, false);
}

size_t KeptBesideNameLength(const char* fileName)
{
    const size_t length = std::strlen(fileName);
    if (Classify(fileName, length, false) != OwnName::KeptBeside) return 0;
    return length - 1 - kOwnNameLength;
}

bool HasOwnNameComponent(const char* name)
{
    for (const char* start = name;; ++start) {
        const char* end = FindComponentEnd(start);
        if (Classify(start, size_t(end - start), true) != OwnName::None) return true;
        if (*end == '\0') return false;
        start = end;
    }
}
