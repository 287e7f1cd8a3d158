// SPDX-License-Identifier: MIT
#include "id3v2/frames/TWURLFrame.h"

#include <gtest/gtest.h>

#include "FrameTestUtil.h"
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
    const Case Cases[] = {
        {"2.3 with terminator", ID3V2_VERSION_2_3,
         Fixture({"WOAR", {0, 0, 0, 20}, {0, 0}, "http://example.org/", {0}}), "WOAR", "http://example.org/", {}},
        // An unchanged frame is written as it was read, whatever its bytes.
        {"2.4 without terminator", ID3V2_VERSION_2_4, Fixture({"WCOM", {0, 0, 0, 5}, {0, 0}, "http:"}), "WCOM",
         "http:", {}},
        {"2.2", ID3V2_VERSION_2_2, Fixture({"WAR", {0, 0, 3}, "u/", {0}}), "WOAR", "u/", {}},
        {"bytes after the terminator are kept", ID3V2_VERSION_2_3,
         Fixture({"WPUB", {0, 0, 0, 4}, {0, 0}, "a", {0}, "zz"}), "WPUB", "a", {}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TWURLFrame Frame;
        int64_t End = 0;
        ASSERT_TRUE(test::LoadFrame(Frame, C.Bytes + Fixture({"TIT2"}), C.Version, &End));
        EXPECT_EQ(End, int64_t(C.Bytes.size()));
        EXPECT_EQ(Frame.FrameID(), C.ID);
        EXPECT_EQ(Frame.URL, C.URL);
        EXPECT_EQ(test::SaveFrame(Frame, C.Version), C.Written.empty() ? C.Bytes : C.Written);
    }
}

TEST(TWURLFrame, AChangedUrlIsWrittenFromItsValue) {
    TWURLFrame Frame;
    ASSERT_TRUE(test::LoadFrame(Frame, Fixture({"WPUB", {0, 0, 0, 4}, {0, 0}, "a", {0}, "zz"}), ID3V2_VERSION_2_3));
    Frame.SetURL("b");
    EXPECT_EQ(test::SaveFrame(Frame, ID3V2_VERSION_2_3), Fixture({"WPUB", {0, 0, 0, 2}, {0, 0}, "b", {0}}));
}

TEST(TWURLFrame, PlaceholderCannotBeSaved) {
    TWURLFrame Frame;
    EXPECT_EQ(Frame.FrameID(), "Wxxx");
    TMemoryStream Out;
    try {
        Frame.SaveToStream(Out, ID3V2_VERSION_2_3);
        ADD_FAILURE() << "no exception";
    } catch (const EID3LibFrameIDInvalid& E) {
        EXPECT_STREQ(E.what(),
                     "Invalid frame ID \"Wxxx\" on save. You have to assign the correct frame ID prior saving!");
    }
    EXPECT_EQ(Out.Size(), 0);
}

TEST(TWURLFrame, AssignFromUrlFrames) {
    TWXXXFrame User;
    User.SetURL("http://user/");
    TWURLFrame Frame;
    EXPECT_TRUE(Frame.Assign(User));
    EXPECT_EQ(Frame.URL, "http://user/");
    EXPECT_TRUE(Frame.Modified);
    TWURLFrame Other;
    Other.SetURL("http://other/");
    EXPECT_TRUE(Frame.Assign(Other));
    EXPECT_EQ(Frame.URL, "http://other/");
}

}  // namespace
}  // namespace covrilo
