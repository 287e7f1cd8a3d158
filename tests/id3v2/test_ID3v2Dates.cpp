// SPDX-License-Identifier: MIT
// Dates: the 2.4 timestamp and the 2.3 frames, and their conversion on a save between the
// versions, as the ID3v2.4 standard has it, where the target's frames hold the date whole.
#include <gtest/gtest.h>

#include <map>

#include "ID3v2ClassTestUtil.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/ID3v2Dates.h"
#include "id3v2/frames/TTxxxFrame.h"

namespace covrilo {
namespace {

using namespace test;

TEST(ID3v2Dates, Timestamps) {
    EXPECT_EQ(ParseTimestamp(u"1987"), (TID3Timestamp{1987}));
    EXPECT_EQ(ParseTimestamp(u"1987-03-31T12:34:56"), (TID3Timestamp{1987, 3, 31, 12, 34, 56}));
    EXPECT_EQ(ParseTimestamp(u"1987-03"), (TID3Timestamp{1987, 3}));
    for (const char16_t* bad : {u"", u"87", u"1987-3-31", u"1987-13-01", u"1987-03-31 12:34",
                                u"1987-03-31T25", u"1987-03-31T12:34:56Z", u"19870331"})
        EXPECT_FALSE(ParseTimestamp(bad).has_value()) << std::u16string(bad).size();
    EXPECT_EQ(FormatTimestamp({1987, 3, 31, 12, 34}), u"1987-03-31T12:34");
    EXPECT_EQ(FormatTimestamp({5}), u"0005");
    EXPECT_EQ(ParseDDMM(u"3103"), (std::pair{31, 3}));
    EXPECT_FALSE(ParseDDMM(u"0013").has_value());
    EXPECT_EQ(ParseHHMM(u"2359"), (std::pair{23, 59}));
    EXPECT_FALSE(ParseHHMM(u"2460").has_value());
}

TEST(ID3v2Dates, WhatTwoThreeCanHold) {
    const auto whole = SplitTimestamp({1987, 3, 31, 12, 34});
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(whole->Year, u"1987");
    EXPECT_EQ(whole->Date, u"3103");
    EXPECT_EQ(whole->Time, u"1234");
    EXPECT_EQ(SplitTimestamp({1987})->Date, u"");
    EXPECT_FALSE(SplitTimestamp({1987, 3, 31, 12, 34, 56}).has_value()) << "TIME has no seconds";
    EXPECT_FALSE(SplitTimestamp({1987, 3}).has_value()) << "TDAT needs the day";
    EXPECT_FALSE(SplitTimestamp({1987, 3, 31, 12}).has_value()) << "TIME needs the minutes";
}

using Texts = std::map<std::string, std::u16string>;

Texts DateFrames(const std::filesystem::path& File) {
    Texts texts;
    TID3v2Class tag(File);
    for (int i = 0; i < tag.FrameCount(); ++i)
        if (auto* text = dynamic_cast<TTxxxFrame*>(tag.Frames(i)); text && text->FrameID() != "TIT2")
            texts[text->FrameID()] = text->Text;
    return texts;
}

TEST(ID3v2Dates, ConvertedOnASaveBetweenVersions) {
    struct Case {
        const char* Name;
        uint8_t Major;
        Texts Frames;
        uint16_t Target;
        Texts Expected;
    };
    const Case cases[] = {
        {"2.3 to 2.4",
         3,
         {{"TYER", u"1987"}, {"TDAT", u"3103"}, {"TIME", u"1234"}, {"TORY", u"1985"}},
         0x0400,
         {{"TDRC", u"1987-03-31T12:34"}, {"TDOR", u"1985"}}},
        {"2.3 year alone", 3, {{"TYER", u"1987"}}, 0x0400, {{"TDRC", u"1987"}}},
        {"2.3 time without a date stays",
         3,
         {{"TYER", u"1987"}, {"TIME", u"1234"}},
         0x0400,
         {{"TDRC", u"1987"}, {"TIME", u"1234"}}},
        {"2.3 year that is no year stays", 3, {{"TYER", u"87"}}, 0x0400, {{"TYER", u"87"}}},
        {"2.4 to 2.3",
         4,
         {{"TDRC", u"1987-03-31T12:34"}, {"TDOR", u"1985"}},
         0x0300,
         {{"TYER", u"1987"}, {"TDAT", u"3103"}, {"TIME", u"1234"}, {"TORY", u"1985"}}},
        {"2.4 seconds stay in TDRC",
         4,
         {{"TDRC", u"1987-03-31T12:34:56"}},
         0x0300,
         {{"TDRC", u"1987-03-31T12:34:56"}}},
        {"2.4 original date stays in TDOR", 4, {{"TDOR", u"1985-06-01"}}, 0x0300, {{"TDOR", u"1985-06-01"}}},
        {"2.4 free text stays", 4, {{"TDRC", u"Spring 1987"}}, 0x0300, {{"TDRC", u"Spring 1987"}}},
        {"same version: as read",
         3,
         {{"TYER", u"1987"}, {"TDAT", u"3103"}},
         0x0300,
         {{"TYER", u"1987"}, {"TDAT", u"3103"}}},
        {"same version 2.4: as read",
         4,
         {{"TDRC", u"1987"}, {"TYER", u"1987"}},
         0x0400,
         {{"TDRC", u"1987"}, {"TYER", u"1987"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Bytes body = c.Major == 3 ? Frame23("TIT2", Latin1Text("T")) : Frame24("TIT2", Latin1Text("T"));
        for (const auto& [id, text] : c.Frames) {
            std::string latin(text.begin(), text.end());
            body =
                Cat({body, c.Major == 3 ? Frame23(id, Latin1Text(latin)) : Frame24(id, Latin1Text(latin))});
        }
        TempDir dir;
        const auto file = dir / "a.mp3";
        WriteFileBytes(file, Cat({Tag(c.Major, body, 50), Audio()}));
        {
            TID3v2Class tag(file);
            ASSERT_TRUE(tag.SaveToFile(c.Target));
        }
        EXPECT_EQ(DateFrames(file), c.Expected);
    }
}

// A year frame a caller writes into 2.3 with a whole date (the facade keeps the date while the
// year is unchanged) becomes TYER + TDAT + TIME; what TYER cannot hold keeps 2.4's name.
TEST(ID3v2Dates, AWholeDateWrittenAsTheTwoThreeYear) {
    const std::pair<std::u16string, Texts> cases[] = {
        {u"1987-03-31T12:34", {{"TYER", u"1987"}, {"TDAT", u"3103"}, {"TIME", u"1234"}}},
        {u"1987-03-31T12:34:56", {{"TDRC", u"1987-03-31T12:34:56"}}},
        {u"2018-10-11T00:00:00Z", {{"TDRC", u"2018-10-11T00:00:00Z"}}},
        {u"1987", {{"TYER", u"1987"}}},
        {u"0", {{"TYER", u"0"}}},
    };
    for (const auto& [year, expected] : cases) {
        SCOPED_TRACE(std::string(year.begin(), year.end()));
        TempDir dir;
        const auto file = dir / "a.mp3";
        WriteFileBytes(file, Cat({Tag(3, Frame23("TIT2", Latin1Text("T")), 50), Audio()}));
        {
            TID3v2Class tag(file);
            auto frame = std::make_unique<TTxxxFrame>();
            frame->SetFrameID("TYER");
            frame->Encoding = teISO8859_1;
            frame->SetText(year);
            tag.AddFrame(std::move(frame));
            ASSERT_TRUE(tag.SaveToFile(0x0300));
        }
        EXPECT_EQ(DateFrames(file), expected);
    }
}

}  // namespace
}  // namespace covrilo
