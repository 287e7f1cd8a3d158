// SPDX-License-Identifier: MIT
#include "id3v2/frames/TPRIVFrame.h"

#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v2/frames/TUnknownFrame.h"

namespace covrilo {
namespace {

using test::Fixture;
using test::FrameBytes;
using test::Header;
using test::operator+;

TEST(TPRIVFrame, ReadsAndWritesOwnerAndData) {
    struct Case {
        const char* Name;
        FrameBytes Content;
        std::string Owner;
        FrameBytes Data;
    };
    const Case Cases[] = {
        {"owner and data", Fixture({"WM/MediaClassPrimaryID", {0}, {0xBC, 0x7D, 0x60, 0xD1, 0x00}}),
         "WM/MediaClassPrimaryID", {0xBC, 0x7D, 0x60, 0xD1, 0x00}},
        {"owner without data", Fixture({"www.example.org", {0}}), "www.example.org", {}},
        {"empty owner", Fixture({{0}, {0xFF}}), "", {0xFF}},
        {"one-byte owner kept byte for byte", Fixture({{'a', 0xE9, 0x80}, {0}, {1}}), "a\xE9\x80", {1}},
    };
    for (uint16_t Version : {ID3V2_VERSION_2_3, ID3V2_VERSION_2_4}) {
        for (const auto& C : Cases) {
            SCOPED_TRACE(test::VersionName(Version) + " " + C.Name);
            const FrameBytes In = Header(Version, "PRIV", uint32_t(C.Content.size())) + C.Content;
            TPRIVFrame Frame;
            int64_t End = 0;
            ASSERT_TRUE(test::LoadFrame(Frame, In + Fixture({"TIT2"}), Version, &End));
            EXPECT_EQ(End, int64_t(In.size()));
            EXPECT_EQ(Frame.OwnerID, C.Owner);
            EXPECT_EQ(Frame.Data.Data(), C.Data);
            EXPECT_EQ(Frame.Data.Position(), 0);
            EXPECT_EQ(test::SaveFrame(Frame, Version), In);
        }
    }
}

TEST(TPRIVFrame, TruncatedContentStopsAtTheEnd) {
    TPRIVFrame Frame;
    int64_t End = 0;
    const FrameBytes In = Fixture({"PRIV", {0, 0, 0x10, 0}, {0, 0}, "own", {0}, {1, 2}});
    ASSERT_TRUE(test::LoadFrame(Frame, In, ID3V2_VERSION_2_3, &End));
    EXPECT_EQ(Frame.OwnerID, "own");
    EXPECT_EQ(Frame.Data.Data(), (FrameBytes{1, 2}));
    EXPECT_EQ(End, int64_t(In.size()));
}

TEST(TPRIVFrame, HasNoTwoTwoForm) {
    TPRIVFrame Frame;
    EXPECT_EQ(Frame.FrameID(), "PRIV");
    EXPECT_EQ(Frame.FrameName, "Private");
    TMemoryStream Out;
    EXPECT_THROW(Frame.SaveToStream(Out, ID3V2_VERSION_2_2), EID3LibFrameVersionMismatch);
}

TEST(TPRIVFrame, Assign) {
    TPRIVFrame Source;
    Source.SetOwnerID("me");
    Source.Data.Data() = {4, 5};
    TPRIVFrame Target;
    EXPECT_TRUE(Target.Assign(Source));
    EXPECT_EQ(Target.OwnerID, "me");
    EXPECT_EQ(Target.Data.Data(), (FrameBytes{4, 5}));

    TUnknownFrame Other;
    Other.Data.Data() = {6};
    EXPECT_TRUE(Target.Assign(Other));
    EXPECT_EQ(Target.OwnerID, "me");
    EXPECT_EQ(Target.Data.Data(), FrameBytes{6});
}

}  // namespace
}  // namespace covrilo
