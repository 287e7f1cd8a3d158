// SPDX-License-Identifier: MIT
// Group and encryption registrations share one layout; both classes run the same cases.
#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v2/frames/TENCRFrame.h"
#include "id3v2/frames/TGRIDFrame.h"

namespace covrilo {
namespace {

using test::Fixture;
using test::FrameBytes;
using test::Header;
using test::operator+;

template <class T>
class RegistrationFrame : public ::testing::Test {};
using RegistrationTypes = ::testing::Types<TGRIDFrame, TENCRFrame>;
TYPED_TEST_SUITE(RegistrationFrame, RegistrationTypes);

TYPED_TEST(RegistrationFrame, ReadsAndWritesOwnerSymbolAndData) {
    struct Case {
        const char* Name;
        FrameBytes Content;
        std::string Owner;
        uint8_t Symbol;
        FrameBytes Data;
    };
    const Case cases[] = {
        {"owner, symbol, data",
         Fixture({"http://example.org", {0}, {0x85}, {1, 2, 3}}),
         "http://example.org",
         0x85,
         {1, 2, 3}},
        {"no data", Fixture({"x", {0}, {0xF0}}), "x", 0xF0, {}},
    };
    for (uint16_t version : {ID3V2_VERSION_2_3, ID3V2_VERSION_2_4}) {
        for (const auto& c : cases) {
            TypeParam frame;
            const std::string id = frame.FrameID();
            SCOPED_TRACE(test::VersionName(version) + " " + id + " " + c.Name);
            const FrameBytes in = Header(version, id, uint32_t(c.Content.size())) + c.Content;
            int64_t end = 0;
            ASSERT_TRUE(test::LoadFrame(frame, in + Fixture({"TIT2"}), version, &end));
            EXPECT_EQ(end, int64_t(in.size()));
            EXPECT_EQ(frame.OwnerID, c.Owner);
            EXPECT_EQ(frame.Symbol, c.Symbol);
            EXPECT_EQ(frame.Data.Data(), c.Data);
            EXPECT_EQ(test::SaveFrame(frame, version), in);
        }
    }
}

TYPED_TEST(RegistrationFrame, ContentEndingBeforeTheSymbol) {
    TypeParam frame;
    const std::string id = frame.FrameID();
    // The size covers only the owner: the byte after it belongs to the next frame.
    const FrameBytes in = Header(ID3V2_VERSION_2_3, id, 2) + Fixture({"o", {0}});
    int64_t end = 0;
    ASSERT_TRUE(test::LoadFrame(frame, in + Fixture({"TIT2"}), ID3V2_VERSION_2_3, &end));
    EXPECT_EQ(end, int64_t(in.size()));
    EXPECT_EQ(frame.OwnerID, "o");
    EXPECT_EQ(frame.Symbol, 0);
}

TYPED_TEST(RegistrationFrame, SupportsTwoFourOnlyForReservedSymbols) {
    struct Case {
        uint8_t Symbol;
        bool TwoFour;
    };
    for (const Case& c :
         {Case{0x7F, false}, Case{0x80, true}, Case{0xF0, true}, Case{0xF1, false}, Case{0, false}}) {
        TypeParam frame;
        frame.SetSymbol(c.Symbol);
        EXPECT_EQ((frame.GetSupportedVersions() & svID3v24) != 0, c.TwoFour) << int(c.Symbol);
        EXPECT_NE(frame.GetSupportedVersions() & svID3v23, 0);
    }
}

TYPED_TEST(RegistrationFrame, AssignTakesOwnerAndSymbolFromItsOwnKind) {
    TypeParam source;
    source.SetOwnerID("owner");
    source.SetSymbol(0x99);
    source.Data.Data() = {5};
    TypeParam target;
    EXPECT_TRUE(target.Assign(source));
    EXPECT_EQ(target.OwnerID, "owner");
    EXPECT_EQ(target.Symbol, 0x99);
    EXPECT_EQ(target.Data.Data(), FrameBytes{5});
}

TEST(TGRIDFrame, AssignFromEncryptionRegistrationTakesOnlyData) {
    TENCRFrame source;
    source.SetOwnerID("owner");
    source.SetSymbol(0x99);
    source.Data.Data() = {5};
    TGRIDFrame target;
    EXPECT_TRUE(target.Assign(source));
    EXPECT_EQ(target.OwnerID, "");
    EXPECT_EQ(target.Symbol, 0);
    EXPECT_EQ(target.Data.Data(), FrameBytes{5});
}

TEST(TGRIDFrame, TwoTwoForms) {
    // Encryption registrations exist in 2.2 as "CRM"; group registrations do not.
    TENCRFrame encr;
    encr.SetOwnerID("o");
    encr.SetSymbol(0x81);
    EXPECT_EQ(test::SaveFrame(encr, ID3V2_VERSION_2_2), Fixture({"CRM", {0, 0, 3}, "o", {0}, {0x81}}));
    TENCRFrame back;
    ASSERT_TRUE(test::LoadFrame(back, Fixture({"CRM", {0, 0, 3}, "o", {0}, {0x81}}), ID3V2_VERSION_2_2));
    EXPECT_EQ(back.FrameID(), "ENCR");
    EXPECT_EQ(back.Symbol, 0x81);

    TGRIDFrame grid;
    TMemoryStream out;
    EXPECT_THROW(grid.SaveToStream(out, ID3V2_VERSION_2_2), EID3LibFrameVersionMismatch);
}

}  // namespace
}  // namespace covrilo
