// SPDX-License-Identifier: MIT
#include "id3v2/frames/TTxxxFrame.h"

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

const uint16_t kVersions[] = {ID3V2_VERSION_2_2, ID3V2_VERSION_2_3, ID3V2_VERSION_2_4};

std::string IdFor(uint16_t Version, const std::string& ID23) {
    if (Version != ID3V2_VERSION_2_2) return ID23;
    return ID23 == "TXXX" ? "TXX" : ID23 == "TIT2" ? "TT2" : "TP1";
}

TEST(TTxxxFrame, ReadsAndWritesEachEncodingInEachVersion) {
    struct Case {
        const char* Name;
        FrameBytes Content;
        TTextEncoding Encoding;
        std::u16string Text;
        bool BigEndian;
    };
    const Case Cases[] = {
        {"latin-1", Fixture({{0x00}, {'C', 0xE9, 'l', 0x00}}), teISO8859_1, u"C\u00E9l", false},
        {"utf-16 FF FE", Fixture({{0x01}, {0xFF, 0xFE}, {'C', 0, 0xE9, 0}, {0, 0}}), teUTF16, u"C\u00E9", false},
        {"utf-16 FE FF", Fixture({{0x01}, {0xFE, 0xFF}, {0, 'C', 0x20, 0xAC}, {0, 0}}), teUTF16, u"C\u20AC", true},
        {"empty latin-1", Fixture({{0x00}, {0x00}}), teISO8859_1, u"", false},
    };
    for (uint16_t Version : kVersions) {
        for (const auto& C : Cases) {
            SCOPED_TRACE(test::VersionName(Version) + " " + C.Name);
            const FrameBytes In = Header(Version, IdFor(Version, "TIT2"), uint32_t(C.Content.size())) + C.Content;
            TTxxxFrame Frame;
            int64_t End = 0;
            ASSERT_TRUE(test::LoadFrame(Frame, In + Fixture({"NEXT"}), Version, &End));
            EXPECT_EQ(End, int64_t(In.size()));
            EXPECT_EQ(Frame.FrameID(), "TIT2");
            EXPECT_EQ(Frame.FrameName, "Title");
            EXPECT_EQ(Frame.Encoding, C.Encoding);
            EXPECT_EQ(Frame.Text, C.Text);
            EXPECT_EQ(Frame.BigEndian, C.BigEndian);
            EXPECT_TRUE(Frame.MoreTexts.empty());
            EXPECT_TRUE(Frame.Stored);
            EXPECT_FALSE(Frame.Modified);
            // Unchanged frames are written back byte for byte, marks included.
            EXPECT_EQ(test::SaveFrame(Frame, Version), In);
        }
    }
}

TEST(TTxxxFrame, KeepsEveryStringOfTheFrame) {
    struct Case {
        const char* Name;
        const char* ID;
        FrameBytes Content;
        std::u16string Text;
        std::vector<std::u16string> More;
    };
    const Case Cases[] = {
        {"TXXX latin-1 description and value", "TXXX",
         Fixture({{0x00},                      // encoding
                  "replaygain_track_gain", {0},  // description
                  "-6.50 dB", {0}}),           // value
         u"replaygain_track_gain", {u"-6.50 dB"}},
        {"TXXX utf-16, value without terminator", "TXXX",
         Fixture({{0x01},                      // encoding
                  {0xFF, 0xFE, 'K', 0, 0, 0},  // description "K"
                  {0xFF, 0xFE, 'v', 0}}),      // value "v", no terminator
         u"K", {u"v"}},
        {"utf-16 odd byte after the last string", "TPE1",
         Fixture({{0x01},                      // encoding
                  {0xFE, 0xFF, 0, 'A', 0, 0},  // "A"
                  {0xFE, 0xFF, 0, 'B', 0, 0},  // "B"
                  {0x00}}),                    // not a character
         u"A", {u"B"}},
        {"multi-value artist", "TPE1",
         Fixture({{0x00},                      // encoding
                  "Ann", {0},                  // first value
                  "", {0},                     // an empty value in the middle
                  "Bob", {0}}),                // third value
         u"Ann", {u"", u"Bob"}},
    };
    for (uint16_t Version : kVersions) {
        for (const auto& C : Cases) {
            SCOPED_TRACE(test::VersionName(Version) + " " + C.Name);
            const FrameBytes In = Header(Version, IdFor(Version, C.ID), uint32_t(C.Content.size())) + C.Content;
            TTxxxFrame Frame;
            ASSERT_TRUE(test::LoadFrame(Frame, In, Version));
            EXPECT_EQ(Frame.Text, C.Text);
            EXPECT_EQ(Frame.MoreTexts, C.More);
            TTxxxFrame Back;
            ASSERT_TRUE(test::LoadFrame(Back, test::SaveFrame(Frame, Version), Version));
            EXPECT_EQ(Back.Text, C.Text);
            EXPECT_EQ(Back.MoreTexts, C.More);
        }
    }
}

