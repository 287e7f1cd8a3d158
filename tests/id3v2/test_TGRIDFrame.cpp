// SPDX-License-Identifier: MIT
// Group and encryption registrations share one layout; both classes run the same cases.
#include "id3v2/frames/TGRIDFrame.h"

#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v2/frames/TENCRFrame.h"

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
    const Case Cases[] = {
        {"owner, symbol, data", Fixture({"http://example.org", {0}, {0x85}, {1, 2, 3}}), "http://example.org", 0x85,
         {1, 2, 3}},
        {"no data", Fixture({"x", {0}, {0xF0}}), "x", 0xF0, {}},
    };
    for (uint16_t Version : {ID3V2_VERSION_2_3, ID3V2_VERSION_2_4}) {
        for (const auto& C : Cases) {
            TypeParam Frame;
            const std::string ID = Frame.FrameID();
            SCOPED_TRACE(test::VersionName(Version) + " " + ID + " " + C.Name);
            const FrameBytes In = Header(Version, ID, uint32_t(C.Content.size())) + C.Content;
            int64_t End = 0;
            ASSERT_TRUE(test::LoadFrame(Frame, In + Fixture({"TIT2"}), Version, &End));
            EXPECT_EQ(End, int64_t(In.size()));
            EXPECT_EQ(Frame.OwnerID, C.Owner);
            EXPECT_EQ(Frame.Symbol, C.Symbol);
            EXPECT_EQ(Frame.Data.Data(), C.Data);
            EXPECT_EQ(test::SaveFrame(Frame, Version), In);
        }
    }
}

TYPED_TEST(RegistrationFrame, ContentEndingBeforeTheSymbol) {
    TypeParam Frame;
    const std::string ID = Frame.FrameID();
    // The size covers only the owner: the byte after it belongs to the next frame.
    const FrameBytes In = Header(ID3V2_VERSION_2_3, ID, 2) + Fixture({"o", {0}});
    int64_t End = 0;
    ASSERT_TRUE(test::LoadFrame(Frame, In + Fixture({"TIT2"}), ID3V2_VERSION_2_3, &End));
    EXPECT_EQ(End, int64_t(In.size()));
    EXPECT_EQ(Frame.OwnerID, "o");
    EXPECT_EQ(Frame.Symbol, 0);
}

TYPED_TEST(RegistrationFrame, SupportsTwoFourOnlyForReservedSymbols) {
    struct Case {
        uint8_t Symbol;
        bool TwoFour;
    };
    for (const Case& C : {Case{0x7F, false}, Case{0x80, true}, Case{0xF0, true}, Case{0xF1, false}, Case{0, false}}) {
        TypeParam Frame;
        Frame.SetSymbol(C.Symbol);
        EXPECT_EQ((Frame.GetSupportedVersions() & svID3v24) != 0, C.TwoFour) << int(C.Symbol);
        EXPECT_NE(Frame.GetSupportedVersions() & svID3v23, 0);
    }
}

TYPED_TEST(RegistrationFrame, AssignTakesOwnerAndSymbolFromItsOwnKind) {
    TypeParam Source;
    Source.SetOwnerID("owner");
    Source.SetSymbol(0x99);
    Source.Data.Data() = {5};
    TypeParam Target;
    EXPECT_TRUE(Target.Assign(Source));
    EXPECT_EQ(Target.OwnerID, "owner");
    EXPECT_EQ(Target.Symbol, 0x99);
    EXPECT_EQ(Target.Data.Data(), FrameBytes{5});
}

TEST(TGRIDFrame, AssignFromEncryptionRegistrationTakesOnlyData) {
    TENCRFrame Source;
    Source.SetOwnerID("owner");
    Source.SetSymbol(0x99);
    Source.Data.Data() = {5};
    TGRIDFrame Target;
    EXPECT_TRUE(Target.Assign(Source));
    EXPECT_EQ(Target.OwnerID, "");
    EXPECT_EQ(Target.Symbol, 0);
    EXPECT_EQ(Target.Data.Data(), FrameBytes{5});
}

TEST(TGRIDFrame, TwoTwoForms) {
    // Encryption registrations exist in 2.2 as "CRM"; group registrations do not.
    TENCRFrame Encr;
    Encr.SetOwnerID("o");
    Encr.SetSymbol(0x81);
    EXPECT_EQ(test::SaveFrame(Encr, ID3V2_VERSION_2_2), Fixture({"CRM", {0, 0, 3}, "o", {0}, {0x81}}));
    TENCRFrame Back;
    ASSERT_TRUE(test::LoadFrame(Back, Fixture({"CRM", {0, 0, 3}, "o", {0}, {0x81}}), ID3V2_VERSION_2_2));
    EXPECT_EQ(Back.FrameID(), "ENCR");
    EXPECT_EQ(Back.Symbol, 0x81);

    TGRIDFrame Grid;
    TMemoryStream Out;
    EXPECT_THROW(Grid.SaveToStream(Out, ID3V2_VERSION_2_2), EID3LibFrameVersionMismatch);
}

}  // namespace
}  // namespace covrilo
