// SPDX-License-Identifier: MIT
// A frame that is not changed is written back with the content it was read with, whatever
// its bytes, wherever that content is valid; a changed frame, or one whose encoding the
// target lacks, is written from its values. Compressed frames are inflated to read them and
// stay compressed as they were.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ID3v2ClassTestUtil.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TWURLFrame.h"

namespace covrilo {
namespace {

using namespace test;

// Saves a one-frame tag in Target and gives the frame's bytes as written.
Bytes SavedFrame(const Bytes& Frame, uint8_t Major, uint16_t Target) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, Cat({Tag(Major, Frame, 50), Audio()}));
    TID3v2Class tag(file);
    EXPECT_TRUE(tag.FrameWalk.Complete);
    EXPECT_TRUE(tag.SaveToFile(Target));
    const Bytes saved = ReadFileBytes(file);
    const uint32_t size = MajorVersion(Target) == 4
                              ? (saved[14] << 21 | saved[15] << 14 | saved[16] << 7 | saved[17])
                              : (saved[14] << 24 | saved[15] << 16 | saved[16] << 8 | saved[17]);
    return Slice(saved, 10, 10 + size);
}

// Contents that reading and writing again from the values would change: they stay as read.
TEST(FrameContentAsRead, UnchangedFramesKeepTheirBytes) {
    struct Case {
        const char* Name;
        std::string ID;
        Bytes Content;
    };
    const Case cases[] = {
        {"UTF-16 without byte-order mark", "TIT2", Bytes{1, 'T', 0, 'i', 0, 0, 0}},
        {"text without terminator", "TALB", Bytes{0, 'A', 'l', 'b'}},
        {"text with two terminators", "TPE1", Bytes{0, 'A', 0, 0}},
        {"comment with bytes after its text", "COMM",
         Cat({Bytes{0}, Str("eng"), Bytes{0}, Str("text"), Bytes{0, 0xAA, 0xBB}})},
        {"comment with a doubled description terminator", "COMM",
         Cat({Bytes{1}, Str("eng"), Bytes{0xFF, 0xFE, 0, 0, 0, 0}, Bytes{0xFF, 0xFE, 'x', 0, 0, 0}})},
        {"link without terminator, then junk", "WOAR", Str("http://a/\0zz")},
        {"user link without URL terminator", "WXXX", Cat({Bytes{0}, Bytes{0}, Str("http://b/")})},
        {"private frame whose owner has no terminator", "PRIV", Str("owner-only")},
        {"picture with an empty MIME type", "APIC",
         Cat({Bytes{0}, Bytes{0}, Bytes{3}, Bytes{0}, Bytes{0xFF, 0xD8, 1, 2}})},
        {"text in an encoding that is none", "TCOM", Bytes{7, 'x', 'y'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const uint8_t major : {3, 4}) {
            const Bytes frame = major == 3 ? Frame23(c.ID, c.Content) : Frame24(c.ID, c.Content);
            EXPECT_EQ(SavedFrame(frame, major, 0), frame) << "2." << int(major);
        }
        // From 2.3 into 2.4 the content is valid as it stands.
        EXPECT_EQ(SavedFrame(Frame23(c.ID, c.Content), 3, 0x0400), Frame24(c.ID, c.Content));
    }
}

// A UTF-8 frame saved as 2.3 is written from its values (UTF-16); one in ISO-8859-1 or
// UTF-16 keeps its bytes in both directions.
TEST(FrameContentAsRead, BetweenVersionsOnlyTheEncodingDecides) {
    const Bytes latin = Frame24("TIT2", Latin1Text("Caf\xE9"));
    EXPECT_EQ(SavedFrame(latin, 4, 0x0300), Frame23("TIT2", Latin1Text("Caf\xE9")));
    const Bytes utf8 = Frame24("TIT2", Bytes{3, 'C', 'a', 'f', 0xC3, 0xA9, 0});
    EXPECT_EQ(SavedFrame(utf8, 4, 0x0300),
              Frame23("TIT2", Bytes{1, 0xFF, 0xFE, 'C', 0, 'a', 0, 'f', 0, 0xE9, 0, 0, 0}));
    EXPECT_EQ(SavedFrame(utf8, 4, 0x0400), utf8);
}

// UTF-8 that is not well-formed would come out of a re-encoding as U+FFFD: such a frame stays
// in its version, and a move into 2.3 is refused.
TEST(FrameContentAsRead, MalformedUtf8IsNotReencoded) {
    const Bytes frame = Frame24("TIT2", Bytes{3, 'a', 0xC3, 0x28, 0});
    EXPECT_EQ(SavedFrame(frame, 4, 0), frame);
    TempDir dir;
    const auto file = dir / "a.mp3";
    const Bytes original = Cat({Tag(4, frame, 50), Audio()});
    WriteFileBytes(file, original);
    TID3v2Class tag(file);
    EXPECT_NE(tag.Frames(0)->CarryProblem(0x0300).find("not valid UTF-8"), std::string::npos);
    EXPECT_THROW(tag.SaveToFile(0x0300), EID3LibSaveRefused);
    EXPECT_EQ(ReadFileBytes(file), original);
}

// "LNK" (2.2) names a frame in three letters where "LINK" (2.3) uses four; "CRM" and "ENCR"
// hold different fields. Carried as they are, they would mean another thing: refused.
TEST(FrameContentAsRead, FramesLaidOutDifferentlyInTwoTwoAreNotMoved) {
    for (const char* id : {"LNK", "CRM"}) {
        SCOPED_TRACE(id);
        TempDir dir;
        const auto file = dir / "a.mp3";
        const Bytes original =
            Cat({Tag(2, Cat({Frame22("TT2", Latin1Text("T")), Frame22(id, Str("TT2http://x/\0"))}), 50),
                 Audio()});
        WriteFileBytes(file, original);
        TID3v2Class tag(file);
        EXPECT_NE(tag.Frames(1)->CarryProblem(0x0300).find("laid out differently"), std::string::npos);
        EXPECT_THROW(tag.SaveToFile(0x0300), EID3LibSaveRefused);
        EXPECT_EQ(ReadFileBytes(file), original);
    }
}

TEST(FrameContentAsRead, AChangedFrameIsWrittenFromItsValues) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, Cat({Tag(3, Frame23("TALB", Bytes{0, 'A', 'l', 'b'}), 50), Audio()}));
    {
        TID3v2Class tag(file);
        auto* album = dynamic_cast<TTxxxFrame*>(tag.Frames(0));
        ASSERT_NE(album, nullptr);
        album->SetText(u"New");
        ASSERT_TRUE(tag.SaveToFile(0));
    }
    EXPECT_EQ(Slice(ReadFileBytes(file), 10, 15), Frame23("TALB", Latin1Text("New")));
}