TEST(TTxxxFrame, MultiValueUtf8SurvivesSavingAsTwoThree) {
    const FrameBytes In = Fixture({"TXXX",                   // identifier
                                   {0x00, 0x00, 0x00, 0x10},  // size 16
                                   {0x00, 0x00},             // flags
                                   {0x03},                   // UTF-8
                                   "CATALOG", {0x00},        // description
                                   {0xE6, 0x97, 0xA5}, {0x00},  // value U+65E5
                                   "x7", {0x00}});           // second value
    TTxxxFrame Frame;
    ASSERT_TRUE(test::LoadFrame(Frame, In, ID3V2_VERSION_2_4));
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_4), In);

    const FrameBytes Out = test::SaveFrame(Frame, ID3V2_VERSION_2_3);
    const FrameBytes Expected = Fixture({"TXXX",               // identifier
                                         {0x00, 0x00, 0x00, 0x21},  // size 33
                                         {0x00, 0x00},         // flags
                                         {0x01},               // UTF-16 with marks
                                         {0xFF, 0xFE, 'C', 0, 'A', 0, 'T', 0, 'A', 0, 'L', 0, 'O', 0, 'G', 0, 0, 0},
                                         {0xFF, 0xFE, 0xE5, 0x65, 0, 0},
                                         {0xFF, 0xFE, 'x', 0, '7', 0, 0, 0}});
    EXPECT_EQ(Out, Expected);
    EXPECT_EQ(Frame.Encoding, teUTF16);
}

TEST(TTxxxFrame, AdjustsEncodingBelowTwoFour) {
    struct Case {
        const char* Name;
        TTextEncoding Encoding;
        bool BigEndian;
        uint16_t Version;
        TTextEncoding Written;
        FrameBytes Content;
    };
    const Case Cases[] = {
        {"new frame, defaults, 2.3", teUTF16BE, true, ID3V2_VERSION_2_3, teUTF16,
         Fixture({{0x01}, {0xFE, 0xFF}, {0, 'H', 0, 'i'}, {0, 0}})},
        {"new frame, defaults, 2.2", teUTF16BE, true, ID3V2_VERSION_2_2, teUTF16,
         Fixture({{0x01}, {0xFE, 0xFF}, {0, 'H', 0, 'i'}, {0, 0}})},
        {"new frame, defaults, 2.4", teUTF16BE, true, ID3V2_VERSION_2_4, teUTF16BE,
         Fixture({{0x02}, {0, 'H', 0, 'i'}, {0, 0}})},
        {"utf-8 in 2.3", teUTF8, false, ID3V2_VERSION_2_3, teUTF16,
         Fixture({{0x01}, {0xFF, 0xFE}, {'H', 0, 'i', 0}, {0, 0}})},
        {"utf-8 in 2.4", teUTF8, false, ID3V2_VERSION_2_4, teUTF8, Fixture({{0x03}, "Hi", {0}})},
        {"latin-1 in 2.3", teISO8859_1, false, ID3V2_VERSION_2_3, teISO8859_1, Fixture({{0x00}, "Hi", {0}})},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TTxxxFrame Frame;
        Frame.SetFrameID("TIT2");
        Frame.Encoding = C.Encoding;
        Frame.BigEndian = C.BigEndian;
        Frame.SetText(u"Hi");
        const uint32_t Measured = Frame.GetDataSize(C.Version);
        const FrameBytes Out = test::SaveFrame(Frame, C.Version);
        EXPECT_EQ(Frame.Encoding, C.Written);
        EXPECT_EQ(Measured, C.Content.size()) << "size measured before the save must match";
        EXPECT_EQ(Out, Header(C.Version, IdFor(C.Version, "TIT2"), uint32_t(C.Content.size())) + C.Content);
        EXPECT_FALSE(Frame.Modified);
    }
}

