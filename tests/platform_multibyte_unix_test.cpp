// The Linux layer's default multibyte code page follows the locale's
// character set in the environment, and paths keep a 0x5C trail byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../platform/winapi.h"
#include "support/code_page_scope.h"
#include "support/environment_scope.h"
#include "support/scratch_folder.h"

namespace {

// The code page _setmbcp(_MB_CP_LOCALE) takes from the locale variables
// (null: unset); the variables and the code page are put back.
int LocaleCodePage(const char* lcAll, const char* lcCtype, const char* lang)
{
    const int previous = _getmbcp();
    EnvironmentScope locale("LC_ALL", lcAll);
    locale.Set("LC_CTYPE", lcCtype);
    locale.Set("LANG", lang);
    EXPECT_EQ(0, _setmbcp(_MB_CP_LOCALE));
    const int codePage = _getmbcp();
    _setmbcp(previous);
    return codePage;
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
    CodePageScope gbk(936);
    ASSERT_TRUE(gbk.Ok());
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

// Linux has no legacy code page beside the locale's, and the narrow texts
// it hands out decode to their wide forms whatever their bytes: an invalid
// byte is U+FFFD there, and refused only where the caller asks for that.
TEST(PlatformMultibyteLocale, TheLocaleCodePageAndDecodingAnyBytes)
{
    struct Case {
        int codePage;
        const char* bytes;
        std::u16string lossy;
    };
    const Case cases[] = {
        {65001, "a\xE5\xA1\x94\xE4(", u"a\u5854\uFFFD("},
        {936, "\xCB\xFE\x81 x", u"\u5854\uFFFD x"},
    };
    for (const Case& c : cases) {
        CodePageScope scope(c.codePage);
        ASSERT_TRUE(scope.Ok());
        EXPECT_EQ(UINT(c.codePage), GetACP());
        char number[8] = {};
        EXPECT_EQ(int(std::to_string(c.codePage).size() + 1),
                  GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, number,
                                 sizeof number));
        EXPECT_EQ(std::to_string(c.codePage), number);

        WCHAR wide[16];
        const int units = MultiByteToWideChar(CP_ACP, 0, c.bytes, -1, wide, 16);
        EXPECT_EQ(c.lossy, std::u16string(wide, size_t(units > 0 ? units - 1 : 0))) << c.codePage;
        EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, c.bytes, -1, wide, 16));
        EXPECT_EQ(ERROR_NO_UNICODE_TRANSLATION, GetLastError());
    }
}
