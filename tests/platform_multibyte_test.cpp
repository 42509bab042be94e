// _mbsstr and _mbsnbcpy walk double-byte characters as the Microsoft C
// runtime does. Portable: on Windows they are msvcrt's own. Wine's msvcrt,
// which runs the Windows tests in CI, differs in two places (its _mbsstr is a
// plain strstr, and _setmbcp(0) reports 20127): those checks are skipped there.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../platform/winapi.h"
#include "support/code_page_scope.h"
#include "support/wine.h"

namespace {

const unsigned char* U(const char* text)
{
    return reinterpret_cast<const unsigned char*>(text);
}

// Eight bytes of 'z' after _mbsnbcpy has copied `count` bytes of `source`
// over them.
std::string CopiedOverZs(const char* source, size_t count)
{
    unsigned char out[8];
    std::memset(out, 'z', sizeof out);
    _mbsnbcpy(out, U(source), count);
    return std::string(reinterpret_cast<const char*>(out), sizeof out);
}

// Eight bytes as written, zeros included.
std::string EightBytes(const char (&bytes)[9])
{
    return std::string(bytes, 8);
}

}  // namespace

TEST(PlatformMultibyte, SetAndGetCodePage)
{
    {
        CodePageScope gbk(936);
        ASSERT_TRUE(gbk.Ok());
        EXPECT_EQ(936, _getmbcp());
        CodePageScope none(0);
        ASSERT_TRUE(none.Ok());
        if (!RunningUnderWine()) {
            EXPECT_EQ(0, _getmbcp());
        }
    }
    const int before = _getmbcp();
    EXPECT_EQ(-1, _setmbcp(12345));  // no such code page: nothing changes
    EXPECT_EQ(before, _getmbcp());
}

TEST(PlatformMultibyte, MbsstrSkipsTrailBytesIn936)
{
    if (RunningUnderWine()) GTEST_SKIP() << "Wine's _mbsstr does not walk characters";
    CodePageScope gbk(936);
    ASSERT_TRUE(gbk.Ok());
    // 0x95 0x5C is one character whose trail byte is a backslash; the real
    // separator comes after "..".
    const char* name = "\x95\x5c..\\x";
    const unsigned char* found = _mbsstr(U(name), U("\\"));
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(4, found - U(name));
    EXPECT_EQ(nullptr, _mbsstr(U("\x95\x5c"), U("\\")));
    // "\x5c.." must not match starting inside the character.
    EXPECT_EQ(nullptr, _mbsstr(U("a\x95\x5c.."), U("\\..")));
    EXPECT_EQ(U(name) + 4, _mbsstr(U(name), U("\\x")));
    // A match may start right after a double-byte character.
    const char* two = "\xB2\xE2..";
    EXPECT_EQ(U(two) + 2, _mbsstr(U(two), U("..")));
    // The empty string is found at the start.
    EXPECT_EQ(U(name), _mbsstr(U(name), U("")));
}

TEST(PlatformMultibyte, MbsstrWithoutDoubleBytesIsPlainSearch)
{
    for (int codePage : {0, 65001}) {
        CodePageScope page(codePage);
        ASSERT_TRUE(page.Ok()) << codePage;
        const char* name = "\x95\x5c..\\x";
        EXPECT_EQ(U(name) + 1, _mbsstr(U(name), U("\\"))) << codePage;
    }
}

TEST(PlatformMultibyte, MbsnbcpyNeverSplitsACharacter)
{
    CodePageScope gbk(936);
    ASSERT_TRUE(gbk.Ok());
    // "ab" + one double-byte character: with 3 bytes allowed, the lead byte
    // would be the last one copied, so it becomes 0; nothing beyond the count.
    EXPECT_EQ(EightBytes("ab\0zzzzz"), CopiedOverZs("ab\xB2\xE2", 3));
    // With 4 the character fits; the source is that long, so no terminator.
    EXPECT_EQ(EightBytes("ab\xB2\xE2zzzz"), CopiedOverZs("ab\xB2\xE2", 4));
    // A shorter source is copied and the rest of the count is zero-filled.
    EXPECT_EQ(EightBytes("\xB2\xE2\0\0\0\0zz"), CopiedOverZs("\xB2\xE2", 6));
    // A trail byte 0x5C is copied as part of its character.
    EXPECT_EQ(EightBytes("\x95\x5czzzzzz"), CopiedOverZs("\x95\x5c", 2));
}

TEST(PlatformMultibyte, MbsnbcpyWithoutDoubleBytesCopiesBytes)
{
    CodePageScope none(0);
    ASSERT_TRUE(none.Ok());
    EXPECT_EQ(EightBytes("ab\xB2zzzzz"), CopiedOverZs("ab\xB2\xE2", 3));
    EXPECT_EQ(EightBytes("ab\0\0\0zzz"), CopiedOverZs("ab", 5));
}

// The Linux half decodes 1252 by Windows' own table, which Wine's run of
// this test holds it to: every byte is a character, the five unassigned ones
// their C1 controls, also when invalid characters are refused.
TEST(PlatformMultibyte, Western1252DecodesEveryByteAsWindowsDoes)
{
    const char bytes[] = "\x80\x81\x8D\x9F\xA0\xE9";
    const WCHAR expected[] = {0x20AC, 0x0081, 0x008D, 0x0178, 0x00A0, 0x00E9};
    WCHAR wide[8] = {};
    ASSERT_EQ(6, MultiByteToWideChar(1252, MB_ERR_INVALID_CHARS, bytes, 6, wide, 8));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(expected[i], wide[i]) << i;
}
