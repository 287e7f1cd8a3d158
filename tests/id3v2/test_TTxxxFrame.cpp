// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v1/ID3v1Types.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TTxxxFrame.h"

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
    const Case cases[] = {
        {"latin-1", Fixture({{0x00}, {'C', 0xE9, 'l', 0x00}}), teISO8859_1, u"C\u00E9l", false},
        {"utf-16 FF FE", Fixture({{0x01}, {0xFF, 0xFE}, {'C', 0, 0xE9, 0}, {0, 0}}), teUTF16, u"C\u00E9",
         false},
        {"utf-16 FE FF", Fixture({{0x01}, {0xFE, 0xFF}, {0, 'C', 0x20, 0xAC}, {0, 0}}), teUTF16, u"C\u20AC",
         true},
        {"empty latin-1", Fixture({{0x00}, {0x00}}), teISO8859_1, u"", false},
    };
    for (uint16_t version : kVersions) {
        for (const auto& c : cases) {
            SCOPED_TRACE(test::VersionName(version) + " " + c.Name);
            const FrameBytes in =
                Header(version, IdFor(version, "TIT2"), uint32_t(c.Content.size())) + c.Content;
            TTxxxFrame frame;
            int64_t end = 0;
            ASSERT_TRUE(test::LoadFrame(frame, in + Fixture({"NEXT"}), version, &end));
            EXPECT_EQ(end, int64_t(in.size()));
            EXPECT_EQ(frame.FrameID(), "TIT2");
            EXPECT_EQ(frame.FrameName, "Title");
            EXPECT_EQ(frame.Encoding, c.Encoding);
            EXPECT_EQ(frame.Text, c.Text);
            EXPECT_EQ(frame.BigEndian, c.BigEndian);
            EXPECT_TRUE(frame.MoreTexts.empty());
            EXPECT_TRUE(frame.Stored);
            EXPECT_FALSE(frame.Modified);
            // Unchanged frames are written back byte for byte, marks included.
            EXPECT_EQ(test::SaveFrame(frame, version), in);
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
    const Case cases[] = {
        {"TXXX latin-1 description and value",
         "TXXX",
         Fixture({{0x00},  // encoding
                  "replaygain_track_gain",
                  {0},  // description
                  "-6.50 dB",
                  {0}}),  // value
         u"replaygain_track_gain",
         {u"-6.50 dB"}},
        {"TXXX utf-16, value without terminator",
         "TXXX",
         Fixture({{0x01},                      // encoding
                  {0xFF, 0xFE, 'K', 0, 0, 0},  // description "K"
                  {0xFF, 0xFE, 'v', 0}}),      // value "v", no terminator
         u"K",
         {u"v"}},
        {"utf-16 odd byte after the last string",
         "TPE1",
         Fixture({{0x01},                      // encoding
                  {0xFE, 0xFF, 0, 'A', 0, 0},  // "A"
                  {0xFE, 0xFF, 0, 'B', 0, 0},  // "B"
                  {0x00}}),                    // not a character
         u"A",
         {u"B"}},
        {"multi-value artist",
         "TPE1",
         Fixture({{0x00},  // encoding
                  "Ann",
                  {0},  // first value
                  "",
                  {0},  // an empty value in the middle
                  "Bob",
                  {0}}),  // third value
         u"Ann",
         {u"", u"Bob"}},
    };
    for (uint16_t version : kVersions) {
        for (const auto& c : cases) {
            SCOPED_TRACE(test::VersionName(version) + " " + c.Name);
            const FrameBytes in =
                Header(version, IdFor(version, c.ID), uint32_t(c.Content.size())) + c.Content;
            TTxxxFrame frame;
            ASSERT_TRUE(test::LoadFrame(frame, in, version));
            EXPECT_EQ(frame.Text, c.Text);
            EXPECT_EQ(frame.MoreTexts, c.More);
            TTxxxFrame back;
            ASSERT_TRUE(test::LoadFrame(back, test::SaveFrame(frame, version), version));
            EXPECT_EQ(back.Text, c.Text);
            EXPECT_EQ(back.MoreTexts, c.More);
        }
    }
}

TEST(TTxxxFrame, MultiValueUtf8SurvivesSavingAsTwoThree) {
    const FrameBytes in = Fixture({"TXXX",                    // identifier
                                   {0x00, 0x00, 0x00, 0x10},  // size 16
                                   {0x00, 0x00},              // flags
                                   {0x03},                    // UTF-8
                                   "CATALOG",
                                   {0x00},  // description
                                   {0xE6, 0x97, 0xA5},
                                   {0x00},  // value U+65E5
                                   "x7",
                                   {0x00}});  // second value
    TTxxxFrame frame;
    ASSERT_TRUE(test::LoadFrame(frame, in, ID3V2_VERSION_2_4));
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_4), in);

    const FrameBytes out = test::SaveFrame(frame, ID3V2_VERSION_2_3);
    const FrameBytes expected =
        Fixture({"TXXX",                    // identifier
                 {0x00, 0x00, 0x00, 0x21},  // size 33
                 {0x00, 0x00},              // flags
                 {0x01},                    // UTF-16 with marks
                 {0xFF, 0xFE, 'C', 0, 'A', 0, 'T', 0, 'A', 0, 'L', 0, 'O', 0, 'G', 0, 0, 0},
                 {0xFF, 0xFE, 0xE5, 0x65, 0, 0},
                 {0xFF, 0xFE, 'x', 0, '7', 0, 0, 0}});
    EXPECT_EQ(out, expected);
    EXPECT_EQ(frame.Encoding, teUTF16);
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
    const Case cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTxxxFrame frame;
        frame.SetFrameID("TIT2");
        frame.Encoding = c.Encoding;
        frame.BigEndian = c.BigEndian;
        frame.SetText(u"Hi");
        const uint32_t measured = frame.GetDataSize(c.Version);
        const FrameBytes out = test::SaveFrame(frame, c.Version);
        EXPECT_EQ(frame.Encoding, c.Written);
        EXPECT_EQ(measured, c.Content.size()) << "size measured before the save must match";
        EXPECT_EQ(out, Header(c.Version, IdFor(c.Version, "TIT2"), uint32_t(c.Content.size())) + c.Content);
        EXPECT_FALSE(frame.Modified);
    }
}