TEST(TTxxxFrame, SaveErrors) {
    TTxxxFrame Placeholder;
    EXPECT_EQ(Placeholder.FrameID(), "Txxx");
    TMemoryStream Out;
    try {
        Placeholder.SaveToStream(Out, ID3V2_VERSION_2_3);
        ADD_FAILURE() << "no exception";
    } catch (const EID3LibFrameIDInvalid& E) {
        EXPECT_STREQ(E.what(),
                     "Invalid frame ID \"Txxx\" on save. You have to assign the correct frame ID prior saving!");
    }

    // An encoding byte outside 0..3 loads as teUnknown and cannot be written.
    TTxxxFrame Unknown;
    ASSERT_TRUE(test::LoadFrame(Unknown, Fixture({"TALB", {0, 0, 0, 3}, {0, 0}, {0x07}, "A", {0}}), ID3V2_VERSION_2_3));
    EXPECT_EQ(Unknown.Encoding, teUnknown);
    EXPECT_EQ(Unknown.Text, u"A");
    for (uint16_t Version : kVersions) {
        try {
            Unknown.SaveToStream(Out, Version);
            ADD_FAILURE() << "no exception";
        } catch (const EID3LibTextEncodingInvalid& E) {
            EXPECT_STREQ(E.what(), "frame \"TALB\": text encoding teUnknown is invalid!");
        }
        EXPECT_THROW(Unknown.GetDataSize(Version), EID3LibTextEncodingInvalid);
    }

    TTxxxFrame NoTwoTwo;
    NoTwoTwo.SetFrameID("TDRC");
    EXPECT_THROW(NoTwoTwo.SaveToStream(Out, ID3V2_VERSION_2_2), EID3LibFrameVersionMismatch);
}

TEST(TTxxxFrame, TruncatedAndHostileContent) {
    struct Case {
        const char* Name;
        uint16_t Version;
        FrameBytes Bytes;
        std::u16string Text;
    };
    const Case Cases[] = {
        {"content shorter than its size", ID3V2_VERSION_2_3,
         Fixture({"TIT2", {0, 0, 0, 100}, {0, 0}, {0x00}, "Shor"}), u"Shor"},
        {"size of 4 GiB", ID3V2_VERSION_2_3,
         Fixture({"TIT2", {0xFF, 0xFF, 0xFF, 0xFF}, {0, 0}, {0x01}, {0xFF, 0xFE, 'A', 0}}), u"A"},
        {"largest 2.4 size", ID3V2_VERSION_2_4,
         Fixture({"TIT2", {0x7F, 0x7F, 0x7F, 0x7F}, {0, 0}, {0x03}, "abc"}), u"abc"},
        {"header only", ID3V2_VERSION_2_4, Fixture({"TIT2", {0, 0, 0, 9}, {0, 0}}), u""},
        {"zero size does not read the next frame", ID3V2_VERSION_2_3,
         Fixture({"TIT2", {0, 0, 0, 0}, {0, 0}, "TALB"}), u""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TTxxxFrame Frame;
        int64_t End = 0;
        ASSERT_TRUE(test::LoadFrame(Frame, C.Bytes, C.Version, &End));
        EXPECT_EQ(Frame.Text, C.Text);
        EXPECT_LE(End, int64_t(C.Bytes.size())) << "position beyond the data";
    }
    TTxxxFrame Empty;
    int64_t End = 0;
    ASSERT_TRUE(test::LoadFrame(Empty, Fixture({"TIT2", {0, 0, 0, 0}, {0, 0}, "TALB"}), ID3V2_VERSION_2_3, &End));
    EXPECT_EQ(End, 10);

    // Endless empty strings are not kept without limit.
    FrameBytes Zeros(300000, 0);
    Zeros[0] = 0x00;
    TTxxxFrame Many;
    ASSERT_TRUE(test::LoadFrame(Many, Header(ID3V2_VERSION_2_3, "TXXX", uint32_t(Zeros.size())) + Zeros,
                                ID3V2_VERSION_2_3));
    EXPECT_LE(Many.MoreTexts.size(), 65536u);
}

TEST(TTxxxFrame, KeepsEncryptedContentAsStored) {
    const FrameBytes In = Fixture({"TIT2",                    // identifier
                                   {0x00, 0x00, 0x00, 0x0B},  // size 11
                                   {0x00, 0xC0},              // compression, encryption
                                   {0x00, 0x00, 0x00, 0x20},  // decompressed size
                                   {0x05},                    // method
                                   {0x78, 0x9C, 0xF3, 0x07, 0x00, 0x55}});  // opaque bytes
    TTxxxFrame Frame;
    ASSERT_TRUE(test::LoadFrame(Frame, In, ID3V2_VERSION_2_3));
    EXPECT_EQ(Frame.Text, u"");
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_3), In);
    // 2.4 flags compression too; the data length indicator carries the decompressed size.
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_4),
              Fixture({"TIT2", {0, 0, 0, 0x0B}, {0x00, 0x0D}, {0x05}, {0, 0, 0, 0x20},
                       {0x78, 0x9C, 0xF3, 0x07, 0x00, 0x55}}));
    // 2.2 has no flags: the bytes would read as plain text there, and the values that could
    // be written plain instead are unknown, so the size is refused.
    EXPECT_THROW(Frame.GetDataSize(ID3V2_VERSION_2_2), EID3LibFrameVersionMismatch);
    EXPECT_FALSE(Frame.ContentReadable());
    EXPECT_NE(Frame.CarryProblem(ID3V2_VERSION_2_2), "");

}

