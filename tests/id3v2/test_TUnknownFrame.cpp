// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v2/frames/TUnknownFrame.h"

namespace covrilo {
namespace {

using test::Fixture;
using test::FrameBytes;
using test::Header;
using test::operator+;

TEST(TUnknownFrame, SurvivesLoadAndSaveByteForByte) {
    struct Case {
        const char* Name;
        uint16_t Version;
        FrameBytes Bytes;
        const char* ID;
    };
    const Case cases[] = {
        {"2.2 MCI", ID3V2_VERSION_2_2, Fixture({"MCI", {0, 0, 4}, {0x01, 0x00, 0xFF, 0x7F}}), "MCDI"},
        {"2.3 MCDI", ID3V2_VERSION_2_3, Fixture({"MCDI", {0, 0, 0, 4}, {0, 0}, {0x01, 0x00, 0xFF, 0x7F}}),
         "MCDI"},
        {"2.4 MCDI with flags", ID3V2_VERSION_2_4,
         Fixture({"MCDI", {0, 0, 0, 5}, {0x60, 0x40}, {0x33}, {0x01, 0x00, 0xFF, 0x7F}}), "MCDI"},
        {"2.3 zero size", ID3V2_VERSION_2_3, Fixture({"PCNT", {0, 0, 0, 0}, {0, 0}}), "PCNT"},
        {"2.3 identifier outside the table", ID3V2_VERSION_2_3,
         Fixture({"ZOBA", {0, 0, 0, 2}, {0, 0}, {9, 9}}), "ZOBA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TUnknownFrame frame;
        EXPECT_EQ(frame.FrameID(), "UKWN");
        int64_t end = 0;
        ASSERT_TRUE(test::LoadFrame(frame, c.Bytes + Fixture({"TIT2"}), c.Version, &end));
        EXPECT_EQ(end, int64_t(c.Bytes.size()));
        EXPECT_EQ(frame.FrameID(), c.ID);
        EXPECT_EQ(test::SaveFrame(frame, c.Version), c.Bytes);
    }
}

TEST(TUnknownFrame, ContentPastTheEndOfTheStreamIsIllegal) {
    const FrameBytes cases[] = {
        Fixture({"MCDI", {0, 0, 0, 5}, {0, 0}, {1, 2, 3, 4}}),
        Fixture({"MCDI", {0xFF, 0xFF, 0xFF, 0xFF}, {0, 0}, {1}}),
    };
    for (const auto& bytes : cases) {
        TUnknownFrame frame;
        try {
            test::LoadFrame(frame, bytes, ID3V2_VERSION_2_3);
            ADD_FAILURE() << "no exception";
        } catch (const EID3LibLoadException& e) {
            EXPECT_STREQ(e.what(), "illegal frame \"MCDI\" found, cancel reading frames");
        }
    }
}

TEST(TUnknownFrame, WrittenInAnotherVersion) {
    TUnknownFrame frame;
    ASSERT_TRUE(test::LoadFrame(frame, Fixture({"ETC", {0, 0, 2}, {0xAA, 0xBB}}), ID3V2_VERSION_2_2));
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_4),
              Fixture({"ETCO", {0, 0, 0, 2}, {0, 0}, {0xAA, 0xBB}}));
    EXPECT_EQ(TUnknownFrame().GetSupportedVersions(), svID3v22 | svID3v23 | svID3v24);

    // Its own unsynchronisation is decoded, so the bytes mean the same in every version.
    TUnknownFrame unsync;
    ASSERT_TRUE(test::LoadFrame(
        unsync, Fixture({"MCDI", {0, 0, 0, 4}, {0x00, 0x02}, {0xFF, 0x00, 0xE1, 0x07}}), ID3V2_VERSION_2_4));
    EXPECT_EQ(unsync.Data.Data(), (FrameBytes{0xFF, 0xE1, 0x07}));
    EXPECT_EQ(test::SaveFrame(unsync, ID3V2_VERSION_2_3),
              Fixture({"MCDI", {0, 0, 0, 3}, {0, 0}, {0xFF, 0xE1, 0x07}}));

    // Compressed content stays as stored, which 2.2 cannot flag.
    TUnknownFrame compressed;
    ASSERT_TRUE(test::LoadFrame(
        compressed, Fixture({"MCDI", {0, 0, 0, 6}, {0x00, 0x80}, {0, 0, 0, 9}, {1, 2}}), ID3V2_VERSION_2_3));
    EXPECT_THROW(compressed.GetDataSize(ID3V2_VERSION_2_2), EID3LibFrameVersionMismatch);
}

}  // namespace
}  // namespace covrilo
