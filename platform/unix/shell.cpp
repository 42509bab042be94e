// ShellExecuteA: the "open" verb. An executable file is started detached in
// its own session; any other file (or a folder) goes to xdg-open.
// CommandLineToArgvW, and LocalFree for the block it gives.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "../winapi.h"
#include "command_line.h"
#include "errors.h"
#include "paths.h"
#include "spawn.h"

namespace {

constexpr intptr_t kStarted = 42;  // any value above 32 means success

HINSTANCE Result(intptr_t value)
{
    return reinterpret_cast<HINSTANCE>(value);
}

// A failure result (<= 32) with the matching last error.
HINSTANCE Failure(int err, const std::string& path)
{
    switch (err) {
        case ENOENT: {
            const DWORD error = platform_unix::NotFoundError(path);
            SetLastError(error);
            return Result(error == ERROR_PATH_NOT_FOUND ? SE_ERR_PNF : SE_ERR_FNF);
        }
        case ENOTDIR:
            SetLastError(ERROR_PATH_NOT_FOUND);
            return Result(SE_ERR_PNF);
        case EACCES:
        case EPERM:
            SetLastError(ERROR_ACCESS_DENIED);
            return Result(SE_ERR_ACCESSDENIED);
        case ENOMEM:
        case EAGAIN:
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return Result(SE_ERR_OOM);
        case ENOEXEC:
            SetLastError(ERROR_BAD_EXE_FORMAT);
            return Result(ERROR_BAD_FORMAT);
        default:
            platform_unix::SetLastErrorFromErrno(err, ERROR_FILE_NOT_FOUND);
            return Result(SE_ERR_FNF);
    }
}

std::string CurrentDirectory()
{
    std::string result;
    if (char* cwd = getcwd(nullptr, 0)) {
        result = cwd;
        std::free(cwd);
    }
    return result;
}

}  // namespace

HINSTANCE WINAPI ShellExecuteA(HWND /*owner*/, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, int /*showCommand*/)
{
    if (operation != nullptr && operation[0] != '\0' && strcasecmp(operation, "open") != 0) {
        SetLastError(ERROR_NO_ASSOCIATION);  // only the "open" verb is known
        return Result(SE_ERR_NOASSOC);
    }
    if (file == nullptr || file[0] == '\0') {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return Result(SE_ERR_FNF);
    }
    const std::string workingDirectory =
        directory != nullptr && directory[0] != '\0' ? platform_unix::PosixPath(directory) : "";

    // A relative name means the given directory, else the current one; a
    // bare name is never looked up on PATH. The path is made absolute so the
    // started program and xdg-open see the same file whatever their cwd.
    std::string path = platform_unix::PosixPath(file);
    if (path[0] != '/') {
        std::string folder = workingDirectory;
        if (folder.empty() || folder[0] != '/') {
            const std::string cwd = CurrentDirectory();
            folder = folder.empty() ? cwd : cwd + "/" + folder;
        }
        path = folder + "/" + path;
    }

    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return Failure(errno, path);
    }
    const char* childDirectory = workingDirectory.empty() ? nullptr : workingDirectory.c_str();
    int err;
    if (S_ISREG(st.st_mode) && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0) {
        std::vector<std::string> arguments{path};
        if (parameters != nullptr) {
            for (std::string& argument : platform_unix::SplitCommandLine(parameters)) {
                arguments.push_back(std::move(argument));
            }
        }
        err = platform_unix::SpawnDetached(path, arguments, childDirectory);
    } else {
        // A document or a folder: the desktop's opener decides what opens it.
        const std::string opener = platform_unix::FindProgramOnPath("xdg-open");
        if (opener.empty()) {
            SetLastError(ERROR_NO_ASSOCIATION);
            return Result(SE_ERR_NOASSOC);
        }
        err = platform_unix::SpawnDetached(opener, {opener, path}, childDirectory);
    }
    if (err != 0) {
        return Failure(err, path);
    }
    return Result(kStarted);
}

// One block, as Windows gives it: the pointers, a null after the last, then
// the arguments' text, each terminated; LocalFree frees it whole.
LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR commandLine, int* argumentCount)
{
    if (commandLine == nullptr || argumentCount == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::vector<std::u16string> arguments =
        platform_unix::SplitCommandLine(std::u16string(commandLine));
    size_t units = 0;
    for (const std::u16string& argument : arguments) {
        units += argument.size() + 1;
    }
    const size_t pointers = (arguments.size() + 1) * sizeof(LPWSTR);
    void* block = std::malloc(pointers + units * sizeof(WCHAR));
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    LPWSTR* vector = static_cast<LPWSTR*>(block);
    LPWSTR text = reinterpret_cast<LPWSTR>(static_cast<char*>(block) + pointers);
    for (size_t i = 0; i < arguments.size(); ++i) {
        vector[i] = text;
        text = std::copy(arguments[i].begin(), arguments[i].end(), text);
        *text++ = 0;
    }
    vector[arguments.size()] = nullptr;
    *argumentCount = static_cast<int>(arguments.size());
    return vector;
}

HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    std::free(memory);
    return nullptr;
}