TEST(TTxxxFrame, SaveErrors) {
    TTxxxFrame placeholder;
    EXPECT_EQ(placeholder.FrameID(), "Txxx");
    TMemoryStream out;
    try {
        placeholder.SaveToStream(out, ID3V2_VERSION_2_3);
        ADD_FAILURE() << "no exception";
    } catch (const EID3LibFrameIDInvalid& e) {
        EXPECT_STREQ(
            e.what(),
            "Invalid frame ID \"Txxx\" on save. You have to assign the correct frame ID prior saving!");
    }

    // An encoding byte outside 0..3 loads as teUnknown and cannot be written.
    TTxxxFrame unknown;
    ASSERT_TRUE(test::LoadFrame(unknown, Fixture({"TALB", {0, 0, 0, 3}, {0, 0}, {0x07}, "A", {0}}),
                                ID3V2_VERSION_2_3));
    EXPECT_EQ(unknown.Encoding, teUnknown);
    EXPECT_EQ(unknown.Text, u"A");
    for (uint16_t version : kVersions) {
        try {
            unknown.SaveToStream(out, version);
            ADD_FAILURE() << "no exception";
        } catch (const EID3LibTextEncodingInvalid& e) {
            EXPECT_STREQ(e.what(), "frame \"TALB\": text encoding teUnknown is invalid!");
        }
        EXPECT_THROW(unknown.GetDataSize(version), EID3LibTextEncodingInvalid);
    }

    TTxxxFrame noTwoTwo;
    noTwoTwo.SetFrameID("TDRC");
    EXPECT_THROW(noTwoTwo.SaveToStream(out, ID3V2_VERSION_2_2), EID3LibFrameVersionMismatch);
}

TEST(TTxxxFrame, TruncatedAndHostileContent) {
    struct Case {
        const char* Name;
        uint16_t Version;
        FrameBytes Bytes;
        std::u16string Text;
    };
    const Case cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTxxxFrame frame;
        int64_t end = 0;
        ASSERT_TRUE(test::LoadFrame(frame, c.Bytes, c.Version, &end));
        EXPECT_EQ(frame.Text, c.Text);
        EXPECT_LE(end, int64_t(c.Bytes.size())) << "position beyond the data";
    }
    TTxxxFrame empty;
    int64_t end = 0;
    ASSERT_TRUE(
        test::LoadFrame(empty, Fixture({"TIT2", {0, 0, 0, 0}, {0, 0}, "TALB"}), ID3V2_VERSION_2_3, &end));
    EXPECT_EQ(end, 10);

    // Endless empty strings are not kept without limit.
    FrameBytes zeros(300000, 0);
    zeros[0] = 0x00;
    TTxxxFrame many;
    ASSERT_TRUE(test::LoadFrame(many, Header(ID3V2_VERSION_2_3, "TXXX", uint32_t(zeros.size())) + zeros,
                                ID3V2_VERSION_2_3));
    EXPECT_LE(many.MoreTexts.size(), 65536u);
}

