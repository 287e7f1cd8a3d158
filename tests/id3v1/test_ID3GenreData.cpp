// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "id3v1/ID3GenreData.h"

namespace covrilo {
namespace {

TEST(ID3GenreData, TableRows) {
    struct Case {
        int Index;
        const char* Name;
    };
    // Rows that differ from other genre lists, plus both ends and the edges of the extension.
    const Case cases[] = {
        {0, "Blues"},      {14, "R&B"},        {67, "Psychadelic"},    {79, "Hard Rock"}, {80, "Folk"},
        {123, "Acapella"}, {133, "Negerpunk"}, {141, "Cristian Rock"}, {147, "Synthpop"}, {148, "Unknown"},
    };
    for (const Case& c : cases) EXPECT_STREQ(ID3Genres[c.Index], c.Name) << c.Index;
}

TEST(ID3GenreData, ExtractGenre) {
    struct Case {
        const char* Text;
        const char* Token;
        const char* Rest;
    };
    const Case cases[] = {
        {"", "", ""},
        {"   ", "", ""},
        {"Rock", "Rock", ""},
        {"  Rock ", "Rock ", ""},
        {"rock, pop", "rock", " pop"},
        {" Pop , (17)", "Pop", " (17)"},
        {"(17)Rock", "17", "Rock"},
        {"( 17 )  Rock  ", "17", "Rock"},
        {"(17)(18)", "17", "(18)"},
        {"(17", "17", ""},
        {"( Blues ", "Blues", ""},
        {"Rock (live)", "Rock ", "live)"},
        {"Rock(17)", "Rock", "17)"},
    };
    const TID3GenreData data;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        std::string text = c.Text, token = "stale";
        data.ExtractGenre(text, token);
        EXPECT_EQ(token, c.Token);
        EXPECT_EQ(text, c.Rest);
    }
}

TEST(ID3GenreData, IsDigitsOnly) {
    const TID3GenreData data;
    EXPECT_TRUE(data.IsDigitsOnly(""));
    EXPECT_TRUE(data.IsDigitsOnly("0123456789"));
    for (const char* s : {"1a", " 1", "-1", "1.0", "RX"}) EXPECT_FALSE(data.IsDigitsOnly(s)) << s;
}

TEST(ID3GenreData, GenreTextToIndex) {
    struct Case {
        const char* Text;
        int Expected;
    };
    const Case cases[] = {
        {"(17)Rock", 17},
        {"Rock", 17},
        {"rock, pop", 17},
        {"ROCK", 17},
        {"  Rock  ", 17},
        {"17", 17},
        {"(0)", 0},
        {"(300)", 44},
        {"(255)", 255},
        {"256", 0},
        {"unknown", 148},
        {"Cristian Rock", 141},
        {"r&b", 14},
        // A name before a parenthesis still finds its row.
        {"Rock (live)", 17},
        {"Not A Genre", 255},
        {"", 255},
        {"()", 255},
        {"(RX)", 255},
        {"(CR)Rock", 255},
        // Numbers too large for a 32-bit integer do not convert.
        {"99999999999", 255},
        {"2147483392", 0},
        {"2147483648", 255},
    };
    const TID3GenreData data;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(data.GenreTextToIndex(c.Text, 255), c.Expected);
    }
    EXPECT_EQ(data.GenreTextToIndex("Nothing", 12), 12);
    EXPECT_EQ(data.GenreTextToIndex("", 7), 7);
}

TEST(ID3GenreData, GenreNumberToText) {
    const TID3GenreData data;
    EXPECT_EQ(data.GenreNumberToText(0), "(0)");
    EXPECT_EQ(data.GenreNumberToText(17), "(17)");
    EXPECT_EQ(data.GenreNumberToText(255), "(255)");
    // Every number written round-trips through the parser.
    for (int n = 0; n < 256; ++n) EXPECT_EQ(data.GenreTextToIndex(data.GenreNumberToText(n), 1), n);
}

}  // namespace
}  // namespace covrilo
