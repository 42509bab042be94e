// MessageBoxA on Linux, for the one layout the updater asks with: Yes/No.
// A zenity dialog when a graphical display is there and zenity is installed,
// otherwise the question on the terminal (stdout) and one answer line from
// standard input. The text is code page 936 (GBK), shown as UTF-8 (on a
// terminal whose locale is GBK itself, unchanged). Any other layout fails
// (0, ERROR_NOT_SUPPORTED) without showing anything.
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../winapi.h"
#include "multibyte_internal.h"
#include "spawn.h"
#include "text_conversion.h"

namespace {

bool HasGraphicalDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && x11[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
}

// The answer through zenity, or 0 when zenity could not give one (no
// display after all, killed, ...), so the terminal asks instead.
int AskWithZenity(const std::string& zenity, const std::string& text, const std::string& caption)
{
    const std::vector<std::string> arguments{zenity, "--question", "--title=" + caption,
                                             "--text=" + text, "--no-markup"};
    const int status = platform_unix::RunAndWait(zenity, arguments, true);
    if (status != 0 && status != 1) {
        return 0;
    }
    return status == 0 ? IDYES : IDNO;
}

// One line from standard input, read byte by byte so nothing after it is
// consumed. False at end of input with nothing read.
bool ReadAnswerLine(std::string* line, bool* sawNewline)
{
    line->clear();
    *sawNewline = false;
    for (;;) {
        char c;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return !line->empty();
        }
        if (c == '\n') {
            *sawNewline = true;
            return true;
        }
        *line += c;
    }
}

// A line starting with y or Y is Yes; anything else, or no line, is No.
int AskOnTerminal(const std::string& text, const std::string& caption)
{
    std::string prompt;
    if (!caption.empty()) {
        prompt += caption + ": ";
    }
    prompt += text + " [y/n] ";
    std::fputs(prompt.c_str(), stdout);
    std::fflush(stdout);

    std::string line;
    bool sawNewline = false;
    const bool answered = ReadAnswerLine(&line, &sawNewline);
    if (!sawNewline) {
        std::fputc('\n', stdout);  // end the prompt line at end of input
        std::fflush(stdout);
    }
    const char first = answered && !line.empty() ? line[0] : '\0';
    return first == 'y' || first == 'Y' ? IDYES : IDNO;
}

}  // namespace

int WINAPI MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT type)
{
    if ((type & MB_TYPEMASK) != MB_YESNO) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    const char* shownCaption = caption != nullptr ? caption : "Error";  // Windows' default
    const std::string utf8Text = platform_unix::Cp936ToUtf8(text);
    const std::string utf8Caption = platform_unix::Cp936ToUtf8(shownCaption);
    if (HasGraphicalDisplay()) {
        const std::string zenity = platform_unix::FindProgramOnPath("zenity");
        if (!zenity.empty()) {
            if (const int answer = AskWithZenity(zenity, utf8Text, utf8Caption)) {
                return answer;
            }
        }
    }
    // A terminal whose locale is GBK shows the bytes as they are.
    if (platform_unix::CodePageFromEnvironment() == 936) {
        return AskOnTerminal(text != nullptr ? text : "", shownCaption);
    }
    return AskOnTerminal(utf8Text, utf8Caption);
}
