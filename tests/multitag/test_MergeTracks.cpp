// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "multitag/qmx_multitag.h"

namespace covrilo {
namespace {

Ttrack Record(bool HasTag, std::u16string Artist, std::u16string Title, std::string Year = "",
              std::u16string Album = u"", uint8_t TrackNo = 0) {
    Ttrack t;
    t.SetHasTag(HasTag);
    t.SetArtist(std::move(Artist));
    t.SetTitle(std::move(Title));
    t.SetYear(std::move(Year));
    t.SetAlbum(std::move(Album));
    t.SetTrackNo(TrackNo);
    return t;
}

TEST(MergeTracks, NonEmptyFieldsOfTheHigherRecordWin) {
    Ttrack v1 = Record(true, u"B", u"T", "1999", u"", 4);
    Ttrack v2 = Record(true, u"A", u"", "", u"Album", 0);
    Ttrack merged = Tqmx_multitag::MergeTracks(v1, v2);
    EXPECT_TRUE(merged.GetHasTag());
    EXPECT_EQ(merged.GetArtist(), u"A");
    EXPECT_EQ(merged.GetTitle(), u"T");
    EXPECT_EQ(merged.GetYear(), "1999");
    EXPECT_EQ(merged.GetAlbum(), u"Album");
    EXPECT_EQ(merged.GetTrackNo(), 4);
}

TEST(MergeTracks, ARecordWithoutTagIsDroppedWhole) {
    Ttrack v1 = Record(true, u"B", u"T");
    Ttrack albumOnly = Record(false, u"", u"", "", u"Lost album");
    EXPECT_EQ(Tqmx_multitag::MergeTracks(v1, albumOnly), v1);
    EXPECT_EQ(Tqmx_multitag::MergeTracks(albumOnly, v1), v1);
}

TEST(MergeTracks, TwoRecordsWithoutTagMergeAndStayWithoutTag) {
    Ttrack a = Record(false, u"", u"", "2001");
    Ttrack b = Record(false, u"", u"", "", u"Album");
    Ttrack merged = Tqmx_multitag::MergeTracks(a, b);
    EXPECT_FALSE(merged.GetHasTag());
    EXPECT_EQ(merged.GetYear(), "2001");
    EXPECT_EQ(merged.GetAlbum(), u"Album");
}

TEST(GenreFromTCON, CutsTheNumberAndNamesANumberStandingAlone) {
    struct Case {
        std::u16string Tcon;
        std::u16string Genre;
    } cases[] = {
        {u"(17)Rock", u"Rock"},
        {u"(17)", u"Rock"},
        {u"(0)", u"Blues"},
        {u"Rock", u"Rock"},
        {u"17", u"17"},
        {u"(17", u"(17"},
        {u"", u""},
        {u"(13)Pop Rock", u"Pop Rock"},
        // A reference without a name in the genre table stands as it is: read as "" it was
        // written back as "" and the genre was gone.
        {u"(999)", u"(999)"},
        {u"(255)", u"(255)"},
        {u"(200)", u"(200)"},
        {u"(abc)", u"(abc)"},
        {u"(RX)", u"(RX)"},
    };
    for (const auto& c : cases) EXPECT_EQ(Tqmx_multitag::GenreFromTCON(c.Tcon), c.Genre);
}

TEST(PictureTypeFromName, ExactNamesOnly) {
    EXPECT_EQ(Tqmx_multitag::PictureTypeFromName("Other"), 0);
    EXPECT_EQ(Tqmx_multitag::PictureTypeFromName("FrontCover"), 3);
    EXPECT_EQ(Tqmx_multitag::PictureTypeFromName("ColouredFish"), 17);
    EXPECT_EQ(Tqmx_multitag::PictureTypeFromName("PublisherStudio"), 20);
    EXPECT_EQ(Tqmx_multitag::PictureTypeFromName("frontcover"), 0);
    EXPECT_EQ(Tqmx_multitag::PictureTypeFromName(""), 0);
}

TEST(ApeText, AmpersandsAndCodePageBothWays) {
    EXPECT_EQ(Tqmx_multitag::AnsiToApeText("Rock & Roll \xE9"), "Rock &amp; Roll \xC3\xA9");
    EXPECT_EQ(Tqmx_multitag::ApeTextToAnsi("Rock &amp; Roll \xC3\xA9"), "Rock & Roll \xE9");
    EXPECT_EQ(Tqmx_multitag::ApeTextToAnsi(Tqmx_multitag::AnsiToApeText("&amp;")), "&amp;");
}

}  // namespace
}  // namespace covrilo