TEST(TTxxxFrame, KeepsEncryptedContentAsStored) {
    const FrameBytes in = Fixture({"TIT2",                                  // identifier
                                   {0x00, 0x00, 0x00, 0x0B},                // size 11
                                   {0x00, 0xC0},                            // compression, encryption
                                   {0x00, 0x00, 0x00, 0x20},                // decompressed size
                                   {0x05},                                  // method
                                   {0x78, 0x9C, 0xF3, 0x07, 0x00, 0x55}});  // opaque bytes
    TTxxxFrame frame;
    ASSERT_TRUE(test::LoadFrame(frame, in, ID3V2_VERSION_2_3));
    EXPECT_EQ(frame.Text, u"");
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_3), in);
    // 2.4 flags compression too; the data length indicator carries the decompressed size.
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_4), Fixture({"TIT2",
                                                                  {0, 0, 0, 0x0B},
                                                                  {0x00, 0x0D},
                                                                  {0x05},
                                                                  {0, 0, 0, 0x20},
                                                                  {0x78, 0x9C, 0xF3, 0x07, 0x00, 0x55}}));
    // 2.2 has no flags: the bytes would read as plain text there, and the values that could
    // be written plain instead are unknown, so the size is refused.
    EXPECT_THROW(frame.GetDataSize(ID3V2_VERSION_2_2), EID3LibFrameVersionMismatch);
    EXPECT_FALSE(frame.ContentReadable());
    EXPECT_NE(frame.CarryProblem(ID3V2_VERSION_2_2), "");
}

TEST(TTxxxFrame, DecodesItsOwnUnsynchronisation) {
    // FF FE (the byte-order mark) and FF E0 are stored with a zero byte after the FF.
    const FrameBytes in = Fixture({"TIT2",                         // identifier
                                   {0x00, 0x00, 0x00, 0x0B},       // size 11
                                   {0x00, 0x02},                   // unsynchronisation
                                   {0x01},                         // UTF-16
                                   {0xFF, 0x00, 0xFE},             // mark FF FE
                                   {'a', 0x00, 0xFF, 0x00, 0xE0},  // "a", U+E0FF
                                   {0x00, 0x00}});                 // terminator
    TTxxxFrame frame;
    int64_t end = 0;
    ASSERT_TRUE(test::LoadFrame(frame, in + Fixture({"TALB"}), ID3V2_VERSION_2_4, &end));
    EXPECT_EQ(end, int64_t(in.size()));
    EXPECT_EQ(frame.Text, u"a\uE0FF");
    EXPECT_FALSE(frame.BigEndian);
    // Written plain, in 2.4 and in 2.3 alike.
    const FrameBytes plainContent = Fixture({{0x01}, {0xFF, 0xFE}, {'a', 0x00, 0xFF, 0xE0}, {0x00, 0x00}});
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_4), Header(ID3V2_VERSION_2_4, "TIT2", 9) + plainContent);
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_3), Header(ID3V2_VERSION_2_3, "TIT2", 9) + plainContent);
}

TEST(TTxxxFrame, SetTextAndAssign) {
    TTxxxFrame frame;
    frame.SetText(u"");
    EXPECT_FALSE(frame.Modified);
    frame.SetText(u"abc");
    EXPECT_TRUE(frame.Modified);
    frame.Modified = false;
    frame.SetText(u"abc");
    EXPECT_FALSE(frame.Modified);
    frame.SetText(u"ABC");
    EXPECT_TRUE(frame.Modified);

    TTxxxFrame source;
    source.Encoding = teUTF8;
    source.Text = u"desc";
    source.MoreTexts = {u"value"};
    TTxxxFrame target;
    target.SetFrameID("TXXX");
    EXPECT_TRUE(target.Assign(source));
    EXPECT_EQ(target.FrameID(), "TXXX");
    EXPECT_EQ(target.Encoding, teUTF8);
    EXPECT_EQ(target.Text, u"desc");
    EXPECT_EQ(target.MoreTexts, std::vector<std::u16string>{u"value"});
    EXPECT_TRUE(target.Modified);
}

TEST(TTxxxFrame, AssignFromAnId3v1Record) {
    TID3v1Tag record;
    record.SetTitle("Caf\xE9");
    record.SetArtist("Artist");
    record.SetAlbum("Album");
    record.SetYear("1999");
    record.SetTrackNo(7);
    record.SetGenre(17);
    struct Case {
        const char* ID;
        bool Taken;
        std::u16string Text;
    };
    const Case cases[] = {
        {"TIT2", true, u"Caf\u00E9"}, {"TPE1", true, u"Artist"}, {"TALB", true, u"Album"},
        {"TYER", true, u"1999"},      {"TRCK", true, u"7"},      {"TCON", true, u"Rock"},
        {"TCOM", false, u"old"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ID);
        TTxxxFrame frame;
        frame.SetFrameID(c.ID);
        frame.Text = u"old";
        EXPECT_EQ(frame.Assign(record), c.Taken);
        EXPECT_EQ(frame.Text, c.Text);
    }

    TID3v1Tag old;
    old.SetIsVersion11(false);
    old.SetGenre(255);
    TTxxxFrame track;
    track.SetFrameID("TRCK");
    EXPECT_FALSE(track.Assign(old)) << "an ID3v1.0 record has no track";
    TTxxxFrame genre;
    genre.SetFrameID("TCON");
    genre.Text = u"old";
    EXPECT_TRUE(genre.Assign(old));
    EXPECT_EQ(genre.Text, u"") << "a genre byte outside the table has no name";

    TCOMMFrame comment;
    EXPECT_FALSE(track.Assign(comment));
}

}  // namespace
}  // namespace covrilo
