// MessageBoxA on Linux: a zenity dialog when a graphical display is there
// and zenity is installed, otherwise the question on the terminal (stdout)
// and one answer line from standard input. The text is code page 936 (GBK),
// shown as UTF-8 (on a terminal whose locale is GBK itself, unchanged).
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
int AskWithZenity(const std::string& zenity, const std::string& text, const std::string& caption,
                  UINT type)
{
    const UINT buttons = type & MB_TYPEMASK;
    const UINT icon = type & MB_ICONMASK;
    std::vector<std::string> arguments{zenity};
    switch (buttons) {
        case MB_OK:
            arguments.push_back(icon == MB_ICONHAND          ? "--error"
                                : icon == MB_ICONEXCLAMATION ? "--warning"
                                                             : "--info");
            break;
        case MB_OKCANCEL:
            arguments.insert(arguments.end(),
                             {"--question", "--ok-label=OK", "--cancel-label=Cancel"});
            break;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            arguments.push_back("--question");
            break;
        default:
            return 0;  // buttons zenity has no dialog for: ask on the terminal
    }
    arguments.push_back("--title=" + caption);
    arguments.push_back("--text=" + text);
    arguments.push_back("--no-markup");
    const int status = platform_unix::RunAndWait(zenity, arguments, true);
    if (status != 0 && status != 1) {
        return 0;
    }
    switch (buttons) {
        case MB_OK:
            return IDOK;
        case MB_OKCANCEL:
            return status == 0 ? IDOK : IDCANCEL;
        default:
            return status == 0 ? IDYES : IDNO;
    }
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

int AskOnTerminal(const std::string& text, const std::string& caption, UINT type)
{
    const UINT buttons = type & MB_TYPEMASK;
    const char* choices = "";
    switch (buttons) {
        case MB_OKCANCEL:
            choices = " [o/c] ";
            break;
        case MB_ABORTRETRYIGNORE:
            choices = " [a/r/i] ";
            break;
        case MB_YESNOCANCEL:
            choices = " [y/n/c] ";
            break;
        case MB_YESNO:
            choices = " [y/n] ";
            break;
        case MB_RETRYCANCEL:
            choices = " [r/c] ";
            break;
        default:
            break;
    }
    std::string prompt;
    if (!caption.empty()) {
        prompt += caption + ": ";
    }
    prompt += text;
    if (buttons == MB_OK) {
        prompt += '\n';
    } else {
        prompt += choices;
    }
    std::fputs(prompt.c_str(), stdout);
    std::fflush(stdout);
    if (buttons == MB_OK || buttons > MB_RETRYCANCEL) {
        return IDOK;  // nothing to choose: no answer is waited for
    }

    std::string line;
    bool sawNewline = false;
    const bool answered = ReadAnswerLine(&line, &sawNewline);
    if (!sawNewline) {
        std::fputc('\n', stdout);  // end the prompt line at end of input
        std::fflush(stdout);
    }
    const char first = answered && !line.empty() ? line[0] : '\0';
    const bool yes = first == 'y' || first == 'Y';
    switch (buttons) {
        case MB_YESNO:
            return yes ? IDYES : IDNO;
        case MB_YESNOCANCEL:
            return yes ? IDYES : (first == 'n' || first == 'N') ? IDNO : IDCANCEL;
        case MB_OKCANCEL:
            return yes || first == 'o' || first == 'O' ? IDOK : IDCANCEL;
        case MB_RETRYCANCEL:
            return yes || first == 'r' || first == 'R' ? IDRETRY : IDCANCEL;
        case MB_ABORTRETRYIGNORE:
            return first == 'r' || first == 'R'   ? IDRETRY
                   : first == 'i' || first == 'I' ? IDIGNORE
                                                  : IDABORT;
        default:
            return IDCANCEL;
    }
}

}  // namespace

int WINAPI MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT type)
{
    const char* shownCaption = caption != nullptr ? caption : "Error";  // Windows' default
    const std::string utf8Text = platform_unix::Cp936ToUtf8(text);
    const std::string utf8Caption = platform_unix::Cp936ToUtf8(shownCaption);
    if (HasGraphicalDisplay()) {
        const std::string zenity = platform_unix::FindProgramOnPath("zenity");
        if (!zenity.empty()) {
            if (const int answer = AskWithZenity(zenity, utf8Text, utf8Caption, type)) {
                return answer;
            }
        }
    }
    // A terminal whose locale is GBK shows the bytes as they are.
    if (platform_unix::CodePageFromEnvironment() == 936) {
        return AskOnTerminal(text != nullptr ? text : "", shownCaption, type);
    }
    return AskOnTerminal(utf8Text, utf8Caption, type);
}
