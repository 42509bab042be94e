// FindFirstFileA, FindNextFileA, FindClose: the names in one folder that
// match a pattern of '*' and '?' in its last component, matched without
// regard to case as on Windows.
#include <dirent.h>
#include <sys/stat.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "../winapi.h"
#include "attributes.h"
#include "errors.h"
#include "fault_points.h"
#include "paths.h"

namespace {

struct Search {
    DIR* folder;
    std::string folderPath;  // with its trailing '/'
    std::string pattern;
};

bool Matches(const char* pattern, const char* name)
{
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
    if (*name == '\0') return false;
    const bool same = *pattern == '?' || std::tolower(static_cast<unsigned char>(*pattern)) ==
                                             std::tolower(static_cast<unsigned char>(*name));
    return same && Matches(pattern + 1, name + 1);
}

// The next entry that matches, described in `found`; false at the end.
bool FindNextMatch(Search* search, WIN32_FIND_DATAA* found)
{
    while (const dirent* entry = readdir(search->folder)) {
        const size_t length = std::strlen(entry->d_name);
        if (length >= MAX_PATH || !Matches(search->pattern.c_str(), entry->d_name)) continue;
        struct stat st;
        const std::string path = search->folderPath + entry->d_name;
        if (lstat(path.c_str(), &st) != 0) continue;  // gone since it was listed
        std::memset(found, 0, sizeof *found);
        found->dwFileAttributes = platform_unix::AttributesOfMode(st.st_mode);
        const uint64_t size = static_cast<uint64_t>(st.st_size);
        found->nFileSizeHigh = static_cast<DWORD>(size >> 32);
        found->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
        std::memcpy(found->cFileName, entry->d_name, length + 1);
        return true;
    }
    return false;
}

Search* SearchOf(HANDLE handle)
{
    return handle == nullptr || handle == INVALID_HANDLE_VALUE ? nullptr
                                                               : static_cast<Search*>(handle);
}

}  // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found)
{
    PLATFORM_FAULT_POINT(FindFirstFileA);

    if (pattern == nullptr || found == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = platform_unix::PosixPath(pattern);
    const std::string::size_type slash = path.rfind('/');
    const std::string folderPath = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    const std::string namePattern = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* folder = opendir(folderPath.c_str());
    if (folder == nullptr) {
        SetLastError(errno == ENOENT || errno == ENOTDIR
                         ? ERROR_PATH_NOT_FOUND
                         : platform_unix::Win32ErrorFromErrno(errno, ERROR_ACCESS_DENIED));
        return INVALID_HANDLE_VALUE;
    }
    Search* search = new (std::nothrow) Search{folder, folderPath, namePattern};
    if (search == nullptr) {
        closedir(folder);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    if (!FindNextMatch(search, found)) {
        FindClose(search);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return search;
}

BOOL WINAPI FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* found)
{
    Search* search = SearchOf(handle);
    if (search == nullptr || found == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!FindNextMatch(search, found)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE handle)
{
    Search* search = SearchOf(handle);
    if (search == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    closedir(search->folder);
    delete search;
    return TRUE;
}
