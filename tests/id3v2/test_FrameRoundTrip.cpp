// SPDX-License-Identifier: MIT
// Every frame class the factory builds, made through its setters, written in each version it
// supports and read back (FrameRoundTrip.h); and a check that no such class lacks a case.
#include <gtest/gtest.h>

#include <set>
#include <typeindex>

#include "FrameRoundTrip.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TCHAPFrame.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TCTOCFrame.h"
#include "id3v2/frames/TENCRFrame.h"
#include "id3v2/frames/TEncodedFrame.h"
#include "id3v2/frames/TGRIDFrame.h"
#include "id3v2/frames/TPRIVFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TUnknownFrame.h"
#include "id3v2/frames/TWURLFrame.h"
#include "id3v2/frames/TWXXXFrame.h"
#include "io/TextConversion.h"

namespace covrilo {
namespace {

using test::Fixture;
using test::FrameBytes;
using test::Header;
using test::operator+;

std::string Hex(const std::vector<uint8_t>& Bytes) {
    static const char* const Digits = "0123456789abcdef";
    std::string Out;
    for (uint8_t B : Bytes) {
        Out.push_back(Digits[B >> 4]);
        Out.push_back(Digits[B & 15]);
    }
    return Out;
}

std::string Texts(const std::u16string& First, const std::vector<std::u16string>& More) {
    std::string Out = "\"" + WideToUtf8(First) + "\"";
    for (const auto& Text : More) Out += " \"" + WideToUtf8(Text) + "\"";
    return Out;
}

// The values of a frame of any class, the encoding left out.
std::string Describe(const TBaseFrame& Frame) {
    const std::string ID = Frame.FrameID() + " ";
    if (const auto* F = dynamic_cast<const TTxxxFrame*>(&Frame)) return ID + Texts(F->Text, F->MoreTexts);
    if (const auto* F = dynamic_cast<const TWURLFrame*>(&Frame)) return ID + F->URL;
    if (const auto* F = dynamic_cast<const TWXXXFrame*>(&Frame)) return ID + WideToUtf8(F->Description) + " " + F->URL;
    if (const auto* F = dynamic_cast<const TCOMMFrame*>(&Frame))
        return ID + Hex({F->FLanguage.begin(), F->FLanguage.end()}) + " " + WideToUtf8(F->Description) + " " +
               Texts(F->Text, F->MoreTexts);
    if (const auto* F = dynamic_cast<const TAPICFrame*>(&Frame))
        return ID + F->MIMEType + " " + std::to_string(F->PictureType) + " " + WideToUtf8(F->Description) + " " +
               (F->Linked ? "link " + F->LinkURL : Hex(F->PictureData.Data()));
    if (const auto* F = dynamic_cast<const TPRIVFrame*>(&Frame)) return ID + F->OwnerID + " " + Hex(F->Data.Data());
    if (const auto* F = dynamic_cast<const TRegistrationFrame*>(&Frame))
        return ID + F->OwnerID + " " + std::to_string(F->Symbol) + " " + Hex(F->Data.Data());
    if (const auto* F = dynamic_cast<const TEncodedFrame*>(&Frame)) {
        // The texts of a lyrics frame, whatever their encoding.
        std::u16string Description, Lyrics;
        bool BigEndian = false;
        const std::span<const uint8_t> All(F->Content());
        const TTextEncoding Encoding = TBaseFrame::EncodingFromByte(All[0]);
        const size_t Used = TBaseFrame::ParseText(All.subspan(4), BigEndian, Description, Encoding);
        TBaseFrame::ParseText(All.subspan(4 + Used), BigEndian, Lyrics, Encoding);
        return ID + Hex({All.begin() + 1, All.begin() + 4}) + " " + WideToUtf8(Description) + " " + WideToUtf8(Lyrics);
    }
    if (const auto* F = dynamic_cast<const TContainerFrame*>(&Frame)) {
        std::string Out = ID;
        if (const auto* C = dynamic_cast<const TCHAPFrame*>(F))
            Out += C->ElementID + " " + std::to_string(C->StartTime) + "-" + std::to_string(C->EndTime) + " " +
                   std::to_string(C->StartOffset) + "-" + std::to_string(C->EndOffset);
        if (const auto* C = dynamic_cast<const TCTOCFrame*>(F)) {
            Out += C->ElementID + " " + std::to_string(C->Flags);
            for (const auto& Child : C->ChildElementIDs) Out += " " + Child;
        }
        for (const auto& Sub : F->SubFrames) Out += " [" + Describe(*Sub) + "]";
        return Out;
    }
    if (const auto* F = dynamic_cast<const TBaseDataFrame*>(&Frame)) return ID + Hex(F->Data.Data());
    return ID + "(no description for this class)";
}

std::unique_ptr<TTxxxFrame> Text(const char* ID, std::u16string_view Value, TTextEncoding Encoding) {
    auto Frame = std::make_unique<TTxxxFrame>();
    Frame->SetFrameID(ID);
    Frame->SetText(Value);
    Frame->Encoding = Encoding;
    return Frame;
}

struct RoundTripCase {
    const char* Name;
    std::function<std::unique_ptr<TBaseFrame>()> Make;
    // The whole frame as written in ID3v2.3: the round trip alone cannot tell a field that
    // parse and render both get wrong.
    FrameBytes Expected23;
};

const std::vector<RoundTripCase>& Cases() {
    static const std::vector<RoundTripCase> All = {
        {"text with two values",
         [] {
             auto Frame = Text("TPE1", u"Anna", teISO8859_1);
             Frame->MoreTexts = {u"B\u00E9la"};
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "TPE1", 11) + Fixture({{0x00}, "Anna", {0}, "B", {0xE9}, "la", {0}})},
        {"text in utf-16 (utf-8 in 2.4)", [] { return Text("TIT2", u"\u00FCber \u4E16", teUTF8); },
         Header(ID3V2_VERSION_2_3, "TIT2", 17) +
             Fixture({{0x01}, {0xFE, 0xFF}, {0, 0xFC, 0, 'b', 0, 'e', 0, 'r', 0, ' ', 0x4E, 0x16}, {0, 0}})},
        {"url link",
         [] {
             auto Frame = std::make_unique<TWURLFrame>();
             Frame->SetFrameID("WOAR");
             Frame->SetURL("https://example.org/a");
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "WOAR", 22) + Fixture({"https://example.org/a", {0}})},
        {"user link",
         [] {
             auto Frame = std::make_unique<TWXXXFrame>();
             Frame->Encoding = teISO8859_1;
             Frame->SetDescription(u"shop");
             Frame->SetURL("http://x.y");
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "WXXX", 17) + Fixture({{0x00}, "shop", {0}, "http://x.y", {0}})},
        {"comment",
         [] {
             auto Frame = std::make_unique<TCOMMFrame>();
             Frame->SetLanguage("eng");
             Frame->SetDescription(u"d");
             Frame->SetText(u"Nice");
             Frame->BigEndian = false;
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "COMM", 22) +
             Fixture({{0x01}, "eng", {0xFF, 0xFE, 'd', 0, 0, 0}, {0xFF, 0xFE, 'N', 0, 'i', 0, 'c', 0, 'e', 0, 0, 0}})},
        {"picture",
         [] {
             auto Frame = std::make_unique<TAPICFrame>();
             Frame->Encoding = teISO8859_1;
             Frame->SetMIMEType("image/jpeg");
             Frame->SetPictureType(3);
             Frame->SetDescription(u"Cover");
             TMemoryStream Image(FrameBytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0xFF, 0xD9});
             Frame->SetPictureData(Image);
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "APIC", 27) +
             Fixture({{0x00}, "image/jpeg", {0}, {0x03}, "Cover", {0}, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0xFF, 0xD9}})},
        {"linked picture",
         [] {
             auto Frame = std::make_unique<TAPICFrame>();
             Frame->Encoding = teISO8859_1;
             Frame->SetLinked(true);
             Frame->SetLinkURL("http://x/c.jpg");
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "APIC", 22) + Fixture({{0x00}, "-->", {0}, {0x00}, {0}, "http://x/c.jpg", {0}})},
        {"private",
         [] {
             auto Frame = std::make_unique<TPRIVFrame>();
             Frame->SetOwnerID("owner");
             TMemoryStream Data(FrameBytes{0, 1, 2, 0xFF});
             Frame->SetData(&Data);
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "PRIV", 10) + Fixture({"owner", {0}, {0, 1, 2, 0xFF}})},
        {"group registration",
         [] {
             auto Frame = std::make_unique<TGRIDFrame>();
             Frame->SetOwnerID("g");
             Frame->SetSymbol(0x80);
             TMemoryStream Data(FrameBytes{9, 8});
             Frame->SetData(&Data);
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "GRID", 5) + Fixture({"g", {0}, {0x80}, {9, 8}})},
        {"encryption registration without data",
         [] {
             auto Frame = std::make_unique<TENCRFrame>();
             Frame->SetOwnerID("e");
             Frame->SetSymbol(0x81);
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "ENCR", 3) + Fixture({"e", {0}, {0x81}})},
        {"chapter with a title",
         [] {
             auto Frame = std::make_unique<TCHAPFrame>();
             Frame->ElementID = "ch1";
             Frame->StartTime = 0x0102;
             Frame->EndTime = 0x0A0B0C0D;
             Frame->SubFrames.push_back(Text("TIT2", u"Intro", teISO8859_1));
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "CHAP", 37) +
             Fixture({"ch1", {0}, {0, 0, 1, 2}, {0x0A, 0x0B, 0x0C, 0x0D}, {0xFF, 0xFF, 0xFF, 0xFF},
                      {0xFF, 0xFF, 0xFF, 0xFF}}) +
             Header(ID3V2_VERSION_2_3, "TIT2", 7) + Fixture({{0x00}, "Intro", {0}})},
        {"table of contents",
         [] {
             auto Frame = std::make_unique<TCTOCFrame>();
             Frame->ElementID = "toc";
             Frame->Flags = 0x03;
             Frame->ChildElementIDs = {"ch1", "ch2"};
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "CTOC", 14) + Fixture({"toc", {0}, {0x03}, {0x02}, "ch1", {0}, "ch2", {0}})},
        {"lyrics read in utf-8, re-encoded below 2.4",
         [] {
             // A frame of this class is made by loading only.
             auto Frame = TID3v2Class::CreateFrame("USLT");
             const FrameBytes Content = Fixture({{0x03}, "eng", "d", {0}, "L", {0xC3, 0xBC}, {0}});
             EXPECT_TRUE(test::LoadFrame(*Frame, Header(ID3V2_VERSION_2_4, "USLT", 10) + Content, ID3V2_VERSION_2_4));
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "USLT", 18) +
             Fixture({{0x01}, "eng", {0xFE, 0xFF, 0, 'd', 0, 0}, {0xFE, 0xFF, 0, 'L', 0, 0xFC, 0, 0}})},
        {"frame of a kind not interpreted",
         [] {
             auto Frame = TID3v2Class::CreateFrame("MCDI");
             TMemoryStream Data(FrameBytes{0, 0x96, 0, 0});
             static_cast<TUnknownFrame&>(*Frame).SetData(&Data);
             return Frame;
         },
         Header(ID3V2_VERSION_2_3, "MCDI", 4) + Fixture({{0, 0x96, 0, 0}})},
    };
    return All;
}

