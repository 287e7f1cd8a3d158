// SPDX-License-Identifier: MIT
// Frames with an encoding byte the engine does not model: kept byte for byte, and their
// texts re-encoded field by field after their layout where 2.3 lacks the encoding.
#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "ID3v2ClassTestUtil.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TEncodedFrame.h"

namespace covrilo {
namespace {

using test::Bytes;
using test::Cat;
using test::Str;
using test::operator+;

// UTF-16 with FE FF, big-endian, of an ASCII text, with terminator when Terminated.
Bytes U16(std::string_view Text, bool Terminated = true) {
    Bytes out{0xFE, 0xFF};
    for (char c : Text) out.insert(out.end(), {0, static_cast<uint8_t>(c)});
    if (Terminated) out.insert(out.end(), {0, 0});
    return out;
}
Bytes Z(std::string_view Text) { return Cat({Str(Text), Bytes{0}}); }

TEST(TEncodedFrame, TextsAreReencodedForTwoThree) {
    struct Case {
        const char* ID;
        Bytes Utf8;   // the 2.4 content (encoding byte 3)
        Bytes Utf16;  // the content written to 2.3
    };
    const Case cases[] = {
        {"USLT", Cat({Bytes{3}, Str("eng"), Z("d"), Str("lyrics")}),
         Cat({Bytes{1}, Str("eng"), U16("d"), U16("lyrics", false)})},
        {"USLT", Cat({Bytes{3}, Str("eng"), Z(""), Z("ends")}),
         Cat({Bytes{1}, Str("eng"), U16(""), U16("ends")})},
        {"SYLT",
         Cat({Bytes{3}, Str("eng"), Bytes{2, 1}, Z("d"), Z("one"), test::BE32(10), Z("two"), test::BE32(20)}),
         Cat({Bytes{1}, Str("eng"), Bytes{2, 1}, U16("d"), U16("one"), test::BE32(10), U16("two"),
              test::BE32(20)})},
        {"USER", Cat({Bytes{3}, Str("eng"), Str("terms")}), Cat({Bytes{1}, Str("eng"), U16("terms", false)})},
        {"GEOB", Cat({Bytes{3}, Z("text/plain"), Z("f.txt"), Z("desc"), Str("\x01\x02")}),
         Cat({Bytes{1}, Z("text/plain"), U16("f.txt"), U16("desc"), Str("\x01\x02")})},
        {"OWNE", Cat({Bytes{3}, Z("EUR1"), Str("20240101"), Str("seller")}),
         Cat({Bytes{1}, Z("EUR1"), Str("20240101"), U16("seller", false)})},
        {"COMR",
         Cat({Bytes{3}, Z("EUR1"), Str("20251231"), Z("u"), Bytes{1}, Z("s"), Z("d"), Z("image/png"),
              Str("L")}),
         Cat({Bytes{1}, Z("EUR1"), Str("20251231"), Z("u"), Bytes{1}, U16("s"), U16("d"), Z("image/png"),
              Str("L")})},
        {"IPLS", Cat({Bytes{3}, Z("role"), Z("name")}), Cat({Bytes{1}, U16("role"), U16("name")})},
        {"GRP1", Cat({Bytes{3}, Str("group")}), Cat({Bytes{1}, U16("group", false)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ID);
        TEncodedFrame frame;
        ASSERT_TRUE(test::LoadFrame(frame,
                                    test::Header(ID3V2_VERSION_2_4, c.ID, uint32_t(c.Utf8.size())) + c.Utf8,
                                    ID3V2_VERSION_2_4));
        frame.SetFrameID(c.ID);
        EXPECT_EQ(frame.CarryProblem(ID3V2_VERSION_2_3), "");
        EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_4),
                  test::Header(ID3V2_VERSION_2_4, c.ID, uint32_t(c.Utf8.size())) + c.Utf8);
        EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_3),
                  test::Header(ID3V2_VERSION_2_3, c.ID, uint32_t(c.Utf16.size())) + c.Utf16);
    }
}

// Bytes that do not follow the layout are never guessed at: the conversion is refused, the
// frame stays writable as it was read.
TEST(TEncodedFrame, ContentOffItsLayoutIsRefusedNotGuessed) {
    const Bytes content = Cat({Bytes{3}, Str("en")});  // a language cut short
    TEncodedFrame frame;
    ASSERT_TRUE(
        test::LoadFrame(frame, test::Header(ID3V2_VERSION_2_4, "USLT", 3) + content, ID3V2_VERSION_2_4));
    frame.SetFrameID("USLT");
    EXPECT_NE(frame.CarryProblem(ID3V2_VERSION_2_3).find("layout"), std::string::npos);
    TMemoryStream out;
    EXPECT_THROW(frame.SaveToStream(out, ID3V2_VERSION_2_3), EID3LibFrameVersionMismatch);
    EXPECT_EQ(test::SaveFrame(frame, ID3V2_VERSION_2_4),
              test::Header(ID3V2_VERSION_2_4, "USLT", 3) + content);
}

TEST(TEncodedFrame, TheFactoryMakesThemForTheirIdentifiers) {
    for (const char* id : {"USLT", "SYLT", "USER", "GEOB", "COMR", "OWNE", "IPLS", "GRP1", "MVNM", "MVIN"}) {
        auto frame = TID3v2Class::CreateFrame(id);
        EXPECT_NE(dynamic_cast<TEncodedFrame*>(frame.get()), nullptr) << id;
        EXPECT_EQ(frame->FrameID(), id);
    }
    EXPECT_EQ(dynamic_cast<TEncodedFrame*>(TID3v2Class::CreateFrame("MCDI").get()), nullptr);
}

}  // namespace
}  // namespace covrilo
