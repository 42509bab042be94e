// Windows command-line quoting and splitting.
#include "command_line.h"

#include <algorithm>

namespace {

template <typename Text>
Text QuoteText(const Text& argument)
{
    const bool plain = std::none_of(argument.begin(), argument.end(), [](auto c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '"';
    });
    if (!argument.empty() && plain) {
        return argument;
    }
    Text quoted(1, '"');
    size_t backslashes = 0;
    for (auto c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');  // they come before the closing quote
    quoted += '"';
    return quoted;
}

template <typename Text>
std::vector<Text> SplitText(const Text& commandLine)
{
    std::vector<Text> arguments;
    Text current;
    bool inArgument = false;
    bool inQuotes = false;
    size_t i = 0;
    while (i < commandLine.size()) {
        const auto c = commandLine[i];
        if (!inQuotes && (c == ' ' || c == '\t')) {
            if (inArgument) {
                arguments.push_back(current);
                current.clear();
                inArgument = false;
            }
            ++i;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            size_t backslashes = 0;
            while (i < commandLine.size() && commandLine[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < commandLine.size() && commandLine[i] == '"') {
                current.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    current += '"';
                    ++i;
                }
                // an even count leaves the quote to the next round
            } else {
                current.append(backslashes, '\\');
            }
            continue;
        }
        if (c == '"') {
            if (inQuotes && i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
                current += '"';  // "" inside quotes
                i += 2;
                continue;
            }
            inQuotes = !inQuotes;
            ++i;
            continue;
        }
        current += c;
        ++i;
    }
    if (inArgument) {
        arguments.push_back(current);
    }
    return arguments;
}

}  // namespace

namespace platform_unix {

std::string QuoteArgument(const std::string& argument)
{
    return QuoteText(argument);
}

std::u16string QuoteArgument(const std::u16string& argument)
{
    return QuoteText(argument);
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine)
{
    return SplitText(commandLine);
}

std::vector<std::u16string> SplitCommandLine(const std::u16string& commandLine)
{
    return SplitText(commandLine);
}

}  // namespace platform_unix
