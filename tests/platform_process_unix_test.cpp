// The process calls of the Linux layer: module handle and file name with
// Windows' truncation, the command line, the current directory with Windows'
// buffer rules.
#include <gtest/gtest.h>

#include <unistd.h>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../platform/unix/command_line.h"
#include "../platform/winapi.h"
#include "support/current_directory_scope.h"
#include "support/file_content.h"
#include "support/scratch_folder.h"

namespace {

std::string ExecutablePath()
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, size_t(n)) : std::string();
}

std::vector<std::string> ProcessArguments()
{
    const std::string raw = ReadFileText("/proc/self/cmdline");
    std::vector<std::string> arguments;
    size_t start = 0;
    while (start < raw.size()) {
        const size_t end = raw.find('\0', start);
        arguments.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

}  // namespace

TEST(PlatformProcess, ModuleHandleAndFileName)
{
    HMODULE self = GetModuleHandleA(nullptr);
    EXPECT_NE(nullptr, self);
    EXPECT_EQ(self, GetModuleHandleA(nullptr));
    EXPECT_EQ(nullptr, GetModuleHandleA("kernel32.dll"));

    const std::string expected = ExecutablePath();
    ASSERT_FALSE(expected.empty());
    char buffer[MAX_PATH * 4] = {};
    EXPECT_EQ(expected.size(), GetModuleFileNameA(nullptr, buffer, sizeof buffer));
    EXPECT_EQ(expected, buffer);
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(expected.size(), GetModuleFileNameA(self, buffer, sizeof buffer));
    EXPECT_EQ(expected, buffer);
}

TEST(PlatformProcess, ModuleFileNameTruncatesLikeWindows)
{
    const std::string expected = ExecutablePath();
    const DWORD length = DWORD(expected.size());
    std::vector<char> buffer(length + 8, 'z');

    // Exactly fits with its terminator.
    SetLastError(77);
    EXPECT_EQ(length, GetModuleFileNameA(nullptr, buffer.data(), length + 1));
    EXPECT_EQ(expected, buffer.data());

    // One short: size - 1 characters, a terminator, the size, and the error.
    std::fill(buffer.begin(), buffer.end(), 'z');
    EXPECT_EQ(length, GetModuleFileNameA(nullptr, buffer.data(), length));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(expected.substr(0, length - 1), buffer.data());
    EXPECT_EQ('z', buffer[length]);

    std::fill(buffer.begin(), buffer.end(), 'z');
    EXPECT_EQ(5u, GetModuleFileNameA(nullptr, buffer.data(), 5));
    EXPECT_EQ(expected.substr(0, 4), buffer.data());
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
}

TEST(PlatformProcess, CommandLineIsTheQuotedArguments)
{
    const std::vector<std::string> arguments = ProcessArguments();
    std::string expected;
    for (const std::string& argument : arguments) {
        if (!expected.empty()) expected += ' ';
        expected += platform_unix::QuoteArgument(argument);
    }
    const char* line = GetCommandLineA();
    ASSERT_NE(nullptr, line);
    EXPECT_EQ(expected, line);
    EXPECT_EQ(line, GetCommandLineA());  // the same text every time
    EXPECT_EQ(arguments, platform_unix::SplitCommandLine(line));
}

// The wide forms are the narrow ones decoded, so a program comparing them
// never finds a Linux path or argument inexact.
TEST(PlatformProcess, WideFormsOfThePathAndTheArguments)
{
    const auto decoded = [](const std::string& narrow) {
        WCHAR wide[MAX_PATH * 4];
        const int units = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, wide, MAX_PATH * 4);
        return std::u16string(wide, size_t(units > 0 ? units - 1 : 0));
    };
    WCHAR path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    EXPECT_EQ(decoded(ExecutablePath()), std::u16string(path, length));

    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    ASSERT_NE(nullptr, arguments);
    const std::vector<std::string> narrow = ProcessArguments();
    ASSERT_EQ(narrow.size(), size_t(count));
    for (int i = 0; i < count; ++i) EXPECT_EQ(decoded(narrow[size_t(i)]), arguments[i]);
    EXPECT_EQ(nullptr, arguments[count]);
    LocalFree(arguments);

    arguments = CommandLineToArgvW(u"x \"J\u00F6rg \u5854\\\\\" \"a\\\"b\"", &count);
    ASSERT_EQ(3, count);
    EXPECT_EQ(std::u16string(u"J\u00F6rg \u5854\\"), arguments[1]);
    EXPECT_EQ(std::u16string(u"a\"b"), arguments[2]);
    LocalFree(arguments);

    ScratchFolder folder;
    const std::u16string there = decoded(folder.String());
    WCHAR shortPath[MAX_PATH * 4];
    EXPECT_EQ(there.size(), GetShortPathNameW(there.c_str(), shortPath, MAX_PATH * 4));
    EXPECT_EQ(there, shortPath);
    EXPECT_EQ(0u, GetShortPathNameW((there + u"/missing").c_str(), shortPath, MAX_PATH * 4));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST(PlatformProcess, ArgumentQuotingRoundTrips)
{
    using platform_unix::QuoteArgument;
    EXPECT_EQ("plain", QuoteArgument("plain"));
    EXPECT_EQ("\"with space\"", QuoteArgument("with space"));
    EXPECT_EQ("\"\"", QuoteArgument(""));
    EXPECT_EQ("\"a\\\"b\"", QuoteArgument("a\"b"));
    EXPECT_EQ("\"dir with space\\\\\"", QuoteArgument("dir with space\\"));
    EXPECT_EQ("C:\\path\\file", QuoteArgument("C:\\path\\file"));

    const std::vector<std::string> tricky = {
        "updater",          "update file.zip",  "", "a\"b", "x\\\\", "tab\there",
        "end\\ with\\\\\"", "\xB2\xE2 \xCA\xD4"};
    std::string line;
    for (const std::string& argument : tricky) {
        if (!line.empty()) line += ' ';
        line += QuoteArgument(argument);
    }
    EXPECT_EQ(tricky, platform_unix::SplitCommandLine(line));
    EXPECT_EQ((std::vector<std::string>{"a", "b c", "d\"e"}),
              platform_unix::SplitCommandLine("  a \"b c\"\t\"d\"\"e\"  "));
}

TEST(PlatformProcess, CurrentDirectoryBufferRules)
{
    ScratchFolder scratch;
    const std::string& dir = scratch.String();
    CurrentDirectoryScope restore;
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    const DWORD length = DWORD(dir.size());

    // Too small, even by one: the size needed with the terminator, and
    // nothing written.
    EXPECT_EQ(length + 1, GetCurrentDirectoryA(0, nullptr));
    std::vector<char> buffer(length + 8, 'z');
    EXPECT_EQ(length + 1, GetCurrentDirectoryA(length, buffer.data()));
    EXPECT_EQ(std::string(length + 8, 'z'), std::string(buffer.begin(), buffer.end()));

    // Fits: the length without the terminator.
    EXPECT_EQ(length, GetCurrentDirectoryA(length + 1, buffer.data()));
    EXPECT_EQ(dir, buffer.data());

    // Backslashes separate; a missing folder or a file cannot be entered.
    ASSERT_TRUE(CreateDirectoryA((dir + "\\sub").c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryA("sub\\"));
    EXPECT_EQ(dir + "/sub", std::filesystem::current_path().string());
    EXPECT_TRUE(SetCurrentDirectoryA(".."));
    EXPECT_FALSE(SetCurrentDirectoryA("missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    std::ofstream(dir + "/file") << "x";
    EXPECT_FALSE(SetCurrentDirectoryA("file"));
    EXPECT_EQ(ERROR_DIRECTORY, GetLastError());
    EXPECT_EQ(dir, std::filesystem::current_path().string());
}

TEST(PlatformProcess, ProcessId)
{
    EXPECT_EQ(DWORD(getpid()), GetCurrentProcessId());
}
