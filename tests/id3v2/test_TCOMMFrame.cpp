// SPDX-License-Identifier: MIT
#include "id3v2/frames/TCOMMFrame.h"

#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v1/ID3v1Types.h"

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
    const Case Cases[] = {
        {"latin-1", Fixture({{0x00}, "eng", "", {0}, "Nice", {0}}), teISO8859_1, u"", u"Nice", true},
        {"utf-16 with marks", Fixture({{0x01}, "deu", {0xFF, 0xFE, 'd', 0, 0, 0}, {0xFF, 0xFE, 0xFC, 0, 0, 0}}),
         teUTF16, u"d", u"\u00FC", true},
        {"utf-16 doubled terminator", Fixture({{0x01}, "eng", {0xFF, 0xFE, 'd', 0, 0, 0}, {0, 0},
                                               {0xFF, 0xFE, 'T', 0, 'x', 0, 0, 0}}),
         teUTF16, u"d", u"Tx", false},
        {"utf-16 without marks", Fixture({{0x01}, "eng", {0, 0}, {'T', 0, 'x', 0, 0, 0}}), teUTF16, u"", u"Tx", false},
        {"utf-16be text starting with U+00xx", Fixture({{0x02}, "eng", {0, 0}, {0, 'H', 0, 'i', 0, 0}}), teUTF16BE,
         u"", u"Hi", true},
        {"utf-8", Fixture({{0x03}, "fra", "c", {0}, {0xC3, 0xA9}, {0}}), teUTF8, u"c", u"\u00E9", true},
        {"text without terminator", Fixture({{0x00}, "eng", "", {0}, "abc"}), teISO8859_1, u"", u"abc", false},
    };
    for (uint16_t Version : {ID3V2_VERSION_2_2, ID3V2_VERSION_2_4}) {
        for (const auto& C : Cases) {
            SCOPED_TRACE(test::VersionName(Version) + " " + C.Name);
            const FrameBytes In =
                Header(Version, Version == ID3V2_VERSION_2_2 ? "COM" : "COMM", uint32_t(C.Content.size())) + C.Content;
            TCOMMFrame Frame;
            int64_t End = 0;
            ASSERT_TRUE(test::LoadFrame(Frame, In + Fixture({"TIT2"}), Version, &End));
            EXPECT_EQ(End, int64_t(In.size()));
            EXPECT_EQ(Frame.Encoding, C.Encoding);
            EXPECT_EQ(Frame.Language(), std::string(C.Content.begin() + 1, C.Content.begin() + 4));
            EXPECT_EQ(Frame.Description, C.Description);
            EXPECT_EQ(Frame.Text, C.Text);
            const uint16_t SaveVersion = (C.Encoding == teUTF16BE || C.Encoding == teUTF8) ? ID3V2_VERSION_2_4 : Version;
            const FrameBytes Out = test::SaveFrame(Frame, SaveVersion);
            if (C.SameBytes && SaveVersion == Version) {
                EXPECT_EQ(Out, In);
            }
            TCOMMFrame Back;
            ASSERT_TRUE(test::LoadFrame(Back, Out, SaveVersion));
            EXPECT_EQ(Back.Description, C.Description);
            EXPECT_EQ(Back.Text, C.Text);
        }
    }
}

TEST(TCOMMFrame, NewFrameHasZeroLanguage) {
    TCOMMFrame Frame;
    Frame.SetText(u"c");
    EXPECT_EQ(Frame.Language(), std::string(3, '\0'));
    Frame.Encoding = teISO8859_1;
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_3),
              Fixture({"COMM", {0, 0, 0, 7}, {0, 0}, {0x00}, {0, 0, 0}, {0}, "c", {0}}));
}

TEST(TCOMMFrame, SettersAndAssign) {
    TCOMMFrame Frame;
    Frame.SetLanguage("en");
    EXPECT_EQ(Frame.Language(), std::string(3, '\0'));
    EXPECT_FALSE(Frame.Modified);
    Frame.SetLanguage("english");
    EXPECT_EQ(Frame.Language(), "eng");
    Frame.Modified = false;
    Frame.SetLanguage("eng");
    EXPECT_TRUE(Frame.Modified) << "the language setter always marks the frame";

    TCOMMFrame Source;
    Source.SetLanguage("deu");
    Source.SetDescription(u"src");
    Source.SetText(u"Kommentar");
    TCOMMFrame Target;
    EXPECT_TRUE(Target.Assign(Source));
    EXPECT_EQ(Target.Language(), "deu");
    EXPECT_EQ(Target.Text, u"Kommentar");
    EXPECT_EQ(Target.Description, u"");

    TID3v1Tag Record;
    Record.SetComment("caf\xE9");
    EXPECT_TRUE(Target.Assign(Record));
    EXPECT_EQ(Target.Text, u"caf\u00E9");
}

TEST(TCOMMFrame, ShortContentStaysInsideTheFrame) {
    const FrameBytes Cases[] = {
        Fixture({"COMM", {0, 0, 0, 2}, {0, 0}, {0x00}, "e"}),
        Fixture({"COMM", {0, 0, 0, 0}, {0, 0}}),
        Fixture({"COMM", {0, 0, 0, 5}, {0, 0}, {0x01}, "eng", {0}}),
    };
    for (const auto& In : Cases) {
        TCOMMFrame Frame;
        int64_t End = 0;
        ASSERT_TRUE(test::LoadFrame(Frame, In + Fixture({"TIT2", {0, 0}}), ID3V2_VERSION_2_3, &End));
        EXPECT_EQ(End, int64_t(In.size()));
        EXPECT_EQ(Frame.Text, u"");
    }
}

}  // namespace
}  // namespace covrilo
