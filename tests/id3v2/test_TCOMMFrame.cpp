// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v1/ID3v1Types.h"
#include "id3v2/frames/TCOMMFrame.h"

namespace covrilo {
namespace {

using test::Fixture;
using test::FrameBytes;
using test::Header;
using test::operator+;

TEST(TCOMMFrame, ReadsLanguageDescriptionAndText) {
    struct Case {
        const char* Name;
        FrameBytes Content;
        TTextEncoding Encoding;
        std::u16string Description, Text;
        bool SameBytes;
    };
    const Case cases[] = {
        {"latin-1", Fixture({{0x00}, "eng", "", {0}, "Nice", {0}}), teISO8859_1, u"", u"Nice", true},
        {"utf-16 with marks",
         Fixture({{0x01}, "deu", {0xFF, 0xFE, 'd', 0, 0, 0}, {0xFF, 0xFE, 0xFC, 0, 0, 0}}), teUTF16, u"d",
         u"\u00FC", true},
        {"utf-16 doubled terminator",
         Fixture({{0x01}, "eng", {0xFF, 0xFE, 'd', 0, 0, 0}, {0, 0}, {0xFF, 0xFE, 'T', 0, 'x', 0, 0, 0}}),
         teUTF16, u"d", u"Tx", false},
        {"utf-16 without marks", Fixture({{0x01}, "eng", {0, 0}, {'T', 0, 'x', 0, 0, 0}}), teUTF16, u"",
         u"Tx", false},
        {"utf-16be text starting with U+00xx", Fixture({{0x02}, "eng", {0, 0}, {0, 'H', 0, 'i', 0, 0}}),
         teUTF16BE, u"", u"Hi", true},
        {"utf-8", Fixture({{0x03}, "fra", "c", {0}, {0xC3, 0xA9}, {0}}), teUTF8, u"c", u"\u00E9", true},
        {"text without terminator", Fixture({{0x00}, "eng", "", {0}, "abc"}), teISO8859_1, u"", u"abc",
         false},
    };
    for (uint16_t version : {ID3V2_VERSION_2_2, ID3V2_VERSION_2_4}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(test::VersionName(version) + " " + c.Name);
            const FrameBytes in =
                Header(version, version == ID3V2_VERSION_2_2 ? "COM" : "COMM", uint32_t(c.Content.size())) +
                c.Content;
            TCOMMFrame frame;
            int64_t end = 0;
            ASSERT_TRUE(test::LoadFrame(frame, in + Fixture({"TIT2"}), version, &end));
            EXPECT_EQ(end, int64_t(in.size()));
            EXPECT_EQ(frame.Encoding, c.Encoding);
            EXPECT_EQ(frame.Language(), std::string(c.Content.begin() + 1, c.Content.begin() + 4));
            EXPECT_EQ(frame.Description, c.Description);
            EXPECT_EQ(frame.Text, c.Text);
            const uint16_t saveVersion =
                (c.Encoding == teUTF16BE || c.Encoding == teUTF8) ? ID3V2_VERSION_2_4 : version;
            const FrameBytes out = test::SaveFrame(frame, saveVersion);
            if (c.SameBytes && saveVersion == version) {
                EXPECT_EQ(out, in);
            }
            TCOMMFrame back;
            ASSERT_TRUE(test::LoadFrame(back, out, saveVersion));
            EXPECT_EQ(back.Description, c.Description);
            EXPECT_EQ(back.Text, c.Text);
        }
    }
}

TEST(TCOMMFrame, NewFrameHasZeroLanguage) {
    TCOMMFrame frame;
    frame.SetText(u"c");
    EXPECT_EQ(frame.Language(), std::string(3, '\0'));
    frame.Encoding = teISO8859_1;
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_3),
              Fixture({"COMM", {0, 0, 0, 7}, {0, 0}, {0x00}, {0, 0, 0}, {0}, "c", {0}}));
}

TEST(TCOMMFrame, SettersAndAssign) {
    TCOMMFrame frame;
    frame.SetLanguage("en");
    EXPECT_EQ(frame.Language(), std::string(3, '\0'));
    EXPECT_FALSE(frame.Modified);
    frame.SetLanguage("english");
    EXPECT_EQ(frame.Language(), "eng");
    frame.Modified = false;
    frame.SetLanguage("eng");
    EXPECT_TRUE(frame.Modified) << "the language setter always marks the frame";

    TCOMMFrame source;
    source.SetLanguage("deu");
    source.SetDescription(u"src");
    source.SetText(u"Kommentar");
    TCOMMFrame target;
    EXPECT_TRUE(target.Assign(source));
    EXPECT_EQ(target.Language(), "deu");
    EXPECT_EQ(target.Text, u"Kommentar");
    EXPECT_EQ(target.Description, u"");

    TID3v1Tag record;
    record.SetComment("caf\xE9");
    EXPECT_TRUE(target.Assign(record));
    EXPECT_EQ(target.Text, u"caf\u00E9");
}

TEST(TCOMMFrame, ShortContentStaysInsideTheFrame) {
    const FrameBytes cases[] = {
        Fixture({"COMM", {0, 0, 0, 2}, {0, 0}, {0x00}, "e"}),
        Fixture({"COMM", {0, 0, 0, 0}, {0, 0}}),
        Fixture({"COMM", {0, 0, 0, 5}, {0, 0}, {0x01}, "eng", {0}}),
    };
    for (const auto& in : cases) {
        TCOMMFrame frame;
        int64_t end = 0;
        ASSERT_TRUE(test::LoadFrame(frame, in + Fixture({"TIT2", {0, 0}}), ID3V2_VERSION_2_3, &end));
        EXPECT_EQ(end, int64_t(in.size()));
        EXPECT_EQ(frame.Text, u"");
    }
}

}  // namespace
}  // namespace covrilo
