// The names Windows would make into another file, found component by
// component on character boundaries; "." and ".." are path syntax, left to
// the callers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/windows_names.h"
#include "platform/winapi.h"
#include "support/code_page_scope.h"

namespace {

struct Expected {
    const char* name;
    WindowsNameRule rule;
    const char* component;  // the component found; "" for none
};

void ExpectRules(const std::vector<Expected>& cases)
{
    for (const Expected& c : cases) {
        const WindowsNameChange change = FindWindowsNameChange(c.name);
        EXPECT_EQ(change.rule, c.rule) << c.name;
        const std::string found =
            change.component ? std::string(change.component, change.length) : "";
        EXPECT_EQ(found, c.component) << c.name;
    }
}

}  // namespace

TEST(WindowsNames, TrimmedDevicesAndStreams)
{
    using R = WindowsNameRule;
    ExpectRules({
        {"bin /x.dll", R::TrailingDotOrSpace, "bin "},
        {".. /x.txt", R::TrailingDotOrSpace, ".. "},
        {"a/. /b.txt", R::TrailingDotOrSpace, ". "},
        {"...", R::TrailingDotOrSpace, "..."},
        {"docs/a.txt.", R::TrailingDotOrSpace, "a.txt."},
        {"NUL/x.txt", R::DeviceName, "NUL"},
        {"bin/aux", R::DeviceName, "aux"},
        {"Con .log", R::DeviceName, "Con .log"},
        {"com0.tar.gz", R::DeviceName, "com0.tar.gz"},
        {"x/LPT9", R::DeviceName, "LPT9"},
        {"a.txt:stream", R::Colon, "a.txt:stream"},
        {"dir:/x.txt", R::Colon, "dir:"},
        {"./ok.txt", R::None, ""},
        {"a/./b/../c", R::None, ""},
        {"C:\\dir\\x.txt", R::None, ""},  // an absolute name's drive
        {"COM10.txt", R::None, ""},
        {"CONSOLE/nul_/con-x/.hidden/a..b/ lead", R::None, ""},
        {"", R::None, ""},
        {"docs/", R::None, ""},
    });
    EXPECT_EQ(DeviceStemLength("Aux .txt", 8), 3u);
}

// A 0x5C trail byte is part of its character: "\x95\x5C" followed by "CON"
// is one component, no device.
TEST(WindowsNames, ComponentsOnCharacterBoundariesAndSuperscriptDevices)
{
    {
        CodePageScope gbk(936);
        ASSERT_TRUE(gbk.Ok());
        ExpectRules({{"\x95\x5C"
                      "CON/x",
                      WindowsNameRule::None, ""},
                     {"\x95\x5C/CON", WindowsNameRule::DeviceName, "CON"}});
    }
    CodePageScope utf8(65001);
    if (!utf8.AnsiFollows()) GTEST_SKIP() << "the system's code page is " << GetACP();
    ExpectRules({{"bin/COM\xC2\xB9.txt", WindowsNameRule::DeviceName, "COM\xC2\xB9.txt"},
                 {"lpt\xC2\xB3", WindowsNameRule::DeviceName, "lpt\xC2\xB3"},
                 {"COM\xC2\xB4", WindowsNameRule::None, ""}});
}
