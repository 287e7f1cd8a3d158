// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "multitag/class_track.h"

namespace covrilo {
namespace {

TEST(TrackNumberFromText, DecimalTextModulo256) {
    struct Case {
        const char* Text;
        uint8_t Expected;
    } cases[] = {
        {"", 0},   {"3", 3},    {"12", 12}, {"300", 44},         {"256", 0},         {"  7", 7},
        {"+5", 5}, {"-1", 255}, {"007", 7}, {"2147483647", 255}, {"-2147483648", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(TrackNumberFromText(c.Text), c.Expected) << '"' << c.Text << '"';
}

TEST(TrackNumberFromText, AnythingElseIsAConversionError) {
    for (const char* text :
         {"A1", "1A", "3 ", " ", "-", "+-1", "1.5", "0x10", "2147483648", "99999999999999999999"})
        EXPECT_THROW(TrackNumberFromText(text), EConvertError) << '"' << text << '"';
}

TEST(Ttrack, StartsEmptyWithoutTagAndDropsTagWithoutArtistAndTitle) {
    Ttrack t;
    EXPECT_FALSE(t.GetHasTag());
    EXPECT_EQ(t.GetTrackNo(), 0);
    t.SetHasTag(true);
    t.SetAlbum(u"Only an album");
    t.DropTagWithoutArtistAndTitle();
    EXPECT_FALSE(t.GetHasTag());
    t.SetHasTag(true);
    t.SetTitle(u"T");
    t.DropTagWithoutArtistAndTitle();
    EXPECT_TRUE(t.GetHasTag());
}

}  // namespace
}  // namespace covrilo
