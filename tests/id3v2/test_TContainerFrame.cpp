// SPDX-License-Identifier: MIT
// Chapter frames carry frames of their own in their version's layout: in another version
// every sub-frame is written in that version's layout; in the same one an unchanged chapter
// is written as it was read.
#include <gtest/gtest.h>

#include "ID3v2ClassTestUtil.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TCHAPFrame.h"
#include "id3v2/frames/TCTOCFrame.h"
#include "id3v2/frames/TTxxxFrame.h"

namespace covrilo {
namespace {

using namespace test;

Bytes Chapter(std::string_view Element, const Bytes& SubFrames) {
    return Cat(
        {Str(Element), Bytes{0}, BE32(1000), BE32(2000), BE32(0xFFFFFFFF), BE32(0xFFFFFFFF), SubFrames});
}

// A sub-frame of more than 127 bytes: its size reads differently in 2.3 and 2.4.
Bytes BigPicture() { return Cat({Bytes{0}, Str("image/jpeg"), Bytes{0, 3, 0}, Bytes(200, 0x77)}); }

TEST(TContainerFrame, ChaptersMoveBetweenVersionsWithTheirFrames) {
    for (const uint8_t major : {3, 4}) {
        SCOPED_TRACE(int(major));
        auto frame = [major](std::string_view ID, const Bytes& Content) {
            return major == 3 ? Frame23(ID, Content) : Frame24(ID, Content);
        };
        const Bytes chap = frame(
            "CHAP", Chapter("ch1", Cat({frame("TIT2", Latin1Text("One")), frame("APIC", BigPicture())})));
        const Bytes ctoc =
            frame("CTOC",
                  Cat({Str("toc"), Bytes{0, 3, 1}, Str("ch1"), Bytes{0}, frame("TIT2", Latin1Text("Toc"))}));
        TempDir dir;
        const auto file = dir / "a.mp3";
        const Bytes body = Cat({ctoc, chap});
        WriteFileBytes(file, Cat({Tag(major, body, 50), Audio()}));
        {
            TID3v2Class tag(file);
            auto* toc = dynamic_cast<TCTOCFrame*>(tag.Frames(0));
            auto* chapter = dynamic_cast<TCHAPFrame*>(tag.Frames(1));
            ASSERT_NE(toc, nullptr);
            ASSERT_NE(chapter, nullptr);
            EXPECT_EQ(toc->ChildElementIDs, std::vector<std::string>{"ch1"});
            EXPECT_EQ(chapter->ElementID, "ch1");
            EXPECT_EQ(chapter->EndTime, 2000u);
            ASSERT_EQ(chapter->SubFrames.size(), 2u);
            EXPECT_EQ(chapter->SubFrames[1]->FileOffset, 10 + int64_t(ctoc.size()) + 10 + 4 + 16 + 15);
            // The same version: the chapters are written as they were read.
            ASSERT_TRUE(tag.SaveToFile(0));
            EXPECT_EQ(Slice(ReadFileBytes(file), 10, body.size()), body);
        }
        // The other version: every sub-frame in its layout, read back whole.
        const uint16_t other = major == 3 ? 0x0400 : 0x0300;
        {
            TID3v2Class tag(file);
            ASSERT_TRUE(tag.SaveToFile(other));
        }
        TID3v2Class again(file);
        EXPECT_EQ(again.Version, other);
        auto* chapter = dynamic_cast<TCHAPFrame*>(again.Frames(1));
        ASSERT_NE(chapter, nullptr);
        EXPECT_TRUE(chapter->SubFrameWalk.Complete);
        ASSERT_EQ(chapter->SubFrames.size(), 2u);
        auto* picture = dynamic_cast<TAPICFrame*>(chapter->SubFrames[1].get());
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->PictureData.Data(), Bytes(200, 0x77));
        const Bytes expectedPicture =
            other == 0x0300 ? Frame23("APIC", BigPicture()) : Frame24("APIC", BigPicture());
        const Bytes saved = ReadFileBytes(file);
        EXPECT_NE(std::search(saved.begin(), saved.end(), expectedPicture.begin(), expectedPicture.end()),
                  saved.end());
    }
}

// Sub-frames that cannot all be read: the chapter is kept as read in its version, and moving
// it into another is refused.
TEST(TContainerFrame, UnreadableSubFramesKeepTheChapterInItsVersion) {
    const Bytes chap =
        Frame23("CHAP", Chapter("ch1", Cat({Frame23("TIT2", Latin1Text("One")), Str("junk!")})));
    TempDir dir;
    const auto file = dir / "a.mp3";
    const Bytes original = Cat({Tag(3, chap, 50), Audio()});
    WriteFileBytes(file, original);
    TID3v2Class tag(file);
    auto* chapter = dynamic_cast<TCHAPFrame*>(tag.Frames(0));
    ASSERT_NE(chapter, nullptr);
    EXPECT_FALSE(chapter->SubFrameWalk.Complete);
    EXPECT_THROW(tag.SaveToFile(0x0400), EID3LibSaveRefused);
    EXPECT_EQ(ReadFileBytes(file), original);
    ASSERT_TRUE(tag.SaveToFile(0x0300));
    EXPECT_EQ(Slice(ReadFileBytes(file), 10, chap.size()), chap);
}

}  // namespace
}  // namespace covrilo
