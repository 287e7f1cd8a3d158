// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "io/TextConversion.h"

namespace covrilo {
namespace {

TEST(TextConversion, Windows1252BothWays) {
    struct Case {
        std::string Ansi;
        std::u16string Wide;
    } cases[] = {
        {"abc", u"abc"},
        {"\x80", u"\u20AC"},              // euro sign
        {"\x9F\x8A", u"\u0178\u0160"},    // the 0x80..0x9F block
        {"\xE9t\xE9", u"\u00E9t\u00E9"},  // Latin-1 range is identity
        {"\x81", u"\u0081"},              // undefined byte keeps its value
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AnsiToWide(c.Ansi), c.Wide);
        EXPECT_EQ(WideToAnsi(c.Wide), c.Ansi);
    }
}

TEST(TextConversion, CharactersALatinSetLacksBecomeQuestionMarks) {
    EXPECT_EQ(WideToAnsi(u"\u6771\u4EAC!"),
              "?"
              "?!");
    EXPECT_EQ(WideToAnsi(u"\U0001F3B5"), "?");  // one character, one '?'
    EXPECT_EQ(WideToLatin1(u"\u20AC\u00FF"), "?\xFF");
    EXPECT_EQ(Latin1ToWide("\x80\xFF"), u"\u0080\u00FF");  // not Windows-1252
}

TEST(TextConversion, Utf8RoundTripsEveryPlane) {
    const std::u16string text = u"A\u00E9\u0416\u6771\U0001F3B5z";
    const std::string utf8 = "A\xC3\xA9\xD0\x96\xE6\x9D\xB1\xF0\x9F\x8E\xB5z";
    EXPECT_EQ(WideToUtf8(text), utf8);
    EXPECT_EQ(Utf8ToWide(utf8), text);
    EXPECT_EQ(Utf8Length(text), utf8.size());
}

TEST(TextConversion, MalformedUtf8DecodesToReplacementCharacters) {
    struct Case {
        std::string Bytes;
        std::u16string Wide;
    } cases[] = {
        {"\xC3", u"\uFFFD"},                      // truncated sequence
        {"\xC3(", u"\uFFFD("},                    // bad continuation
        {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
        {"\xFF", u"\uFFFD"},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToWide(c.Bytes), c.Wide);
}

TEST(TextConversion, LoneSurrogatesEncodeAsReplacementCharacter) {
    EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC"), "\x80");
    EXPECT_EQ(AnsiToUtf8("\x80"), "\xE2\x82\xAC");
}

}  // namespace
}  // namespace covrilo
