// The question box on Linux: zenity when a display and zenity are there,
// otherwise stdout and one line of stdin (so `echo y | updater x.zip` works).
// Each question runs in a child process with its own stdin and stdout.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "../platform/framework.h"
#include "support/file_content.h"
#include "support/scratch_folder.h"

namespace {

// The updater's question in GBK, and the same in UTF-8.
const char kQuestionGbk[] =
    "Tavix\xC8\xED\xBC\xFE\xC9\xFD\xBC\xB6\xCD\xEA\xB3\xC9\xA3\xA1"
    "\xCA\xC7\xB7\xF1\xC6\xF4\xB6\xAF\xC8\xED\xBC\xFE\xA3\xBF";
const char kQuestionUtf8[] = "Tavix软件升级完成！是否启动软件？";

struct Outcome {
    int answer = -1;     // the box's result, its last error when it failed, -1 when the child did
    std::string output;  // what it wrote to stdout
};

struct Setting {
    const char* display = nullptr;  // DISPLAY in the child
    std::string path = "/usr/bin:/bin";
    const char* lang = "C.UTF-8";
};

// Asks `text` with MB_YESNO in a child process whose stdin holds `input`
// (then end of input) and whose application object has no name.
Outcome Ask(const std::string& input, const Setting& setting = Setting(),
            const char* text = kQuestionGbk, UINT type = MB_YESNO)
{
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return Outcome();
    std::fflush(stdout);  // or the child writes our buffered output again
    const pid_t child = fork();
    if (child == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        close(in[0]);
        close(in[1]);
        close(out[0]);
        close(out[1]);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("LC_ALL");
        unsetenv("LC_CTYPE");
        if (setting.display)
            setenv("DISPLAY", setting.display, 1);
        else
            unsetenv("DISPLAY");
        setenv("LANG", setting.lang, 1);
        setenv("PATH", setting.path.c_str(), 1);
        CWinApp app;
        AfxWinInit(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), 0);
        const int answer = AfxMessageBox(text, type, 0);
        std::fflush(stdout);
        _exit(answer != 0 ? answer : int(GetLastError()));
    }
    close(in[0]);
    close(out[1]);
    if (!input.empty() && write(in[1], input.data(), input.size()) != ssize_t(input.size())) {
        ADD_FAILURE() << "could not write the answer";
    }
    close(in[1]);
    Outcome outcome;
    char buffer[512];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) outcome.output.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) outcome.answer = WEXITSTATUS(status);
    return outcome;
}

// A zenity stand-in that records its arguments, one a line, and exits with
// `status`.
void FakeZenity(const ScratchFolder& bin, int status)
{
    const std::string script = bin / "zenity";
    std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '"
                          << bin / "args"
                          << "'\nexit " << status << "\n";
    chmod(script.c_str(), 0755);
}

}  // namespace

TEST(PlatformMessageBox, TerminalYes)
{
    const Outcome outcome = Ask("y\n");
    EXPECT_EQ(IDYES, outcome.answer);
    EXPECT_NE(std::string::npos, outcome.output.find(kQuestionUtf8)) << outcome.output;
    EXPECT_NE(std::string::npos, outcome.output.find("unit_tests")) << outcome.output;  // caption
    EXPECT_EQ(IDYES, Ask("Yes please\n").answer);
    EXPECT_EQ(IDYES, Ask("y").answer);  // no newline before the end
}

TEST(PlatformMessageBox, TerminalNoAndEndOfInput)
{
    EXPECT_EQ(IDNO, Ask("n\n").answer);
    EXPECT_EQ(IDNO, Ask("\ny\n").answer);  // only the first line counts
    EXPECT_EQ(IDNO, Ask("maybe\n").answer);
    const Outcome atEnd = Ask("");
    EXPECT_EQ(IDNO, atEnd.answer);
    EXPECT_NE(std::string::npos, atEnd.output.find(kQuestionUtf8));
}

TEST(PlatformMessageBox, GbkTerminalGetsTheBytesUnchanged)
{
    Setting gbk;
    gbk.lang = "zh_CN.GBK";
    const Outcome outcome = Ask("y\n", gbk);
    EXPECT_EQ(IDYES, outcome.answer);
    EXPECT_NE(std::string::npos, outcome.output.find(kQuestionGbk)) << outcome.output;
}

TEST(PlatformMessageBox, DisplayWithoutZenityAsksOnTheTerminal)
{
    ScratchFolder emptyBin;
    Setting setting;
    setting.display = ":99";
    setting.path = emptyBin.String();
    EXPECT_EQ(IDYES, Ask("y\n", setting).answer);
}

TEST(PlatformMessageBox, ZenityWhenThereIsADisplay)
{
    ScratchFolder bin;
    Setting setting;
    setting.display = ":99";
    setting.path = bin.String();

    FakeZenity(bin, 0);
    Outcome outcome = Ask("n\n", setting);  // stdin is not asked
    EXPECT_EQ(IDYES, outcome.answer);
    EXPECT_EQ("", outcome.output);
    EXPECT_EQ(
        std::string("--question\n--title=unit_tests\n--text=") + kQuestionUtf8 + "\n--no-markup\n",
        ReadFileText(bin / "args"));

    FakeZenity(bin, 1);
    EXPECT_EQ(IDNO, Ask("y\n", setting).answer);

    // zenity that cannot show anything (no display after all): the terminal.
    FakeZenity(bin, 255);
    outcome = Ask("y\n", setting);
    EXPECT_EQ(IDYES, outcome.answer);
    EXPECT_NE(std::string::npos, outcome.output.find(kQuestionUtf8));

    // Without a display zenity is not tried.
    std::filesystem::remove(bin / "args");
    FakeZenity(bin, 0);
    setting.display = nullptr;
    EXPECT_EQ(IDNO, Ask("n\n", setting).answer);
    EXPECT_FALSE(std::filesystem::exists(bin / "args"));
}

TEST(PlatformMessageBox, InvalidGbkBytesDoNotStopTheQuestion)
{
    const Outcome outcome = Ask("y\n", Setting(), "bad \xFF\x20 end\xC8");
    EXPECT_EQ(IDYES, outcome.answer);
    EXPECT_NE(std::string::npos, outcome.output.find("bad ?  end?")) << outcome.output;
}

TEST(PlatformMessageBox, OtherLayoutsFailWithoutAsking)
{
    ScratchFolder bin;
    FakeZenity(bin, 0);
    Setting setting;
    setting.display = ":99";
    setting.path = bin.String();
    // 0 is MB_OK, 3 MB_YESNOCANCEL: neither is emulated.
    for (UINT type : {0u, 3u}) {
        const Outcome outcome = Ask("y\n", setting, kQuestionGbk, type);
        EXPECT_EQ(int(ERROR_NOT_SUPPORTED), outcome.answer) << type;
        EXPECT_EQ("", outcome.output) << type;
        EXPECT_FALSE(std::filesystem::exists(bin / "args")) << type;
    }
}
