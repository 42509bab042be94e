// The Linux layer's default multibyte code page follows the locale's
// character set in the environment, and paths keep a 0x5C trail byte.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../platform/winapi.h"
#include "support/scratch_folder.h"

namespace {

// Sets the locale variables for one test; puts them and the code page back.
class LocaleEnvironment {
public:
    LocaleEnvironment(const char* lcAll, const char* lcCtype, const char* lang)
        : codePage_(_getmbcp())
    {
        Save("LC_ALL", lcAll);
        Save("LC_CTYPE", lcCtype);
        Save("LANG", lang);
    }
    ~LocaleEnvironment()
    {
        for (const Saved& saved : saved_) {
            if (saved.had) {
                setenv(saved.name, saved.value.c_str(), 1);
            } else {
                unsetenv(saved.name);
            }
        }
        _setmbcp(codePage_);
    }

private:
    struct Saved {
        const char* name;
        bool had;
        std::string value;
    };
    void Save(const char* name, const char* value)
    {
        const char* old = std::getenv(name);
        saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    int codePage_;
    std::vector<Saved> saved_;
};

int LocaleCodePage(const char* lcAll, const char* lcCtype, const char* lang)
{
    LocaleEnvironment environment(lcAll, lcCtype, lang);
    EXPECT_EQ(0, _setmbcp(_MB_CP_LOCALE));
    return _getmbcp();
}

}  // namespace

TEST(PlatformMultibyteLocale, DefaultFollowsTheCharsetInTheEnvironment)
{
    EXPECT_EQ(936, LocaleCodePage(nullptr, nullptr, "zh_CN.GBK"));
    EXPECT_EQ(936, LocaleCodePage(nullptr, nullptr, "zh_CN.gb2312"));
    EXPECT_EQ(936, LocaleCodePage(nullptr, nullptr, "zh_CN.GB18030"));
    EXPECT_EQ(936, LocaleCodePage(nullptr, nullptr, "zh_CN.gbk@euro"));
    EXPECT_EQ(65001, LocaleCodePage(nullptr, nullptr, "zh_CN.UTF-8"));
    EXPECT_EQ(65001, LocaleCodePage(nullptr, nullptr, "C.utf8"));
    EXPECT_EQ(0, LocaleCodePage(nullptr, nullptr, "C"));
    EXPECT_EQ(0, LocaleCodePage(nullptr, nullptr, "en_US.ISO-8859-1"));
    EXPECT_EQ(0, LocaleCodePage(nullptr, nullptr, nullptr));
    EXPECT_EQ(0, LocaleCodePage("", "", ""));
}

TEST(PlatformMultibyteLocale, LcAllThenLcCtypeThenLang)
{
    EXPECT_EQ(936, LocaleCodePage("zh_CN.GBK", "en_US.UTF-8", "C"));
    EXPECT_EQ(65001, LocaleCodePage(nullptr, "en_US.UTF-8", "zh_CN.GBK"));
    EXPECT_EQ(936, LocaleCodePage("", "zh_CN.GBK", "en_US.UTF-8"));  // empty is unset
}

TEST(PlatformMultibyteLocale, PathsKeepATrailByteBackslash)
{
    LocaleEnvironment environment(nullptr, nullptr, nullptr);
    ASSERT_EQ(0, _setmbcp(936));
    ScratchFolder dir;
    // One GBK character whose trail byte is 0x5C: one file, not a folder.
    const std::string name = dir.String() + "\\\x95\x5c.txt";
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "\x95\x5c.txt"));
    EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, GetFileAttributesA(name.c_str()));
    EXPECT_TRUE(DeleteFileA(name.c_str()));
}
