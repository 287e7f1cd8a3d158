// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v2/frames/TWURLFrame.h"
#include "id3v2/frames/TWXXXFrame.h"

namespace covrilo {
namespace {

using test::Fixture;
using test::FrameBytes;
using test::Header;
using test::operator+;

TEST(TWXXXFrame, ReadsDescriptionAndUrl) {
    struct Case {
        const char* Name;
        FrameBytes Content;
        TTextEncoding Encoding;
        std::u16string Description;
        std::string URL;
        bool SameBytes;
    };
    const Case cases[] = {
        {"latin-1", Fixture({{0x00}, "Home", {0}, "http://h/", {0}}), teISO8859_1, u"Home", "http://h/",
         true},
        {"utf-16 empty description", Fixture({{0x01}, {0xFF, 0xFE, 0, 0}, "http://h/", {0}}), teUTF16, u"",
         "http://h/", true},
        {"utf-16 doubled terminator", Fixture({{0x01}, {0xFF, 0xFE, 'D', 0, 0, 0}, {0, 0}, "u", {0}}),
         teUTF16, u"D", "u", false},
        {"latin-1 doubled terminator", Fixture({{0x00}, "D", {0}, {0}, "u", {0}}), teISO8859_1, u"D", "u",
         false},
    };
    for (uint16_t version : {ID3V2_VERSION_2_2, ID3V2_VERSION_2_3}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(test::VersionName(version) + " " + c.Name);
            const FrameBytes in =
                Header(version, version == ID3V2_VERSION_2_2 ? "WXX" : "WXXX", uint32_t(c.Content.size())) +
                c.Content;
            TWXXXFrame frame;
            int64_t end = 0;
            ASSERT_TRUE(test::LoadFrame(frame, in + Fixture({"TIT2"}), version, &end));
            EXPECT_EQ(end, int64_t(in.size()));
            EXPECT_EQ(frame.FrameID(), "WXXX");
            EXPECT_EQ(frame.Encoding, c.Encoding);
            EXPECT_EQ(frame.Description, c.Description);
            EXPECT_EQ(frame.URL, c.URL);
            const FrameBytes out = test::SaveFrame(frame, version);
            if (c.SameBytes) {
                EXPECT_EQ(out, in);
            }
            TWXXXFrame back;
            ASSERT_TRUE(test::LoadFrame(back, out, version));
            EXPECT_EQ(back.Description, c.Description);
            EXPECT_EQ(back.URL, c.URL);
        }
    }
}

TEST(TWXXXFrame, NewFrameInEachVersion) {
    struct Case {
        uint16_t Version;
        FrameBytes Expected;
    };
    const Case cases[] = {
        {ID3V2_VERSION_2_3, Fixture({"WXXX", {0, 0, 0, 7}, {0, 0}, {0x01}, {0xFE, 0xFF, 0, 0}, "u", {0}})},
        {ID3V2_VERSION_2_4, Fixture({"WXXX", {0, 0, 0, 5}, {0, 0}, {0x02}, {0, 0}, "u", {0}})},
    };
    for (const auto& c : cases) {
        TWXXXFrame frame;
        frame.SetURL("u");
        EXPECT_EQ(test::SaveFrame(frame, c.Version), c.Expected) << test::VersionName(c.Version);
    }
}

TEST(TWXXXFrame, StrayTerminatorNeverReachesPastTheContent) {
    // The description fills the content; the zero bytes after it are the next frame's.
    const FrameBytes in = Fixture({"WXXX", {0, 0, 0, 3}, {0, 0}, {0x00}, "D", {0}});
    TWXXXFrame frame;
    int64_t end = 0;
    ASSERT_TRUE(test::LoadFrame(frame, in + FrameBytes(8, 0), ID3V2_VERSION_2_3, &end));
    EXPECT_EQ(end, int64_t(in.size()));
    EXPECT_EQ(frame.Description, u"D");
    EXPECT_EQ(frame.URL, "");
}

TEST(TWXXXFrame, AssignTakesOnlyTheUrl) {
    TWURLFrame link;
    link.SetURL("http://l/");
    TWXXXFrame frame;
    frame.SetDescription(u"mine");
    EXPECT_TRUE(frame.Assign(link));
    EXPECT_EQ(frame.URL, "http://l/");
    EXPECT_EQ(frame.Description, u"mine");
}

}  // namespace
}  // namespace covrilo