TEST(TTxxxFrame, DecodesItsOwnUnsynchronisation) {
    // FF FE (the byte-order mark) and FF E0 are stored with a zero byte after the FF.
    const FrameBytes In = Fixture({"TIT2",                    // identifier
                                   {0x00, 0x00, 0x00, 0x0B},  // size 11
                                   {0x00, 0x02},              // unsynchronisation
                                   {0x01},                    // UTF-16
                                   {0xFF, 0x00, 0xFE},        // mark FF FE
                                   {'a', 0x00, 0xFF, 0x00, 0xE0},  // "a", U+E0FF
                                   {0x00, 0x00}});            // terminator
    TTxxxFrame Frame;
    int64_t End = 0;
    ASSERT_TRUE(test::LoadFrame(Frame, In + Fixture({"TALB"}), ID3V2_VERSION_2_4, &End));
    EXPECT_EQ(End, int64_t(In.size()));
    EXPECT_EQ(Frame.Text, u"a\uE0FF");
    EXPECT_FALSE(Frame.BigEndian);
    // Written plain, in 2.4 and in 2.3 alike.
    const FrameBytes PlainContent = Fixture({{0x01}, {0xFF, 0xFE}, {'a', 0x00, 0xFF, 0xE0}, {0x00, 0x00}});
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_4), Header(ID3V2_VERSION_2_4, "TIT2", 9) + PlainContent);
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_3), Header(ID3V2_VERSION_2_3, "TIT2", 9) + PlainContent);
}

TEST(TTxxxFrame, SetTextAndAssign) {
    TTxxxFrame Frame;
    Frame.SetText(u"");
    EXPECT_FALSE(Frame.Modified);
    Frame.SetText(u"abc");
    EXPECT_TRUE(Frame.Modified);
    Frame.Modified = false;
    Frame.SetText(u"abc");
    EXPECT_FALSE(Frame.Modified);
    Frame.SetText(u"ABC");
    EXPECT_TRUE(Frame.Modified);

    TTxxxFrame Source;
    Source.Encoding = teUTF8;
    Source.Text = u"desc";
    Source.MoreTexts = {u"value"};
    TTxxxFrame Target;
    Target.SetFrameID("TXXX");
    EXPECT_TRUE(Target.Assign(Source));
    EXPECT_EQ(Target.FrameID(), "TXXX");
    EXPECT_EQ(Target.Encoding, teUTF8);
    EXPECT_EQ(Target.Text, u"desc");
    EXPECT_EQ(Target.MoreTexts, std::vector<std::u16string>{u"value"});
    EXPECT_TRUE(Target.Modified);
}

TEST(TTxxxFrame, AssignFromAnId3v1Record) {
    TID3v1Tag Record;
    Record.SetTitle("Caf\xE9");
    Record.SetArtist("Artist");
    Record.SetAlbum("Album");
    Record.SetYear("1999");
    Record.SetTrackNo(7);
    Record.SetGenre(17);
    struct Case {
        const char* ID;
        bool Taken;
        std::u16string Text;
    };
    const Case Cases[] = {
        {"TIT2", true, u"Caf\u00E9"}, {"TPE1", true, u"Artist"}, {"TALB", true, u"Album"},
        {"TYER", true, u"1999"},       {"TRCK", true, u"7"},      {"TCON", true, u"Rock"},
        {"TCOM", false, u"old"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.ID);
        TTxxxFrame Frame;
        Frame.SetFrameID(C.ID);
        Frame.Text = u"old";
        EXPECT_EQ(Frame.Assign(Record), C.Taken);
        EXPECT_EQ(Frame.Text, C.Text);
    }

    TID3v1Tag Old;
    Old.SetIsVersion11(false);
    Old.SetGenre(255);
    TTxxxFrame Track;
    Track.SetFrameID("TRCK");
    EXPECT_FALSE(Track.Assign(Old)) << "an ID3v1.0 record has no track";
    TTxxxFrame Genre;
    Genre.SetFrameID("TCON");
    Genre.Text = u"old";
    EXPECT_TRUE(Genre.Assign(Old));
    EXPECT_EQ(Genre.Text, u"") << "a genre byte outside the table has no name";

    TCOMMFrame Comment;
    EXPECT_FALSE(Track.Assign(Comment));
}

}  // namespace
}  // namespace covrilo
