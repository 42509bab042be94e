#include "own_names.h"

#include <cctype>
#include <cstdint>
#include <cstring>

#include "../platform/path_text.h"

namespace {

constexpr char kTemporaryExtension[] = ".tmp";
constexpr char kKeptExtension[] = ".old";

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

// "~tvx" and a tag at `text`, then `extension` ending it.
bool IsTaggedName(const char* text, size_t length, const char* extension, bool anyCase)
{
    if (length != kOwnNameLength) return false;
    if (!SameText(text, kOwnMark, kOwnMarkLength, anyCase)) return false;
    for (size_t i = 0; i < kOwnTagLength; ++i) {
        if (!IsHexDigit(text[kOwnMarkLength + i], anyCase)) return false;
    }
    return SameText(text + kOwnMarkLength + kOwnTagLength, extension, kOwnExtensionLength, anyCase);
}

OwnName Classify(const char* name, size_t length, bool anyCase)
{
    if (IsTaggedName(name, length, kTemporaryExtension, anyCase)) return OwnName::Temporary;
    if (IsTaggedName(name, length, kKeptExtension, anyCase)) return OwnName::Kept;
    // NAME, '.', then a kept name: NAME is not empty.
    const size_t suffix = 1 + kOwnNameLength;
    if (length > suffix && name[length - suffix] == '.' &&
        IsTaggedName(name + length - kOwnNameLength, kOwnNameLength, kKeptExtension, anyCase)) {
        return OwnName::KeptBeside;
    }
    return OwnName::None;
}

}  // namespace

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
        const size_t length = size_t(end - start);
        if (length >= kOwnMarkLength && SameText(start, kOwnMark, kOwnMarkLength, true))
            return true;
        if (Classify(start, length, true) != OwnName::None) return true;
        if (*end == '\0') return false;
        start = end;
    }
}
