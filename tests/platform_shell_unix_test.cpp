// ShellExecuteA "open" on Linux: an executable starts detached in its own
// session from the current directory (never found via PATH), not waited for;
// other files go to xdg-open; failures give a value <= 32.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "../platform/winapi.h"
#include "support/current_directory_scope.h"
#include "support/environment_scope.h"
#include "support/file_content.h"
#include "support/scratch_folder.h"

namespace {

void WriteScript(const std::string& path, const std::string& body, mode_t mode = 0755)
{
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), mode);
}

// The marker's text once the started program has written it completely.
std::string WaitForMarker(const std::string& path, double seconds = 10)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::filesystem::exists(path)) return ReadFileText(path);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "(no marker)";
}

intptr_t Open(const char* file, const char* parameters = "", const char* directory = nullptr)
{
    return reinterpret_cast<intptr_t>(
        ShellExecuteA(nullptr, "open", file, parameters, directory, SW_SHOW));
}

// Writes "<args>|<cwd>|<session id>" to marker, atomically, then lingers.
const char kRecorder[] =
    "read -r pid comm state ppid pgrp sid rest < /proc/$$/stat\n"
    "printf '%s,' \"$@\" > marker.tmp\n"
    "printf '|%s|%s' \"$(pwd)\" \"$sid\" >> marker.tmp\n"
    "mv marker.tmp marker\n"
    "sleep 3\n";

}  // namespace

TEST(PlatformShell, StartsABareNameFromTheCurrentDirectoryDetached)
{
    ScratchFolder dir;
    WriteScript(dir / "tavix_app", kRecorder);
    CurrentDirectoryScope here(dir.Path());
    EnvironmentScope pathVariable("PATH", "/usr/bin:/bin");  // the folder is not on it

    const auto start = std::chrono::steady_clock::now();
    const intptr_t result = Open("tavix_app", "\"a b\" c");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(result, 32);
    EXPECT_LT(took, std::chrono::seconds(2));  // not waited for (it sleeps 3 s)
    EXPECT_EQ(dir.String(), std::filesystem::current_path().string());

    const std::string marker = WaitForMarker(dir / "marker");
    const std::string expectedStart = "a b,c,|" + dir.String() + "|";
    ASSERT_EQ(expectedStart, marker.substr(0, expectedStart.size())) << marker;
    const long session = std::atol(marker.substr(expectedStart.size()).c_str());
    EXPECT_NE(0, session);
    EXPECT_NE(long(getsid(0)), session);  // a session of its own
}

TEST(PlatformShell, NeverSearchesPath)
{
    ScratchFolder dir;
    ScratchFolder bin;
    WriteScript(bin / "on_path_only", ": > \"$0.ran\"\n");
    CurrentDirectoryScope here(dir.Path());
    EnvironmentScope pathVariable("PATH", (bin.String() + ":/usr/bin:/bin").c_str());
    SetLastError(0);
    EXPECT_EQ(SE_ERR_FNF, Open("on_path_only"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(SE_ERR_PNF, Open("no\\such\\folder\\app"));
    EXPECT_LE(Open(""), 32);
}

TEST(PlatformShell, BackslashPathsDirectoryAndParameters)
{
    ScratchFolder dir;
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_directory(dir / "work");
    WriteScript(dir / "sub/app", kRecorder);
    CurrentDirectoryScope here(dir.Path());
    EnvironmentScope pathVariable("PATH", "/usr/bin:/bin");

    // A relative name resolves against the given directory, which is also
    // the program's working directory; ours stays.
    EXPECT_GT(Open("..\\sub\\app", "x", (dir.String() + "\\work").c_str()), 32);
    const std::string marker = WaitForMarker(dir / "work/marker");
    EXPECT_EQ("x,|" + dir.String() + "/work|", marker.substr(0, dir.String().size() + 9)) << marker;
    EXPECT_EQ(dir.String(), std::filesystem::current_path().string());
}

TEST(PlatformShell, OtherFilesGoToXdgOpen)
{
    ScratchFolder dir;
    ScratchFolder bin;
    WriteScript(bin / "xdg-open", "printf '%s' \"$1\" > '" + bin / "opened.tmp" + "'\n" +
                                      "/bin/mv '" + bin / "opened.tmp" + "' '" + bin / "opened" +
                                      "'\n");
    std::ofstream(dir / "readme.txt") << "text";
    WriteScript(dir / "not_executable", "exit 0\n", 0644);
    CurrentDirectoryScope here(dir.Path());
    EnvironmentScope pathVariable("PATH", bin.String().c_str());

    EXPECT_GT(Open("readme.txt"), 32);
    EXPECT_EQ(dir / "readme.txt", WaitForMarker(bin / "opened"));
    std::filesystem::remove(bin / "opened");
    EXPECT_GT(Open("not_executable"), 32);
    EXPECT_EQ(dir / "not_executable", WaitForMarker(bin / "opened"));
}

TEST(PlatformShell, NoOpenerOrVerbIsNoAssociation)
{
    ScratchFolder dir;
    ScratchFolder emptyBin;
    std::ofstream(dir / "readme.txt") << "text";
    WriteScript(dir / "app", ": > ran\n");
    CurrentDirectoryScope here(dir.Path());
    EnvironmentScope pathVariable("PATH", emptyBin.String().c_str());
    EXPECT_EQ(SE_ERR_NOASSOC, Open("readme.txt"));
    EXPECT_EQ(SE_ERR_NOASSOC, reinterpret_cast<intptr_t>(
                                  ShellExecuteA(nullptr, "print", "app", "", nullptr, SW_SHOW)));
    // A null verb is the default verb, "open".
    EXPECT_GT(reinterpret_cast<intptr_t>(
                  ShellExecuteA(nullptr, nullptr, "app", nullptr, nullptr, SW_SHOW)),
              32);
    WaitForMarker(dir / "ran");
}

TEST(PlatformShell, AProgramThatCannotRunIsAFailure)
{
    ScratchFolder dir;
    std::ofstream(dir / "garbage") << "\x01\x02\x03 not a program";
    chmod((dir / "garbage").c_str(), 0755);
    CurrentDirectoryScope here(dir.Path());
    EnvironmentScope pathVariable("PATH", "/usr/bin:/bin");
    EXPECT_LE(Open("garbage"), 32);
}
