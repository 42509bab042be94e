// Private to the Linux half: Windows command-line text, both ways, with the
// Microsoft C runtime's rules for quotes and backslashes; for narrow text
// (std::string) and wide text (std::u16string) alike.
#pragma once

#include <string>
#include <vector>

namespace platform_unix {

// One argument as it must appear in a command line to be parsed back
// unchanged: as it is when it has no space, tab, newline or quote and is not
// empty, otherwise in double quotes with quotes and the backslashes before
// them escaped.
std::string QuoteArgument(const std::string& argument);
std::u16string QuoteArgument(const std::u16string& argument);

// The arguments of a command-line text: separated by spaces and tabs; double
// quotes group; 2n backslashes before a quote give n and the quote groups,
// 2n+1 give n and a literal quote; "" inside quotes is a literal quote.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
std::vector<std::u16string> SplitCommandLine(const std::u16string& commandLine);

}  // namespace platform_unix
