// The framework stand-in's application object and initialisation. Portable:
// the same code runs in both builds (platform/framework_app.inl).
#include <gtest/gtest.h>

#include <string>

#include "../platform/framework.h"

namespace {

// The executable's file name without folder and extension, the way the
// framework titles an application object that has no name.
std::string ExpectedTitle()
{
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    const size_t separator = name.find_last_of("/\\");
    if (separator != std::string::npos) name = name.substr(separator + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0) name = name.substr(0, dot);
    return name;
}

}  // namespace

TEST(PlatformFramework, NoApplicationObjectNoInitialisation)
{
    ASSERT_EQ(nullptr, AfxGetApp());  // the test program has none of its own
    EXPECT_FALSE(AfxWinInit(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), 0));
}

TEST(PlatformFramework, UnnamedApplicationIsTitledAfterTheProgram)
{
    {
        CWinApp app;
        EXPECT_EQ(&app, AfxGetApp());
        EXPECT_EQ("unit_tests", ExpectedTitle());  // the test program's own name
        EXPECT_EQ(ExpectedTitle(), app.Title());
        EXPECT_TRUE(AfxWinInit(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), 0));
        EXPECT_EQ(ExpectedTitle(), app.Title());
    }
    EXPECT_EQ(nullptr, AfxGetApp());  // gone with the object
}

TEST(PlatformFramework, NamedApplicationKeepsItsName)
{
    CWinApp app("Tavix Updater");
    EXPECT_STREQ("Tavix Updater", app.Title());
    EXPECT_TRUE(AfxWinInit(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), 0));
    EXPECT_STREQ("Tavix Updater", app.Title());
}
