// SPDX-License-Identifier: MIT
// The frame walk: what ends it (padding, and what only looks like padding), the plain 2.4
// sizes iTunes wrote, the identifiers that are none, and where frames readers stop at go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ID3v2ClassTestUtil.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/ID3v2FrameWalk.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TRawFrame.h"
#include "id3v2/frames/TTxxxFrame.h"

namespace covrilo {
namespace {

using namespace test;

std::vector<std::string> Ids(const std::vector<std::unique_ptr<TBaseFrame>>& Frames) {
    std::vector<std::string> ids;
    for (const auto& frame : Frames) ids.push_back(PrintableFrameID(frame->FrameID()));
    return ids;
}

TFrameWalk Walk(const Bytes& Area, uint16_t Version, std::vector<std::unique_ptr<TBaseFrame>>& Frames) {
    return WalkFrames(Area, 10, Version, Frames);
}

const Bytes kTitle = Frame23("TIT2", Latin1Text("Title"));
const Bytes kArtist = Frame23("TPE1", Latin1Text("Artist"));

// Zero bytes end the walk without complaint, and so does a run of one filler byte that some
// taggers use (0xFF, spaces): no reader takes them for frames. Anything else that is not a
// frame stops the walk early, so that a save is refused.
TEST(ID3v2FrameWalk, WhatEndsTheWalk) {
    struct Case {
        const char* Name;
        Bytes Tail;
        bool Complete;
    };
    Bytes staleAfterZeros = Cat({Bytes(20, 0), kArtist});
    const Case cases[] = {
        {"nothing", {}, true},
        {"zero padding", Bytes(300, 0), true},
        {"zeros, then a stale frame no reader reaches", staleAfterZeros, true},
        {"0xFF run", Bytes(300, 0xFF), true},
        {"spaces", Bytes(64, ' '), true},
        {"three zero bytes", Bytes(3, 0), true},
        {"junk", Str("this is not a frame at all"), false},
        {"0xFF run with a junk byte", Cat({Bytes(40, 0xFF), Bytes{0x12}, Bytes(40, 0xFF)}), false},
        {"a few junk bytes", Str("abc"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::unique_ptr<TBaseFrame>> frames;
        const TFrameWalk walk = Walk(Cat({kTitle, kArtist, c.Tail}), 0x0300, frames);
        EXPECT_EQ(Ids(frames), (std::vector<std::string>{"TIT2", "TPE1"}));
        EXPECT_EQ(walk.Complete, c.Complete);
        if (!c.Complete) {
            EXPECT_EQ(walk.StopOffset, 10 + static_cast<int64_t>(kTitle.size() + kArtist.size()));
        }
    }
}

// iTunes wrote 2.4 sizes as plain 32-bit numbers. Read as syncsafe, a frame of 128 bytes or
// more lands inside itself; the reading that walks the area consistently is taken.
TEST(ID3v2FrameWalk, PlainTwoFourSizesAreDetectedForTheWholeTag) {
    const Bytes big = Cat({Bytes{0}, Str("image/jpeg"), Bytes{0, 3, 0}, Bytes(300, 0xAB)});
    auto plain = [](std::string_view ID, const Bytes& Content) {
        return Cat({Str(ID), BE32(static_cast<uint32_t>(Content.size())), Bytes{0, 0}, Content});
    };
    const Bytes iTunes = Cat({plain("TIT2", Latin1Text("T")), plain("APIC", big),
                              plain("TPE1", Latin1Text("A")), plain("TALB", Latin1Text("B"))});
    const Bytes standard =
        Cat({Frame24("TIT2", Latin1Text("T")), Frame24("APIC", big), Frame24("TPE1", Latin1Text("A"))});
    struct Case {
        const char* Name;
        Bytes Area;
        bool Plain;
        std::vector<std::string> Frames;
    };
    const Case cases[] = {
        {"iTunes", Cat({iTunes, Bytes(100, 0)}), true, {"TIT2", "APIC", "TPE1", "TALB"}},
        {"iTunes without padding", iTunes, true, {"TIT2", "APIC", "TPE1", "TALB"}},
        {"syncsafe", Cat({standard, Bytes(100, 0)}), false, {"TIT2", "APIC", "TPE1"}},
        {"small frames read the same either way",
         Cat({Frame24("TIT2", Latin1Text("T")), Bytes(10, 0)}),
         false,
         {"TIT2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(HasPlainFrameSizes(c.Area), c.Plain);
        std::vector<std::unique_ptr<TBaseFrame>> frames;
        const TFrameWalk walk = Walk(c.Area, 0x0400, frames);
        EXPECT_TRUE(walk.Complete) << walk.StopReason;
        EXPECT_EQ(walk.PlainSizes, c.Plain);
        EXPECT_EQ(Ids(frames), c.Frames);
        auto* apic = frames.size() > 1 ? dynamic_cast<TAPICFrame*>(frames[1].get()) : nullptr;
        if (c.Frames.size() > 1) {
            ASSERT_NE(apic, nullptr);
            EXPECT_EQ(apic->PictureData.Data(), Bytes(300, 0xAB));
            EXPECT_EQ(apic->PictureType, 3);
        }
    }
}

// Identifiers that are none: 2.2 names with a zero byte are mapped (iTunes 12.1), anything
// else whose size lands on the next frame, the padding or the end is kept as it was read.
TEST(ID3v2FrameWalk, IdentifiersThatAreNone) {
    struct Case {
        const char* Name;
        uint16_t Version;
        Bytes Area;
        std::vector<std::string> Frames;
        bool Complete;
    };
    const Case cases[] = {
        {"2.2 names in 2.3",
         0x0300,
         Cat({Frame23(std::string_view("TP1\0", 4), Latin1Text("A")),
              Frame23(std::string_view("COM\0", 4), Cat({Bytes{0}, Str("eng"), Bytes{0}, Str("c")})),
              kTitle}),
         {"TPE1", "COMM", "TIT2"},
         true},
        {"a frame named Date",
         0x0300,
         Cat({Frame23("Date", Latin1Text("2010")), kTitle}),
         {"Date", "TIT2"},
         true},
        {"lower case last, before padding",
         0x0300,
         Cat({kTitle, Frame23("tpe1", Latin1Text("x")), Bytes(30, 0)}),
         {"TIT2", "tpe1"},
         true},
        {"lower case at the very end",
         0x0400,
         Cat({Frame24("TIT2", Latin1Text("T")), Frame24("tpe1", Latin1Text("x"))}),
         {"TIT2", "tpe1"},
         true},
        // A save puts such frames last, so they come in a row: each size leads to the next.
        {"two in a row, then padding",
         0x0300,
         Cat({kTitle, Frame23("Date", Latin1Text("2010")),
              Frame23(std::string_view("TT2\x08", 4), Latin1Text("x")), Bytes(20, 0)}),
         {"TIT2", "Date", "TT2\\x08"},
         true},
        {"garbage whose size lands nowhere",
         0x0300,
         Cat({kTitle, Bytes{0xC2, 0xCF, 0x1A, 0x2F, 0, 0, 0, 4, 0, 0}, Str("abcdefgh"), kArtist}),
         {"TIT2"},
         false},
        {"2.2 identifier without a 2.3 form",
         0x0200,
         Cat({Frame22("TT2", Latin1Text("T")), Frame22("ABC", Str("opaque")),
              Frame22("TP1", Latin1Text("A"))}),
         {"TIT2", "ABC", "TPE1"},
         true},
        {"iTunes 2.2 identifiers",
         0x0200,
         Cat({Frame22("TCP", Latin1Text("1")), Frame22("TST", Latin1Text("s")),
              Frame22("GP1", Latin1Text("g"))}),
         {"TCMP", "TSOT", "GRP1"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::unique_ptr<TBaseFrame>> frames;
        const TFrameWalk walk = Walk(c.Area, c.Version, frames);
        EXPECT_EQ(Ids(frames), c.Frames);
        EXPECT_EQ(walk.Complete, c.Complete) << walk.StopReason;
    }
}

// Saved, the frames keep their content; those readers stop at (no identifier, a broken
// header, no content) follow every other frame; the 2.2-style names get their 2.3 names.
TEST(ID3v2FrameWalk, FramesReadersStopAtGoLastOnASave) {
    const Bytes date = Frame23("Date", Latin1Text("2010"));
    const Bytes empty = Frame23("PRIV", {});
    const Bytes mapped = Frame23(std::string_view("TAL\0", 4), Latin1Text("Album"));
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, Cat({Tag(3, Cat({date, kTitle, empty, mapped, kArtist}), 100), Audio()}));
    {
        TID3v2Class tag(file);
        ASSERT_TRUE(tag.FrameWalk.Complete);
        ASSERT_TRUE(tag.SaveToFile(0));
    }
    const Bytes saved = ReadFileBytes(file);
    const Bytes expected = Cat({kTitle, Frame23("TALB", Latin1Text("Album")), kArtist, date, empty});
    EXPECT_EQ(Slice(saved, 10, expected.size()), expected);
    TID3v2Class again(file);
    EXPECT_TRUE(again.FrameWalk.Complete);
    EXPECT_EQ(again.FrameCount(), 5);
}

// A raw frame whose only fault is its identifier moves between 2.3 and 2.4 under the other
// version's header (size and status flags); with other flags, or into 2.2, it is refused.
TEST(ID3v2FrameWalk, RawFramesBetweenVersions) {
    const Bytes content(200, 0x41);
    const Bytes read23 = Cat({Str("Date"), BE32(200), Bytes{0x80, 0x00}, content});
    TRawFrame raw(read23, 0x0300, TRawFrame::TKind::InvalidID);
    EXPECT_TRUE(raw.StopsReaders());
    TMemoryStream out24;
    ASSERT_TRUE(raw.SaveToStream(out24, 0x0400));
    EXPECT_EQ(out24.Data(), Cat({Str("Date"), Syncsafe(200), Bytes{0x40, 0x00}, content}));
    TMemoryStream out23;
    ASSERT_TRUE(raw.SaveToStream(out23, 0x0300));
    EXPECT_EQ(out23.Data(), read23);
    EXPECT_NE(raw.CarryProblem(0x0200), "");

    TRawFrame grouped(Cat({Str("Date"), BE32(3), Bytes{0x00, 0x20}, Str("abc")}), 0x0300,
                      TRawFrame::TKind::InvalidID);
    EXPECT_NE(grouped.CarryProblem(0x0400), "");
    TMemoryStream refused;
    EXPECT_THROW(grouped.SaveToStream(refused, 0x0400), EID3LibFrameVersionMismatch);
    EXPECT_EQ(grouped.CarryProblem(0x0300), "");
}

}  // namespace
}  // namespace covrilo
