#include "refusal_causes.h"

#include <cstdio>
#include <cstring>

#include "../archive/name_encoding.h"
#include "../archive/result_codes.h"
#include "../archive/windows_names.h"
#include "../platform/path_text.h"

namespace {

// What name_encoding.cpp finds wrong with a UTF-8 name, told apart: it gives
// one result for a name too long and one the code page cannot hold.
uint32_t FindUtf8NameCauses(const char* utf8, uint32_t length)
{
    constexpr int kWideRoom = MAX_PATH * 4;
    if (length == 0) return 0;
    if (std::memchr(utf8, '\0', length)) return kCauseNameHasZero;
    if (length >= uint32_t(kWideRoom)) return kCauseNameTooLong;
    WCHAR wide[kWideRoom];
    const int units =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, int(length), wide, kWideRoom);
    if (units == 0) return kCauseInvalidUtf8;
    if (GetACP() == CP_UTF8) return length >= MAX_PATH ? kCauseNameTooLong : 0;
    char converted[kWideRoom * 2];
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units, converted,
                                          int(sizeof converted), nullptr, &usedDefault);
    if (bytes == 0 || usedDefault) return kCauseUnmappable;
    return bytes >= MAX_PATH ? kCauseNameTooLong : 0;
}

// A name without the UTF-8 flag, converted as name_encoding.cpp converts it:
// from the system locale's code page only into another, UTF-8, where it
// cannot be unmappable, only too long.
uint32_t FindLegacyNameCauses(const char* stored, uint32_t length)
{
    char converted[MAX_PATH];
    switch (ConvertLegacyName(stored, length, converted)) {
        case RESULT_CORRUPT:
            return kCauseInvalidLegacyName;
        case RESULT_NO_FILE:
            return kCauseNameTooLong;
        default:
            return EndsInLoneLeadByte(converted) ? kCauseCutCharacter : 0;
    }
}

uint32_t FindNameCauses(const EntryHeaders& headers)
{
    if (headers.nameCut) return kCauseNameTooLong;
    uint32_t causes = 0;
    if (std::memchr(headers.name, '\0', headers.info.nameSize)) causes |= kCauseNameHasZero;
    if (headers.utf8Length >= sizeof headers.utf8Name) return causes | kCauseNameTooLong;
    if (headers.utf8Length == 0) {
        return causes | FindLegacyNameCauses(headers.name, headers.info.nameSize);
    }
    return causes | FindUtf8NameCauses(headers.utf8Name, headers.utf8Length);
}

uint32_t FindWindowsNameCauses(const char* name)
{
    switch (FindWindowsNameChange(name).rule) {
        case WindowsNameRule::TrailingDotOrSpace:
            return kCauseTrimmedName;
        case WindowsNameRule::DeviceName:
            return kCauseDeviceName;
        case WindowsNameRule::Colon:
            return kCauseStreamName;
        case WindowsNameRule::None:
            break;
    }
    return 0;
}

// Up the chain of folders from `path` to the base: the first one there
// decides. A file there stood in the way; a folder there means one below it
// could not be made.
uint32_t FindFolderChainCauses(const char* baseDirectory, const char* path)
{
    char folder[MAX_PATH + 1];
    std::snprintf(folder, sizeof folder, "%s", path);
    const size_t baseLength = std::strlen(baseDirectory);
    bool missing = false;
    for (;;) {
        char* separator = const_cast<char*>(FindLastSeparator(folder));
        if (!separator || size_t(separator - folder) < baseLength) break;
        *separator = '\0';
        const DWORD attributes = GetFileAttributesA(folder);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            missing = true;
            continue;
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return kCauseFileForFolder;
        break;
    }
    return missing ? kCauseFolderMissing : 0;
}

}  // namespace

uint32_t FindHeaderCauses(const EntryHeaders& headers)
{
    if (!headers.reached) return kCauseUnreachable;
    const EntryInfo& info = headers.info;
    uint32_t causes = FindNameCauses(headers);
    if (info.method != kMethodStored && info.method != kMethodDeflated) {
        causes |= kCauseUnknownMethod;
    }
    if (info.method == kMethodStored) causes |= kCauseStored;
    if (info.flags & kFlagEncrypted) causes |= kCauseEncrypted;
    if (!headers.localAgrees) causes |= kCauseHeadersDisagree;
    return causes;
}

uint32_t FindTargetCauses(const char* baseDirectory, const char* name, bool folderEntry,
                          const FileIdentity& archive, WrittenFiles* written,
                          const UpdateTransaction& update)
{
    if (const uint32_t causes = FindWindowsNameCauses(name)) return causes;
    char path[MAX_PATH + 1];
    const int length = std::snprintf(path, MAX_PATH, "%s%s", baseDirectory, name);
    if (length < 0 || length >= MAX_PATH) return kCausePathTooLong;
    if (folderEntry) {
        // Ending in a separator, so that the walk up the chain starts at the
        // folder itself.
        if (!EndsWithSeparator(path)) std::strcat(path, "/");
        return FindFolderChainCauses(baseDirectory, path);
    }
    WIN32_FILE_ATTRIBUTE_DATA found;
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &found)) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return kCauseFolderTarget;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return kCauseReadOnlyTarget;
        if (IsWrittenFile(written, baseDirectory, path, found)) return kCauseWrittenBefore;
        if (IsSameFile(IdentifyFile(path), archive)) return kCauseIsTheArchive;
    }
    char staged[MAX_PATH];
    if (FindStagedFile(update, name, staged)) return kCauseWrittenBefore;
    return FindFolderChainCauses(baseDirectory, path);
}