// Compressed (zlib) frames are read through their inflation; unchanged they stay as stored,
// in 2.3 and 2.4 alike; 2.2, which cannot mark them, gets them plain.
TEST(FrameContentAsRead, CompressedFramesAreReadAndStayStored) {
    const Bytes content = Latin1Text("A compressed title");
    const Bytes packed = Deflate(content);
    const Bytes frame23 = Cat({Str("TIT2"), BE32(static_cast<uint32_t>(4 + packed.size())), Bytes{0x00, 0x80},
                               BE32(static_cast<uint32_t>(content.size())), packed});
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, Cat({Tag(3, frame23, 50), Audio()}));
    {
        TID3v2Class tag(file);
        auto* title = dynamic_cast<TTxxxFrame*>(tag.Frames(0));
        ASSERT_NE(title, nullptr);
        EXPECT_TRUE(title->ContentReadable());
        EXPECT_EQ(title->Text, u"A compressed title");
    }
    EXPECT_EQ(SavedFrame(frame23, 3, 0), frame23);
    EXPECT_EQ(SavedFrame(frame23, 3, 0x0400),
              Cat({Str("TIT2"), Syncsafe(static_cast<uint32_t>(4 + packed.size())), Bytes{0x00, 0x09},
                   Syncsafe(static_cast<uint32_t>(content.size())), packed}));
    {
        TID3v2Class tag(file);
        ASSERT_TRUE(tag.SaveToFile(0x0200));
        EXPECT_EQ(Slice(ReadFileBytes(file), 10, 6 + content.size()), Frame22("TT2", content));
    }

    // A picture: its type is read, its bytes stay stored.
    const Bytes picture = Cat({Bytes{0}, Str("image/png"), Bytes{0}, Bytes{4}, Bytes{0}, Bytes(200, 0x5A)});
    const Bytes packedPicture = Deflate(picture);
    const Bytes apic =
        Cat({Str("APIC"), Syncsafe(static_cast<uint32_t>(4 + packedPicture.size())), Bytes{0x00, 0x09},
             Syncsafe(static_cast<uint32_t>(picture.size())), packedPicture});
    WriteFileBytes(file, Cat({Tag(4, apic, 50), Audio()}));
    {
        TID3v2Class tag(file);
        auto* p = dynamic_cast<TAPICFrame*>(tag.Frames(0));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->PictureType, 4);
        EXPECT_EQ(p->MIMEType, "image/png");
        EXPECT_EQ(p->PictureData.Data(), Bytes(200, 0x5A));
    }
    EXPECT_EQ(SavedFrame(apic, 4, 0), apic);
}

// Content that does not inflate (or is encrypted) cannot be read: such a frame is written as
// stored where that is possible, and a save that would need its values is refused.
TEST(FrameContentAsRead, UnreadableContentIsKeptOrRefused) {
    const Bytes junk = {0x78, 0x9C, 1, 2, 3, 4, 5};
    const Bytes frame =
        Cat({Str("TIT2"), BE32(4 + static_cast<uint32_t>(junk.size())), Bytes{0x00, 0x80}, BE32(40), junk});
    TempDir dir;
    const auto file = dir / "a.mp3";
    const Bytes original = Cat({Tag(3, frame, 50), Audio()});
    WriteFileBytes(file, original);
    TID3v2Class tag(file);
    EXPECT_FALSE(tag.Frames(0)->ContentReadable());
    EXPECT_EQ(tag.Frames(0)->CarryProblem(0x0400), "");
    EXPECT_NE(tag.Frames(0)->CarryProblem(0x0200).find("cannot be inflated"), std::string::npos);
    EXPECT_THROW(tag.SaveToFile(0x0200), EID3LibSaveRefused);
    EXPECT_EQ(ReadFileBytes(file), original);
    EXPECT_EQ(SavedFrame(frame, 3, 0x0400).size(), frame.size());
}

// A frame's own unsynchronisation (2.4) is undone on reading; the frame is written plain.
TEST(FrameContentAsRead, UnsynchronisedFramesAreWrittenPlain) {
    const Bytes frame =
        Cat({Str("TPE1"), Syncsafe(6), Bytes{0x00, 0x02}, Bytes{0, 0xFF, 0x00, 0xE0, 'a', 0}});
    EXPECT_EQ(SavedFrame(frame, 4, 0), Frame24("TPE1", Bytes{0, 0xFF, 0xE0, 'a', 0}));
}

}  // namespace
}  // namespace covrilo
