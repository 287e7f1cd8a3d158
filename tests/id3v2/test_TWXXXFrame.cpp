// SPDX-License-Identifier: MIT
#include "id3v2/frames/TWXXXFrame.h"

#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v2/frames/TWURLFrame.h"

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
    const Case Cases[] = {
        {"latin-1", Fixture({{0x00}, "Home", {0}, "http://h/", {0}}), teISO8859_1, u"Home", "http://h/", true},
        {"utf-16 empty description", Fixture({{0x01}, {0xFF, 0xFE, 0, 0}, "http://h/", {0}}), teUTF16, u"",
         "http://h/", true},
        {"utf-16 doubled terminator", Fixture({{0x01}, {0xFF, 0xFE, 'D', 0, 0, 0}, {0, 0}, "u", {0}}), teUTF16, u"D",
         "u", false},
        {"latin-1 doubled terminator", Fixture({{0x00}, "D", {0}, {0}, "u", {0}}), teISO8859_1, u"D", "u", false},
    };
    for (uint16_t Version : {ID3V2_VERSION_2_2, ID3V2_VERSION_2_3}) {
        for (const auto& C : Cases) {
            SCOPED_TRACE(test::VersionName(Version) + " " + C.Name);
            const FrameBytes In =
                Header(Version, Version == ID3V2_VERSION_2_2 ? "WXX" : "WXXX", uint32_t(C.Content.size())) + C.Content;
            TWXXXFrame Frame;
            int64_t End = 0;
            ASSERT_TRUE(test::LoadFrame(Frame, In + Fixture({"TIT2"}), Version, &End));
            EXPECT_EQ(End, int64_t(In.size()));
            EXPECT_EQ(Frame.FrameID(), "WXXX");
            EXPECT_EQ(Frame.Encoding, C.Encoding);
            EXPECT_EQ(Frame.Description, C.Description);
            EXPECT_EQ(Frame.URL, C.URL);
            const FrameBytes Out = test::SaveFrame(Frame, Version);
            if (C.SameBytes) {
                EXPECT_EQ(Out, In);
            }
            TWXXXFrame Back;
            ASSERT_TRUE(test::LoadFrame(Back, Out, Version));
            EXPECT_EQ(Back.Description, C.Description);
            EXPECT_EQ(Back.URL, C.URL);
        }
    }
}

TEST(TWXXXFrame, NewFrameInEachVersion) {
    struct Case {
        uint16_t Version;
        FrameBytes Expected;
    };
    const Case Cases[] = {
        {ID3V2_VERSION_2_3, Fixture({"WXXX", {0, 0, 0, 7}, {0, 0}, {0x01}, {0xFE, 0xFF, 0, 0}, "u", {0}})},
        {ID3V2_VERSION_2_4, Fixture({"WXXX", {0, 0, 0, 5}, {0, 0}, {0x02}, {0, 0}, "u", {0}})},
    };
    for (const auto& C : Cases) {
        TWXXXFrame Frame;
        Frame.SetURL("u");
        EXPECT_EQ(test::SaveFrame(Frame, C.Version), C.Expected) << test::VersionName(C.Version);
    }
}

TEST(TWXXXFrame, StrayTerminatorNeverReachesPastTheContent) {
    // The description fills the content; the zero bytes after it are the next frame's.
    const FrameBytes In = Fixture({"WXXX", {0, 0, 0, 3}, {0, 0}, {0x00}, "D", {0}});
    TWXXXFrame Frame;
    int64_t End = 0;
    ASSERT_TRUE(test::LoadFrame(Frame, In + FrameBytes(8, 0), ID3V2_VERSION_2_3, &End));
    EXPECT_EQ(End, int64_t(In.size()));
    EXPECT_EQ(Frame.Description, u"D");
    EXPECT_EQ(Frame.URL, "");
}

TEST(TWXXXFrame, AssignTakesOnlyTheUrl) {
    TWURLFrame Link;
    Link.SetURL("http://l/");
    TWXXXFrame Frame;
    Frame.SetDescription(u"mine");
    EXPECT_TRUE(Frame.Assign(Link));
    EXPECT_EQ(Frame.URL, "http://l/");
    EXPECT_EQ(Frame.Description, u"mine");
}

}  // namespace
}  // namespace covrilo
