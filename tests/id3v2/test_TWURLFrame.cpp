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

TEST(TWURLFrame, ReadsAndWritesTheUrl) {
    struct Case {
        const char* Name;
        uint16_t Version;
        FrameBytes Bytes;
        const char* ID;
        std::string URL;
        FrameBytes Written;  // empty: the same bytes
    };
    const Case cases[] = {
        {"2.3 with terminator",
         ID3V2_VERSION_2_3,
         Fixture({"WOAR", {0, 0, 0, 20}, {0, 0}, "http://example.org/", {0}}),
         "WOAR",
         "http://example.org/",
         {}},
        // An unchanged frame is written as it was read, whatever its bytes.
        {"2.4 without terminator",
         ID3V2_VERSION_2_4,
         Fixture({"WCOM", {0, 0, 0, 5}, {0, 0}, "http:"}),
         "WCOM",
         "http:",
         {}},
        {"2.2", ID3V2_VERSION_2_2, Fixture({"WAR", {0, 0, 3}, "u/", {0}}), "WOAR", "u/", {}},
        {"bytes after the terminator are kept",
         ID3V2_VERSION_2_3,
         Fixture({"WPUB", {0, 0, 0, 4}, {0, 0}, "a", {0}, "zz"}),
         "WPUB",
         "a",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TWURLFrame frame;
        int64_t end = 0;
        ASSERT_TRUE(test::LoadFrame(frame, c.Bytes + Fixture({"TIT2"}), c.Version, &end));
        EXPECT_EQ(end, int64_t(c.Bytes.size()));
        EXPECT_EQ(frame.FrameID(), c.ID);
        EXPECT_EQ(frame.URL, c.URL);
        EXPECT_EQ(test::SaveFrame(frame, c.Version), c.Written.empty() ? c.Bytes : c.Written);
    }
}

TEST(TWURLFrame, AChangedUrlIsWrittenFromItsValue) {
    TWURLFrame frame;
    ASSERT_TRUE(
        test::LoadFrame(frame, Fixture({"WPUB", {0, 0, 0, 4}, {0, 0}, "a", {0}, "zz"}), ID3V2_VERSION_2_3));
    frame.SetURL("b");
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_3), Fixture({"WPUB", {0, 0, 0, 2}, {0, 0}, "b", {0}}));
}

TEST(TWURLFrame, PlaceholderCannotBeSaved) {
    TWURLFrame frame;
    EXPECT_EQ(frame.FrameID(), "Wxxx");
    TMemoryStream out;
    try {
        frame.SaveToStream(out, ID3V2_VERSION_2_3);
        ADD_FAILURE() << "no exception";
    } catch (const EID3LibFrameIDInvalid& e) {
        EXPECT_STREQ(
            e.what(),
            "Invalid frame ID \"Wxxx\" on save. You have to assign the correct frame ID prior saving!");
    }
    EXPECT_EQ(out.Size(), 0);
}

TEST(TWURLFrame, AssignFromUrlFrames) {
    TWXXXFrame user;
    user.SetURL("http://user/");
    TWURLFrame frame;
    EXPECT_TRUE(frame.Assign(user));
    EXPECT_EQ(frame.URL, "http://user/");
    EXPECT_TRUE(frame.Modified);
    TWURLFrame other;
    other.SetURL("http://other/");
    EXPECT_TRUE(frame.Assign(other));
    EXPECT_EQ(frame.URL, "http://other/");
}

}  // namespace
}  // namespace covrilo
