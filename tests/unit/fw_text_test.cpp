// Text conversions: UTF-8/UTF-16 with invalid input, GBK, the locale's set, trimming.
#include <clocale>
#include <string>

#include <gtest/gtest.h>

#include "fw/text.h"

namespace {

const std::string kFFFD = "\xEF\xBF\xBD";

TEST(FwText, RoundTripKeepsEveryPlane) {
    const std::string s = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";  // a é 中 😀 z
    const std::u16string u = fw::Utf8ToUtf16(s);
    EXPECT_EQ(u, u"a\u00E9\u4E2D\U0001F600z");
    EXPECT_EQ(fw::Utf16ToUtf8(u), s);
    EXPECT_EQ(fw::Utf16Length(s), 6u);
}

TEST(FwText, InvalidUtf8BecomesReplacementPerMaximalSubpart) {
    struct Case {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong '/'
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong, three bytes
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"x\xE4\xB8", u"x\uFFFD"},                          // truncated at the end
        {"\xE4\xB8"
         "A",
         u"\uFFFD"
         "A"},  // truncated before ASCII
        {"\xF0\x9F\x98"
         "\xE4\xB8\xAD",
         u"\uFFFD\u4E2D"},  // cut emoji, then a valid char
        {"\xFF\x80", u"\uFFFD\uFFFD"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fw::Utf8ToUtf16(c.in), c.out) << testing::PrintToString(c.in);
        EXPECT_EQ(fw::Utf16Length(c.in), c.out.size());
        EXPECT_EQ(fw::Utf8ToUtf16(fw::SanitizeUtf8(c.in)), c.out);
    }
    EXPECT_EQ(fw::SanitizeUtf8("ok \xE4\xB8\xAD" + kFFFD), "ok \xE4\xB8\xAD" + kFFFD);
    EXPECT_EQ(fw::SanitizeUtf8(std::string("a\0b\xC1", 4)), std::string("a\0b", 3) + kFFFD);
}

TEST(FwText, UnpairedSurrogatesBecomeReplacement) {
    EXPECT_EQ(fw::Utf16ToUtf8(u"\xD800"
                              u"A"),
              kFFFD + "A");
    EXPECT_EQ(fw::Utf16ToUtf8(u"A\xDC00"), "A" + kFFFD);
    EXPECT_EQ(fw::Utf16ToUtf8(u"\xDE00\xD83D"), kFFFD + kFFFD);  // reversed pair
    EXPECT_EQ(fw::Utf16ToUtf8(u"\xD83D"), kFFFD);                // high surrogate at the end
}

TEST(FwText, PrefixNeverSplitsACharacter) {
    const std::string s =
        "a\xF0\x9F\x98\x80"
        "b";  // a 😀 b: 4 UTF-16 units
    EXPECT_EQ(fw::Utf8PrefixUtf16Units(s, 0), "");
    EXPECT_EQ(fw::Utf8PrefixUtf16Units(s, 1), "a");
    EXPECT_EQ(fw::Utf8PrefixUtf16Units(s, 2), "a");  // half a surrogate pair is not taken
    EXPECT_EQ(fw::Utf8PrefixUtf16Units(s, 3), "a\xF0\x9F\x98\x80");
    EXPECT_EQ(fw::Utf8PrefixUtf16Units(s, 100), s);
    // An invalid byte counts as one unit and is kept as it was.
    EXPECT_EQ(fw::Utf8PrefixUtf16Units("\xFFxy", 2), "\xFFx");
}

TEST(FwText, Cp936ConvertsAndReplacesWhatItCannotHold) {
    EXPECT_EQ(fw::Utf8ToCp936("A\xE4\xB8\xAD\xE6\x96\x87"), "A\xD6\xD0\xCE\xC4");  // A中文
    EXPECT_EQ(fw::Cp936ToUtf8("A\xD6\xD0\xCE\xC4"), "A\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(fw::Utf8ToCp936("a\xF0\x9F\x98\x80"
                              "b"),
              "a?b");  // no emoji in GBK
    EXPECT_EQ(fw::Utf8ToCp936("a\xFF"
                              "b"),
              "a?b");  // invalid input
    EXPECT_EQ(fw::Cp936ToUtf8("A\xFF"
                              "B"),
              "A?B");
    EXPECT_EQ(fw::Cp936ToUtf8("A\xD6"), "A?");  // lead byte without its trail
    EXPECT_EQ(fw::Cp936ToUtf8(""), "");
}

TEST(FwText, SystemCharsetFollowsTheLocale) {
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
    EXPECT_EQ(fw::Utf8ToSystem("ab\xE4\xB8\xAD"), "ab?");
    EXPECT_EQ(fw::SystemToUtf8("ab\xE4"), "ab?");
    if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
        EXPECT_EQ(fw::Utf8ToSystem("ab\xE4\xB8\xAD"), "ab\xE4\xB8\xAD");
        EXPECT_EQ(fw::SystemToUtf8("ab\xE4"), "ab" + kFFFD);
    }
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(FwText, TrimSpaceUsesUnicodeSpaces) {
    EXPECT_EQ(fw::TrimSpace(" \t\r\n\v\fx y \t"), "x y");
    EXPECT_EQ(fw::TrimSpace("\xE3\x80\x80"
                            "x\xE2\x80\x83\xE2\x81\x9F"),
              "x");  // U+3000, U+2003, U+205F
    EXPECT_EQ(fw::TrimSpace("\xE1\x9A\x80"
                            "x\xE2\x80\xA8"),
              "x");                                                      // U+1680, U+2028
    EXPECT_EQ(fw::TrimSpace("\xC2\xA0x\xC2\xA0"), "\xC2\xA0x\xC2\xA0");  // no-break space stays
    EXPECT_EQ(fw::TrimSpace("\xE2\x80\x87x"), "\xE2\x80\x87x");          // U+2007 stays
    EXPECT_EQ(fw::TrimSpace("\xE2\x80\x8Bx"), "\xE2\x80\x8Bx");          // zero-width space stays
    EXPECT_EQ(fw::TrimSpace(" \xFF "), "\xFF");                          // an invalid byte is text, not space
    EXPECT_EQ(fw::TrimSpace(" \xE3\x80\x80 "), "");
    EXPECT_EQ(fw::TrimSpace(""), "");
}

}  // namespace
