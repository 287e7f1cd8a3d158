// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "id3v2/ID3v2Lang.h"
#include "id3v2/ISO_639_2.h"

namespace covrilo {
namespace {

std::string Lower(std::string S) {
    std::transform(S.begin(), S.end(), S.begin(),
                   [](char C) { return (C >= 'A' && C <= 'Z') ? C - 'A' + 'a' : C; });
    return S;
}

TEST(ISO_639_2, CountEndsAndOrder) {
    const auto rows = ISO639_2Entries();
    ASSERT_EQ(rows.size(), 490u);
    const char* first[][2] = {{"abk", "Abkhazian"}, {"ace", "Achinese"}, {"ach", "Acoli"}};
    const char* last[][2] = {{"zen", "Zenaga"}, {"zha", "Zhuang"}, {"zul", "Zulu"}, {"zun", "Zuni"}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_STREQ(rows[i].Code, first[i][0]);
        EXPECT_STREQ(rows[i].Name, first[i][1]);
    }
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_STREQ(rows[rows.size() - 4 + i].Code, last[i][0]);
        EXPECT_STREQ(rows[rows.size() - 4 + i].Name, last[i][1]);
    }
    std::set<std::string> codes;
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].Code);
        ASSERT_EQ(std::strlen(rows[i].Code), 3u);
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(rows[i].Code[k] >= 'a' && rows[i].Code[k] <= 'z');
        EXPECT_TRUE(codes.insert(rows[i].Code).second) << "duplicate code";
        if (i > 0) {
            EXPECT_LE(Lower(rows[i - 1].Name), Lower(rows[i].Name)) << "out of name order";
        }
    }
}

TEST(ISO_639_2, BibliographicAndTerminologyPairs) {
    struct Case {
        const char* B;
        const char* T;
        const char* Name;
    };
    const Case cases[] = {
        {"alb", "sqi", "Albanian"}, {"ger", "deu", "German"}, {"fre", "fra", "French"},
        {"chi", "zho", "Chinese"},  {"wel", "cym", "Welsh"},  {"dut", "nld", "Dutch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(LanguageName(c.B), c.Name);
        EXPECT_EQ(LanguageName(c.T), c.Name);
        // Both codes are listed next to each other, bibliographic first.
        const auto rows = ISO639_2Entries();
        const auto at = std::find_if(rows.begin(), rows.end(),
                                     [&](const TISO639_2Entry& E) { return std::strcmp(E.Code, c.B) == 0; });
        ASSERT_NE(at, rows.end());
        ASSERT_NE(at + 1, rows.end());
        EXPECT_STREQ((at + 1)->Code, c.T);
    }
    EXPECT_EQ(LanguageName("afa"), "Afro-Asiatic (Other)");
    EXPECT_EQ(LanguageName("vol"), "Volap\xFCk");
}

TEST(ID3v2Lang, Lookups) {
    struct Case {
        std::string Code;
        bool Valid;
        const char* Name;
    };
    const Case cases[] = {
        {"eng", true, "English"}, {"ENG", true, "English"}, {"Ger", true, "German"},
        {"XXX", false, ""},       {"xxx", false, ""},       {std::string("\0\0\0", 3), false, ""},
        {"en", false, ""},        {"engl", false, ""},      {"", false, ""},
        {"e g", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Code);
        EXPECT_EQ(IsValidLanguageCode(c.Code), c.Valid);
        EXPECT_EQ(LanguageName(c.Code), c.Name);
    }
}

}  // namespace
}  // namespace covrilo