void PrintTo(const RoundTripCase& Case, std::ostream* Out) { *Out << Case.Name; }

class FrameRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(FrameRoundTrip, EveryVersionGivesTheValuesAndTheBytesBack) {
    const RoundTripCase& Case = GetParam();
    int Versions = 0;
    for (const uint16_t Version : {ID3V2_VERSION_2_2, ID3V2_VERSION_2_3, ID3V2_VERSION_2_4}) {
        if (!test::WritableIn(*Case.Make(), Version)) continue;
        ++Versions;
        test::ExpectRoundTrip(Case.Make, Describe, Version);
    }
    EXPECT_GE(Versions, 2) << "a frame class that two versions cannot both write is suspect";
    auto Made = Case.Make();
    EXPECT_EQ(test::SaveFrame(*Made, ID3V2_VERSION_2_3), Case.Expected23);
}

INSTANTIATE_TEST_SUITE_P(Classes, FrameRoundTrip, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<RoundTripCase>& Info) {
                             std::string Name;
                             for (const char C : std::string(Info.param.Name))
                                 Name.push_back(std::isalnum(static_cast<unsigned char>(C)) ? C : '_');
                             return Name;
                         });

// Every class the factory builds for some identifier has a round-trip case: a new frame class
// without one fails here.
TEST(FrameRoundTripCompleteness, EveryClassTheFactoryBuildsHasACase) {
    std::set<std::type_index> Covered;
    for (const RoundTripCase& Case : Cases()) Covered.insert(typeid(*Case.Make()));

    std::vector<std::string> IDs;
    for (const TKnownFrame& Row : KnownFrames()) IDs.emplace_back(Row.ID);
    for (const std::string_view ID : TEncodedFrame::LayoutIDs()) IDs.emplace_back(ID);
    // Identifiers outside both tables: some other text and link frame, any other frame.
    for (const char* ID : {"TXXX", "WXXX", "TZZZ", "WZZZ", "XYZW", "CHAP", "CTOC"}) IDs.emplace_back(ID);
    std::set<std::type_index> Built;
    for (const std::string& ID : IDs) {
        const auto Frame = TID3v2Class::CreateFrame(ID);
        ASSERT_NE(Frame, nullptr) << ID;
        Built.insert(typeid(*Frame));
        EXPECT_TRUE(Covered.count(typeid(*Frame)))
            << "no round-trip case for " << typeid(*Frame).name() << " (built for \"" << ID << "\")";
    }
    // The walk must reach every kind, or the check above proves little.
    EXPECT_GE(Built.size(), 12u);
}

}  // namespace
}  // namespace covrilo
