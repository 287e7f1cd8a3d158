// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v2/frames/TPRIVFrame.h"
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
    const Case cases[] = {
        {"owner and data",
         Fixture({"WM/MediaClassPrimaryID", {0}, {0xBC, 0x7D, 0x60, 0xD1, 0x00}}),
         "WM/MediaClassPrimaryID",
         {0xBC, 0x7D, 0x60, 0xD1, 0x00}},
        {"owner without data", Fixture({"www.example.org", {0}}), "www.example.org", {}},
        {"empty owner", Fixture({{0}, {0xFF}}), "", {0xFF}},
        {"one-byte owner kept byte for byte", Fixture({{'a', 0xE9, 0x80}, {0}, {1}}), "a\xE9\x80", {1}},
    };
    for (uint16_t version : {ID3V2_VERSION_2_3, ID3V2_VERSION_2_4}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(test::VersionName(version) + " " + c.Name);
            const FrameBytes in = Header(version, "PRIV", uint32_t(c.Content.size())) + c.Content;
            TPRIVFrame frame;
            int64_t end = 0;
            ASSERT_TRUE(test::LoadFrame(frame, in + Fixture({"TIT2"}), version, &end));
            EXPECT_EQ(end, int64_t(in.size()));
            EXPECT_EQ(frame.OwnerID, c.Owner);
            EXPECT_EQ(frame.Data.Data(), c.Data);
            EXPECT_EQ(frame.Data.Position(), 0);
            EXPECT_EQ(test::SaveFrame(frame, version), in);
        }
    }
}

TEST(TPRIVFrame, TruncatedContentStopsAtTheEnd) {
    TPRIVFrame frame;
    int64_t end = 0;
    const FrameBytes in = Fixture({"PRIV", {0, 0, 0x10, 0}, {0, 0}, "own", {0}, {1, 2}});
    ASSERT_TRUE(test::LoadFrame(frame, in, ID3V2_VERSION_2_3, &end));
    EXPECT_EQ(frame.OwnerID, "own");
    EXPECT_EQ(frame.Data.Data(), (FrameBytes{1, 2}));
    EXPECT_EQ(end, int64_t(in.size()));
}

TEST(TPRIVFrame, HasNoTwoTwoForm) {
    TPRIVFrame frame;
    EXPECT_EQ(frame.FrameID(), "PRIV");
    EXPECT_EQ(frame.FrameName, "Private");
    TMemoryStream out;
    EXPECT_THROW(frame.SaveToStream(out, ID3V2_VERSION_2_2), EID3LibFrameVersionMismatch);
}

TEST(TPRIVFrame, Assign) {
    TPRIVFrame source;
    source.SetOwnerID("me");
    source.Data.Data() = {4, 5};
    TPRIVFrame target;
    EXPECT_TRUE(target.Assign(source));
    EXPECT_EQ(target.OwnerID, "me");
    EXPECT_EQ(target.Data.Data(), (FrameBytes{4, 5}));

    TUnknownFrame other;
    other.Data.Data() = {6};
    EXPECT_TRUE(target.Assign(other));
    EXPECT_EQ(target.OwnerID, "me");
    EXPECT_EQ(target.Data.Data(), FrameBytes{6});
}

}  // namespace
}  // namespace covrilo
