// The process environment: module handle and file name, command line (both
// narrow and wide), current directory, the temporary folder, process id.
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../winapi.h"
#include "command_line.h"
#include "errors.h"
#include "paths.h"

namespace {

// The program's one module; its address is its handle.
const char g_programModule = 0;

HMODULE ProgramModule()
{
    return const_cast<char*>(&g_programModule);
}

// The program's arguments as the system gave them, bytes.
std::vector<std::string> ReadArguments()
{
    std::string raw;
    if (FILE* file = std::fopen("/proc/self/cmdline", "rbe")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            raw.append(buffer, n);
        }
        std::fclose(file);
    }
    std::vector<std::string> arguments;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos) {
            end = raw.size();
        }
        arguments.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

// Narrow text in its wide form: decoded in the ANSI code page the way
// MultiByteToWideChar without flags decodes it, so that the two forms of a
// path or an argument always match.
std::u16string WideForm(const std::string& narrow)
{
    if (narrow.empty()) {
        return std::u16string();
    }
    const int length = static_cast<int>(narrow.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, nullptr, 0);
    std::u16string wide(static_cast<size_t>(units > 0 ? units : 0), u'\0');
    if (units > 0) {
        MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, &wide[0], units);
    }
    return wide;
}

// The arguments, each quoted as Windows needs, joined by spaces.
template <typename Text, typename Convert>
Text JoinCommandLine(const std::vector<std::string>& arguments, Convert convert)
{
    Text line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) {
            line += ' ';
        }
        line += platform_unix::QuoteArgument(convert(argument));
    }
    return line;
}

// As much of `path` as fits in `size` units with its terminator; the
// Windows result of GetModuleFileName: the length, or the size when cut.
template <typename Unit>
DWORD DeliverModulePath(const std::basic_string<Unit>& path, Unit* fileName, DWORD size)
{
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (size == 0 || fileName == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() < size) {
        std::copy(path.begin(), path.end(), fileName);
        fileName[path.size()] = 0;
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(path.size());
    }
    std::copy(path.begin(), path.begin() + (size - 1), fileName);
    fileName[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

std::string ExecutablePath()
{
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", &path[0], path.size());
        if (n < 0) {
            return std::string();
        }
        if (static_cast<size_t>(n) < path.size()) {
            path.resize(static_cast<size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName)
{
    if (moduleName == nullptr) {
        return ProgramModule();
    }
    SetLastError(ERROR_MOD_NOT_FOUND);  // no other modules are known
    return nullptr;
}

LPSTR WINAPI GetCommandLineA()
{
    // Read once, kept for the life of the process like Windows' copy.
    static std::string commandLine =
        JoinCommandLine<std::string>(ReadArguments(), [](const std::string& a) { return a; });
    return &commandLine[0];
}

LPWSTR WINAPI GetCommandLineW()
{
    static std::u16string commandLine = JoinCommandLine<std::u16string>(ReadArguments(), WideForm);
    return &commandLine[0];
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    if (module != nullptr && module != ProgramModule()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return DeliverModulePath(ExecutablePath(), fileName, size);
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size)
{
    if (module != nullptr && module != ProgramModule()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return DeliverModulePath(WideForm(ExecutablePath()), fileName, size);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR pathName)
{
    if (pathName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = platform_unix::PosixPath(pathName);
    if (chdir(path.c_str()) != 0) {
        const int err = errno;
        if (err == ENOENT) {
            SetLastError(path.empty() ? ERROR_INVALID_NAME : platform_unix::NotFoundError(path));
        } else if (err == ENOTDIR) {
            SetLastError(ERROR_DIRECTORY);
        } else {
            platform_unix::SetLastErrorFromErrno(err, ERROR_ACCESS_DENIED);
        }
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer)
{
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) {
        platform_unix::SetLastErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
        return 0;
    }
    const size_t length = std::strlen(cwd);
    DWORD result;
    if (length < bufferLength && buffer != nullptr) {
        std::memcpy(buffer, cwd, length + 1);
        result = static_cast<DWORD>(length);  // without the terminator
    } else {
        result = static_cast<DWORD>(length + 1);  // the size needed, with it; nothing written
    }
    std::free(cwd);
    return result;
}

// Not looked up: Windows does not check that the folder exists either.
DWORD WINAPI GetTempPathA(DWORD bufferLength, LPSTR buffer)
{
    const char* variable = std::getenv("TMPDIR");
    std::string path = variable != nullptr && *variable != '\0' ? variable : "/tmp";
    if (path.back() != '/') {
        path += '/';
    }
    if (path.size() >= bufferLength || buffer == nullptr) {
        return static_cast<DWORD>(path.size() + 1);  // the size needed, with the terminator
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

DWORD WINAPI GetCurrentProcessId()
{
    return static_cast<DWORD>(getpid());
}
