// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "io/AsciiText.h"

namespace covrilo {
namespace {

TEST(AsciiText, EveryByteUpToSpaceIsABlankAndNothingAbove) {
    for (int c = 0; c < 256; ++c) EXPECT_EQ(IsBlank(static_cast<char>(c)), c <= 0x20) << c;
}

TEST(AsciiText, TrimsBlanksAtTheEndsOnly) {
    struct TCase {
        std::string In, Both, Left, Right;
    };
    const TCase cases[] = {
        {"", "", "", ""},
        {" \t\r\n", "", "", ""},
        {std::string("\0 a b \0", 7), "a b", std::string("a b \0", 5), std::string("\0 a b", 5)},
        {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},  // a code-page non-breaking space is text
        {"x", "x", "x", "x"},
    };
    for (const TCase& t : cases) {
        SCOPED_TRACE(t.In);
        EXPECT_EQ(Trim(t.In), t.Both);
        EXPECT_EQ(TrimView(t.In), t.Both);
        EXPECT_EQ(TrimLeft(t.In), t.Left);
        EXPECT_EQ(TrimRight(t.In), t.Right);
    }
}

TEST(AsciiText, CaseFoldsAsciiLettersOnly) {
    EXPECT_EQ(UpperAscii("azAZ09_[`{\xE4\xFF"), "AZAZ09_[`{\xE4\xFF");
    EXPECT_EQ(LowerAscii("AZaz09_@[\xC4\xDE"), "azaz09_@[\xC4\xDE");
    EXPECT_EQ(UpperAscii(u"wm/title \u00E4\u0101"), u"WM/TITLE \u00E4\u0101");
    EXPECT_EQ(UpperAscii('q'), 'Q');
    EXPECT_EQ(UpperAscii('~'), '~');
}

TEST(AsciiText, EqualityIgnoresAsciiCaseOnly) {
    struct TCase {
        std::string_view A, B;
        bool Equal;
    };
    const TCase cases[] = {
        {"FrontCover", "frontcover", true},
        {"", "", true},
        {"abc", "abcd", false},
        {"[", "{", false},
        {"@", "`", false},
        {"\xC4", "\xE4", false},
        {"Rock", "Roc", false},
        {"2.3-UTF16", "2.3-utf16", true},
    };
    for (const TCase& t : cases) {
        SCOPED_TRACE(std::string(t.A) + " / " + std::string(t.B));
        EXPECT_EQ(EqualsNoCase(t.A, t.B), t.Equal);
        EXPECT_EQ(EqualsNoCase(t.B, t.A), t.Equal);
    }
}

}  // namespace
}  // namespace covrilo
