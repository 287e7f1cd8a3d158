// SPDX-License-Identifier: MIT
// Saving: target version, in place or rewrite with its padding, tag removal, the ID3v1
// record, extended headers, refusals, and what a rewrite does to the file system.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ID3v2ClassTestUtil.h"
#include "id3v1/ID3v1Types.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TTxxxFrame.h"

namespace covrilo {
namespace {

using namespace test;
namespace fs = std::filesystem;

// An unknown frame of exactly Content bytes: 2.3 frame size 10 + Content, kept as read.
Bytes Opaque23(size_t Content) {
    Bytes data(Content);
    for (size_t i = 0; i < Content; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    return Frame23("ZZZZ", data);
}

std::unique_ptr<TTxxxFrame> Text(const std::string& ID, const std::u16string& Value,
                                 TTextEncoding Encoding = teISO8859_1) {
    auto frame = std::make_unique<TTxxxFrame>();
    frame->SetFrameID(ID);
    frame->Encoding = Encoding;
    frame->SetText(Value);
    return frame;
}

std::vector<fs::path> Leftovers(const fs::path& Dir) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(Dir))
        if (entry.path().string().find(".$$$") != std::string::npos) found.push_back(entry.path());
    return found;
}

uint32_t HeaderSize(const Bytes& File) {
    return static_cast<uint32_t>(File.at(6)) << 21 | static_cast<uint32_t>(File.at(7)) << 14 |
           static_cast<uint32_t>(File.at(8)) << 7 | File.at(9);
}

std::vector<std::string> Ids(const TID3v2Class& Tag) {
    std::vector<std::string> ids;
    for (int i = 0; i < Tag.FrameCount(); ++i) ids.push_back(Tag.Frames(i)->FrameID());
    return ids;
}

TEST(ID3v2ClassSave, TargetVersion) {
    struct Case {
        const char* Name;
        Bytes File;
        uint16_t Requested, Expected;
    };
    const Bytes title22 = Frame22("TT2", Latin1Text("T"));
    const Bytes title23 = Frame23("TIT2", Latin1Text("T"));
    const Bytes title24 = Frame24("TIT2", Latin1Text("T"));
    const Case cases[] = {
        {"v22_with_0_becomes_v23", Tag(2, title22, 20), 0, 0x0300},
        {"v23_with_0_stays", Tag(3, title23, 20), 0, 0x0300},
        {"v24_with_0_stays", Tag(4, title24, 20), 0, 0x0400},
        {"v24_revision_dropped",
         Cat({Str("ID3"), Bytes{4, 2, 0}, Syncsafe(30), title24, Bytes(30 - title24.size(), 0)}), 0, 0x0400},
        {"v23_to_v24", Tag(3, title23, 20), 0x0400, 0x0400},
        {"v24_to_v22", Tag(4, title24, 20), 0x0200, 0x0200},
        {"revision_of_request_ignored", Tag(3, title23, 20), 0x0307, 0x0300},
        {"no_tag_gets_v23", {}, 0, 0x0300},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto file = dir / "a.mp3";
        WriteFileBytes(file, Cat({c.File, Audio()}));
        {
            TID3v2Class tag(file);
            if (c.File.empty()) tag.AddFrame(Text("TIT2", u"T"));
            ASSERT_TRUE(tag.SaveToFile(c.Requested)) << c.Name;
            EXPECT_EQ(tag.Version, c.Expected) << c.Name;
        }
        const Bytes saved = ReadFileBytes(file);
        EXPECT_EQ(saved[3], c.Expected >> 8) << c.Name;
        EXPECT_EQ(saved[4], 0) << c.Name;
        TID3v2Class again(file);
        EXPECT_EQ(again.Version, c.Expected) << c.Name;
        ASSERT_EQ(again.FrameCount(), 1) << c.Name;
        EXPECT_EQ(dynamic_cast<TTxxxFrame*>(again.Frames(0))->Text, u"T") << c.Name;
        EXPECT_EQ(Slice(saved, again.TagSize + 10), Audio()) << c.Name;
    }
}

TEST(ID3v2ClassSave, UnsupportedVersionsAreRefusedUntouched) {
    struct Case {
        Bytes Head;
        uint16_t Requested;
        const char* Message;
    };
    const Case cases[] = {
        {Tag(3, Frame23("TIT2", Latin1Text("T")), 10), 0x0500, "Can not save ID3v2.5.0!"},
        {Tag(3, Frame23("TIT2", Latin1Text("T")), 10), 0x0100, "Can not save ID3v2.1.0!"},
        {Tag(3, Frame23("TIT2", Latin1Text("T")), 10), 0x0601, "Can not save ID3v2.6.1!"},
        {Cat({Str("ID3"), Bytes{5, 0, 0}, Syncsafe(10), Bytes(10, 0)}), 0, "Can not save ID3v2.5.0!"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto file = dir / "a.mp3";
        const Bytes original = Cat({c.Head, Audio()});
        WriteFileBytes(file, original);
        TID3v2Class tag(file);
        try {
            tag.SaveToFile(c.Requested);
            ADD_FAILURE() << "saved " << c.Requested;
        } catch (const EID3LibFrameVersionMismatch& e) {
            EXPECT_STREQ(e.what(), c.Message);
        }
        EXPECT_EQ(ReadFileBytes(file), original);
    }
}

// One opaque frame of Content bytes and Padding zero bytes; saving unchanged with 0 shows
// the choice between in place (old TagSize kept, file size kept) and a rewrite.
TEST(ID3v2ClassSave, InPlaceOrRewriteAndPadding) {
    struct Case {
        size_t Content, Padding;
        bool InPlace;
        uint32_t NewTagSize;
    };
    const Case cases[] = {
        {100, 0, true, 110},      // exactly full
        {100, 2000, true, 2110},  // reuses the old padding
        {100, 4096, true, 4206},  // 4096 spare bytes are still fine
        {100, 4097, false, 256},  // one more rewrites with 1..256 bytes of padding
        {502, 5000, false, 768},  // a frame total of 512 gives 768, never 512
        {245, 5000, false, 256},  // 255 -> 256
        {246, 5000, false, 512},  // 256 -> 512
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto file = dir / "a.mp3";
        const Bytes frame = Opaque23(c.Content);
        const Bytes original = Cat({Tag(3, frame, c.Padding), Audio()});
        WriteFileBytes(file, original);
        TID3v2Class tag(file);
        ASSERT_TRUE(tag.SaveToFile(0));
        EXPECT_EQ(tag.TagSize, c.NewTagSize) << c.Content << "/" << c.Padding;
        const Bytes saved = ReadFileBytes(file);
        EXPECT_EQ(HeaderSize(saved), c.NewTagSize);
        if (c.InPlace) {
            EXPECT_EQ(saved, original) << "an unchanged tag saved in place is byte-identical";
        }
        EXPECT_EQ(Slice(saved, 10, frame.size()), frame);
        EXPECT_EQ(Slice(saved, 10 + frame.size(), c.NewTagSize - frame.size()),
                  Bytes(c.NewTagSize - frame.size(), 0));
        EXPECT_EQ(Slice(saved, c.NewTagSize + 10), Audio());
        EXPECT_TRUE(Leftovers(dir.Path()).empty());
    }
}

TEST(ID3v2ClassSave, GrowingAndShrinkingTheTag) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    const Bytes small = Frame23("TIT2", Latin1Text("Title"));
    WriteFileBytes(file, Cat({Tag(3, small, 2000), Audio()}));
    const size_t size = ReadFileBytes(file).size();

    // A small frame fits the padding: written in place, the file keeps its size.
    {
        TID3v2Class tag(file);
        tag.AddFrame(Text("TALB", u"Album"));
        ASSERT_TRUE(tag.SaveToFile(0));
        EXPECT_EQ(tag.TagSize, small.size() + 2000);
    }
    EXPECT_EQ(ReadFileBytes(file).size(), size);
    const Bytes album = Frame23("TALB", Latin1Text("Album"));
    EXPECT_EQ(Slice(ReadFileBytes(file), 10 + small.size(), album.size()), album);

    // 100 kB more does not fit: rewritten, padding 1..256.
    const std::u16string big(100000, u'b');
    {
        TID3v2Class tag(file);
        tag.AddFrame(Text("TXXX", big));
        ASSERT_TRUE(tag.SaveToFile(0));
        const uint64_t frames = small.size() + album.size() + 10 + 1 + big.size() + 1;
        EXPECT_EQ(tag.TagSize, (frames / 256 + 1) * 256);
    }
    Bytes saved = ReadFileBytes(file);
    EXPECT_EQ(Slice(saved, HeaderSize(saved) + 10), Audio());

    // Dropping the big frame leaves more than 4096 bytes spare: rewritten small again.
    {
        TID3v2Class tag(file);
        ASSERT_EQ(tag.FrameCount(), 3);
        tag.DeleteFrame(2);
        ASSERT_TRUE(tag.SaveToFile(0));
        EXPECT_EQ(tag.TagSize, 256u);
        EXPECT_EQ(tag.FrameCount(), 2) << "deleted entries leave the list";
    }
    saved = ReadFileBytes(file);
    EXPECT_EQ(saved.size(), 10 + 256 + Audio().size());
    EXPECT_EQ(Slice(saved, 266), Audio());
}

// The old bytes with the plan's edits applied.
Bytes Applied(const Bytes& Old, const std::vector<TSplice>& Edits) {
    Bytes out;
    size_t at = 0;
    for (const TSplice& edit : Edits) {
        out.insert(out.end(), Old.begin() + static_cast<long>(at), Old.begin() + edit.Offset);
        out.insert(out.end(), edit.Bytes.begin(), edit.Bytes.end());
        at = static_cast<size_t>(edit.Offset + edit.Length);
    }
    out.insert(out.end(), Old.begin() + static_cast<long>(at), Old.end());
    return out;
}

// A dry run and the save ask the same function: what PlanSave says is what SaveToFile then
// does, byte for byte, in place or by rewrite, and PlanSave alone writes nothing.
TEST(ID3v2ClassSave, PlanSaveWritesNothingAndIsWhatTheSaveDoes) {
    const Bytes title = Frame23("TIT2", Latin1Text("Title"));
    const Bytes footer24 =
        Cat({Str("3DI"), Bytes{4, 0, 0x10}, Syncsafe(static_cast<uint32_t>(title.size() + 20))});
    struct Case {
        const char* Name;
        Bytes Original;
        std::function<void(TID3v2Class&)> Change;
        uint16_t Version;
        bool Rewrite;
    };
    auto none = [](TID3v2Class&) {};
    auto addAlbum = [](TID3v2Class& Tag) { Tag.AddFrame(Text("TALB", u"Album")); };
    const Case cases[] = {
        {"an unchanged tag", Cat({Tag(3, title, 2000), Audio()}), none, 0, false},
        {"a frame that fits the padding", Cat({Tag(3, title, 2000), Audio()}), addAlbum, 0, false},
        {"a frame that does not", Cat({Tag(3, title, 0), Audio(), Record("v1")}), addAlbum, 0, true},
        {"too much room left", Cat({Tag(3, Opaque23(100), 4097), Audio()}), none, 0, true},
        {"a new tag", Cat({Audio(), Record("v1")}), addAlbum, 0, true},
        {"the tag removed", Cat({Tag(3, title, 30), Audio(), Record("v1")}),
         [](TID3v2Class& Tag) { Tag.RemoveTag = true; }, 0, true},
        {"an old footer", Cat({Tag(4, Frame24("TIT2", Latin1Text("T")), 20, 0x10), footer24, Audio()}), none,
         0x0300, true},
        {"another version, in place", Cat({Tag(3, title, 500), Audio()}), none, 0x0400, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const auto file = dir / "a.mp3";
        WriteFileBytes(file, c.Original);
        TID3v2SavePlan plan;
        {
            TID3v2Class tag(file);
            c.Change(tag);
            TUnicodeFileStream stream(file, fmOpenRead | fmShareDenyWrite);
            plan = tag.PlanSave(c.Version, stream);
        }
        EXPECT_EQ(ReadFileBytes(file), c.Original) << "planning wrote";
        EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(dir.Path()), fs::directory_iterator()),
                  std::vector<fs::path>{file});
        EXPECT_EQ(plan.Rewrite, c.Rewrite);

        TID3v2Class tag(file);
        c.Change(tag);
        ASSERT_TRUE(tag.SaveToFile(c.Version));
        EXPECT_EQ(tag.Rewritten, plan.Rewrite);
        EXPECT_EQ(tag.TagSize, plan.TagSize);
        EXPECT_EQ(ReadFileBytes(file), Applied(c.Original, plan.Edits));
    }
}

TEST(ID3v2ClassSave, RemovingEveryFrameRemovesTheTag) {
    const Bytes original =
        Cat({Tag(3, Cat({Frame23("TIT2", Latin1Text("T")), Opaque23(40)}), 300), Audio(), Record("v1")});
    for (const bool viaRemoveTag : {false, true}) {
        TempDir dir;
        const auto file = dir / "a.mp3";
        WriteFileBytes(file, original);
        TID3v2Class tag(file);
        ASSERT_EQ(tag.FrameCount(), 3);
        if (viaRemoveTag)
            tag.RemoveTag = true;
        else
            for (int i = 1; i < tag.FrameCount(); ++i) tag.DeleteFrame(i);
        ASSERT_TRUE(tag.SaveToFile(0));
        EXPECT_FALSE(tag.TagExists);
        EXPECT_EQ(tag.TagSize, 0u);
        EXPECT_EQ(Ids(tag), std::vector<std::string>{"TAG"});
        EXPECT_EQ(ReadFileBytes(file), Cat({Audio(), Record("v1")}));
    }
}

// The footer after a 2.4 tag goes with the old tag: saved as another version or with the tag
// removed, nothing of it may stay in front of the audio.
TEST(ID3v2ClassSave, TheFooterOfAnOldTagGoesWithIt) {
    const Bytes body = Frame24("TIT2", Latin1Text("T"));
    const Bytes footer =
        Cat({Str("3DI"), Bytes{4, 0, 0x10}, Syncsafe(static_cast<uint32_t>(body.size() + 20))});
    const Bytes original = Cat({Tag(4, body, 20, 0x10), footer, Audio(), Record("v1")});
    struct Case {
        const char* Name;
        uint16_t Version;
        bool RemoveTag;
    };
    for (const Case& c :
         {Case{"to_v23", 0x0300, false}, Case{"to_v22", 0x0200, false}, Case{"removed", 0, true}}) {
        TempDir dir;
        const auto file = dir / "a.mp3";
        WriteFileBytes(file, original);
        TID3v2Class tag(file);
        tag.RemoveTag = c.RemoveTag;
        ASSERT_TRUE(tag.SaveToFile(c.Version)) << c.Name;
        const Bytes saved = ReadFileBytes(file);
        const size_t audioAt = c.RemoveTag ? 0 : tag.TagSize + 10;
        EXPECT_EQ(Slice(saved, audioAt), Cat({Audio(), Record("v1")})) << c.Name;
        TID3v2Class again(file);
        const std::vector<std::string> expected =
            c.RemoveTag ? std::vector<std::string>{"TAG"} : std::vector<std::string>{"TAG", "TIT2"};
        EXPECT_EQ(Ids(again), expected) << c.Name;
    }
}

TEST(ID3v2ClassSave, NoTagAndNothingToWriteKeepsTheBytes) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    const Bytes original = Cat({Audio(), Record("v1", 3, 5)});
    WriteFileBytes(file, original);
    TID3v2Class tag(file);
    ASSERT_TRUE(tag.SaveToFile(0));
    EXPECT_EQ(ReadFileBytes(file), original);
    EXPECT_FALSE(tag.TagExists);
}

// The ID3v1 entry is handled at the end of whatever was written: kept, changed, added or cut.
TEST(ID3v2ClassSave, ID3v1RecordAtTheEnd) {
    enum class Action { Keep, Retitle, Delete, Add };
    struct Case {
        const char* Name;
        bool HasRecord;
        size_t Padding;  // 100: in place; 5000: rewrite
        Action What;
        Bytes Tail;  // what follows the audio
    };
    const Case cases[] = {
        {"rewrite_keeps", true, 5000, Action::Keep, Record("old")},
        {"in_place_keeps", true, 100, Action::Keep, Record("old")},
        {"rewrite_writes_change", true, 5000, Action::Retitle, Record("new")},
        {"in_place_writes_change", true, 100, Action::Retitle, Record("new")},
        {"rewrite_deletes", true, 5000, Action::Delete, {}},
        {"in_place_deletes", true, 100, Action::Delete, {}},
        {"added_is_appended", false, 100, Action::Add, Record("new")},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto file = dir / "a.mp3";
        const Bytes head = Tag(3, Frame23("TIT2", Latin1Text("T")), c.Padding);
        WriteFileBytes(file, Cat({head, Audio(), c.HasRecord ? Record("old") : Bytes{}}));
        TID3v2Class tag(file);
        ASSERT_EQ(tag.HasID3v1, c.HasRecord);
        TID3v1Tag* record = c.HasRecord ? dynamic_cast<TID3v1Tag*>(tag.Frames(0)) : nullptr;
        switch (c.What) {
            case Action::Keep:
                break;
            case Action::Retitle:
                record->SetTitle("new");
                break;
            case Action::Delete:
                tag.DeleteFrame(0);
                break;
            case Action::Add: {
                auto added = std::make_unique<TID3v1Tag>();
                added->SetTitle("new");
                added->SetTrackNo(1);
                added->SetGenre(17);
                tag.AddFrame(std::move(added));
                break;
            }
        }
        ASSERT_TRUE(tag.SaveToFile(0)) << c.Name;
        const Bytes saved = ReadFileBytes(file);
        const size_t audioStart = tag.TagSize + 10;
        EXPECT_EQ(Slice(saved, audioStart), Cat({Audio(), c.Tail})) << c.Name;
        EXPECT_EQ(tag.HasID3v1, !c.Tail.empty()) << c.Name;
    }
}

// The extended header is rewritten in the target's layout: the 2.4 CRC is computed over the
// frames written and the padding, what the target cannot say is left out. A 2.3 extended
// header is not written at all: it holds only the padding size and a CRC, and TagLib misreads
// every 2.3 tag that has one. Copied as it stood, a 2.3 header under a 2.4 tag (or a stale
// CRC) made readers reject the tag.
TEST(ID3v2ClassSave, ExtendedHeaderRewrittenForTheTarget) {
    struct Case {
        const char* Name;
        uint8_t Major;
        Bytes Extended;  // size field and content, as the file holds it
        uint16_t Target;
        size_t Padding;
        Bytes Expected;  // the start of the extended header written; empty: none
        bool Crc;
    };
    const Bytes crc24 = Cat({Syncsafe(12), Bytes{1, 0x20, 5, 1, 2, 3, 4, 5}});
    const Bytes crc23 = Cat({BE32(10), Bytes{0x80, 0, 0, 0, 0, 9, 1, 2, 3, 4}});
    const Bytes plain23 = Cat({BE32(6), Bytes{0, 0, 0, 0, 0, 9}});
    const Case cases[] = {
        {"2.3 in place", 3, plain23, 0, 100, {}, false},
        {"2.3 rewritten", 3, plain23, 0, 9000, {}, false},
        {"2.3 with CRC", 3, crc23, 0, 100, {}, false},
        {"2.4 CRC recomputed in place", 4, crc24, 0, 100, Cat({Syncsafe(12), Bytes{1, 0x20, 5}}), true},
        {"2.4 CRC recomputed on a rewrite", 4, crc24, 0, 9000, Cat({Syncsafe(12), Bytes{1, 0x20, 5}}), true},
        {"2.4 CRC to 2.3", 4, crc24, 0x0300, 100, {}, false},
        {"2.3 CRC to 2.4", 3, crc23, 0x0400, 100, Cat({Syncsafe(12), Bytes{1, 0x20, 5}}), true},
        {"2.4 update and restrictions kept", 4, Cat({Syncsafe(9), Bytes{1, 0x50, 0, 1, 0x33}}), 0, 100,
         Cat({Syncsafe(9), Bytes{1, 0x50, 0, 1, 0x33}}), false},
        {"2.3 without CRC says nothing in 2.4", 3, plain23, 0x0400, 100, {}, false},
        {"2.2 has no extended header", 3, plain23, 0x0200, 9000, {}, false},
        // An extended header that cannot be read is copied in its own version only.
        {"unreadable 2.4 kept as it stands", 4, Cat({Syncsafe(10), Bytes{0, 0, 0, 0, 0, 9}}), 0, 100,
         Cat({Syncsafe(10), Bytes{0, 0, 0, 0, 0, 9}}), false},
        {"unreadable 2.4 dropped in 2.3",
         4,
         Cat({Syncsafe(10), Bytes{0, 0, 0, 0, 0, 9}}),
         0x0300,
         100,
         {},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const auto file = dir / "a.mp3";
        const Bytes frame =
            c.Major == 3 ? Frame23("TIT2", Latin1Text("T")) : Frame24("TIT2", Latin1Text("T"));
        WriteFileBytes(file, Cat({Tag(c.Major, Cat({c.Extended, frame}), c.Padding, 0x40), Audio()}));
        {
            TID3v2Class tag(file);
            ASSERT_EQ(tag.TagFlags, tfExtendedHeader);
            ASSERT_TRUE(tag.SaveToFile(c.Target));
        }
        const Bytes saved = ReadFileBytes(file);
        TID3v2Class again(file);
        EXPECT_EQ(Ids(again), std::vector<std::string>{"TIT2"});
        EXPECT_EQ(Slice(saved, again.TagSize + 10), Audio());
        if (c.Expected.empty()) {
            EXPECT_EQ(saved[5] & 0x40, 0);
            continue;
        }
        ASSERT_EQ(saved[5] & 0x40, 0x40);
        EXPECT_EQ(Slice(saved, 10, c.Expected.size()), c.Expected);
        if (!c.Crc) continue;
        // The CRC covers the frames and the padding, as 35 bits in five 7-bit bytes.
        const size_t length = 12;
        const Bytes covered = Slice(saved, 10 + length, HeaderSize(saved) - length);
        ASSERT_EQ(Slice(covered, 0, frame.size()), frame);
        const auto crc = static_cast<uint32_t>(crc32(0, covered.data(), static_cast<uInt>(covered.size())));
        EXPECT_EQ(Slice(saved, 17, 5),
                  (Bytes{static_cast<uint8_t>(crc >> 28), static_cast<uint8_t>((crc >> 21) & 0x7F),
                         static_cast<uint8_t>((crc >> 14) & 0x7F), static_cast<uint8_t>((crc >> 7) & 0x7F),
                         static_cast<uint8_t>(crc & 0x7F)}));
    }
}

// Some taggers set the extended-header flag without writing one: the first frame is not
// taken for its size (it used to swallow the frames), and the flag is not written back.
TEST(ID3v2ClassSave, StrayExtendedHeaderFlagIsDropped) {
    for (uint8_t major : {3, 4}) {
        SCOPED_TRACE(int(major));
        const Bytes body = major == 3
                               ? Cat({Frame23("TIT2", Latin1Text("Punk")), Frame23("TALB", Latin1Text("B"))})
                               : Cat({Frame24("TIT2", Latin1Text("Punk")), Frame24("TALB", Latin1Text("B"))});
        TempDir dir;
        const auto file = dir / "a.mp3";
        WriteFileBytes(file, Cat({Tag(major, body, 100, 0x40), Audio()}));
        TID3v2Class tag(file);
        EXPECT_TRUE(tag.StrayExtendedHeaderFlag);
        EXPECT_EQ(tag.TagFlags, 0);
        EXPECT_EQ(Ids(tag), (std::vector<std::string>{"TIT2", "TALB"}));
        ASSERT_TRUE(tag.SaveToFile(0));
        const Bytes saved = ReadFileBytes(file);
        EXPECT_EQ(saved[5], 0);
        EXPECT_EQ(Slice(saved, 10, body.size()), body);
    }
}

// Refusals leave the file exactly as it was and no temporary file behind, whether the save
// had chosen to write in place or to rewrite.
TEST(ID3v2ClassSave, RefusedSavesLeaveTheFileUntouched) {
    struct Case {
        const char* Name;
        Bytes Head;
        uint16_t Version;
        std::string Prefix;  // start of the message
        std::unique_ptr<TBaseFrame> (*Add)();
    };
    auto none = +[]() -> std::unique_ptr<TBaseFrame> { return nullptr; };
    auto big = +[]() -> std::unique_ptr<TBaseFrame> { return Text("TXXX", std::u16string(9000, u'x')); };
    auto placeholder = +[]() -> std::unique_ptr<TBaseFrame> { return std::make_unique<TTxxxFrame>(); };
    auto unknownEncoding = +[]() -> std::unique_ptr<TBaseFrame> { return Text("TALB", u"a", teUnknown); };
    const Bytes title = Frame23("TIT2", Latin1Text("T"));
    const Case cases[] = {
        // What the engine cannot write is refused as such (it used to end a run as an
        // assertion failure).
        {"unsync_in_place", Tag(3, title, 100, 0x80), 0,
         "the tag is unsynchronised, which cannot be saved; the file is left unchanged", none},
        {"unsync_rewrite", Tag(3, title, 100, 0x80), 0,
         "the tag is unsynchronised, which cannot be saved; the file is left unchanged", big},
        {"footer_v24", Tag(4, Frame24("TIT2", Latin1Text("T")), 100, 0x10), 0,
         "the ID3v2.4 tag has a footer, which cannot be saved as ID3v2.4", none},
        {"compressed_v22", Tag(2, Frame22("TT2", Latin1Text("T")), 100, 0x40), 0x0200,
         "the ID3v2.2 tag is compressed, which cannot be saved", none},
        {"placeholder_in_place", Tag(3, title, 100), 0, "Invalid frame ID \"Txxx\" on save.", placeholder},
        {"placeholder_rewrite", Tag(3, title, 9000), 0, "Invalid frame ID \"Txxx\" on save.", placeholder},
        {"unknown_encoding", Tag(3, title, 100), 0, "frame \"TALB\": text encoding teUnknown is invalid!",
         unknownEncoding},
        {"no_v22_equivalent", Tag(3, Frame23("PRIV", Cat({Str("o"), Bytes{0, 1}})), 9000), 0x0200,
         "frame \"PRIV\" at offset 10 has no ID3v2.2 identifier; the file is left unchanged", none},
        {"size_past_end", Cat({Str("ID3"), Bytes{3, 0, 0}, Syncsafe(0x100000), title}), 0,
         "the tag claims 1048586 bytes, more than the file's ", none},
        // The tag area reaches into the ID3v1 record: writing either would spoil the other.
        {"tag_overlaps_id3v1", Cat({Str("ID3"), Bytes{3, 0, 0}, Syncsafe(13 + 1000 + 10), title}), 0,
         "the tag reaches into the ID3v1 record at the end of the file", none},
        {"version_2_5", Cat({Str("ID3"), Bytes{5, 0, 0}, Syncsafe(13), title}), 0x0300,
         "the file starts with an ID3v2.5 tag, which cannot be read", none},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto file = dir / "a.mp3";
        const Bytes original = Cat({c.Head, Audio(), Record("keep")});
        WriteFileBytes(file, original);
        TID3v2Class tag(file);
        if (auto frame = c.Add()) tag.AddFrame(std::move(frame));
        try {
            tag.SaveToFile(c.Version);
            ADD_FAILURE() << c.Name << ": saved";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, c.Prefix.size()), c.Prefix) << c.Name;
        }
        EXPECT_EQ(ReadFileBytes(file), original) << c.Name;
        EXPECT_TRUE(Leftovers(dir.Path()).empty()) << c.Name;
    }
}

TEST(ID3v2ClassSave, FileMappedByAnotherStreamCannotBeSaved) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    const Bytes original = Cat({Tag(3, Frame23("TIT2", Latin1Text("T")), 100), Audio()});
    WriteFileBytes(file, original);
    TID3v2Class tag(file);
    tag.AddFrame(Text("TALB", u"A"));
    TMemoryMappedFileStream reader(file, false, "", fmOpenRead | fmShareDenyWrite);
    try {
        tag.SaveToFile(0);
        ADD_FAILURE() << "saved while mapped";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + file.string() + ": locked by another program");
    }
    EXPECT_EQ(ReadFileBytes(file), original);
}

TEST(ID3v2ClassSave, TemporaryFileNaming) {
    const Bytes saved = Cat({Tag(3, Frame23("TIT2", Latin1Text("T")), 256 - 13), Audio()});
    // Files of other programs (or the user's own) under the names an older save used, and
    // a folder there, are neither deleted nor in the way.
    {
        TempDir dir;
        const auto file = dir / "song.mp3";
        WriteFileBytes(file, Cat({Tag(3, Frame23("TIT2", Latin1Text("T")), 9000), Audio()}));
        WriteFileBytes(dir / "song.$$$", Str("the user's own file"));
        WriteFileBytes(dir / "song.mp3.$$$", Str("another program's file"));
        fs::create_directory(dir / "song.mp3.covrilo-journal.$$$.d");
        TID3v2Class tag(file);
        ASSERT_TRUE(tag.SaveToFile(0));
        EXPECT_EQ(ReadFileBytes(file), saved);
        EXPECT_EQ(ReadFileBytes(dir / "song.$$$"), Str("the user's own file"));
        EXPECT_EQ(ReadFileBytes(dir / "song.mp3.$$$"), Str("another program's file"));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 4);
    }
    // A file that itself carries the temporary extension is saved like any other.
    for (const char* name : {"song.$$$", "noext"}) {
        TempDir dir;
        const auto file = dir / name;
        WriteFileBytes(file, Cat({Tag(3, Frame23("TIT2", Latin1Text("T")), 9000), Audio()}));
        TID3v2Class tag(file);
        ASSERT_TRUE(tag.SaveToFile(0)) << name;
        EXPECT_EQ(ReadFileBytes(file), saved) << name;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1) << name;
    }
}

TEST(ID3v2ClassSave, RewriteKeepsLinksAndPermissions) {
    TempDir dir;
    fs::create_directory(dir / "real");
    const auto target = dir / "real" / "song.mp3";
    const auto link = dir / "link.mp3";
    WriteFileBytes(target, Cat({Tag(3, Frame23("TIT2", Latin1Text("T")), 9000), Audio()}));
    fs::create_symlink(fs::path("real") / "song.mp3", link);
    for (const fs::perms mode : {fs::perms(0640), fs::perms(0604), fs::perms(0755)}) {
        fs::permissions(target, mode);
        TID3v2Class tag(link);
        tag.AddFrame(Text("TALB", std::u16string(5000 + static_cast<int>(mode), u'a')));
        ASSERT_TRUE(tag.SaveToFile(0));
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), fs::path("real") / "song.mp3");
        EXPECT_EQ(fs::status(target).permissions() & fs::perms::mask, mode);
        EXPECT_TRUE(Leftovers(dir.Path()).empty());
        TID3v2Class again(target);
        EXPECT_EQ(again.FrameCount(), 2);
        EXPECT_EQ(Slice(ReadFileBytes(target), again.TagSize + 10), Audio());
        again.DeleteFrame(1);
        ASSERT_TRUE(again.SaveToFile(0));
    }
}

TEST(ID3v2ClassSave, SavedObjectDescribesTheFileAndSavesAgain) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, Cat({Audio(), Record("r")}));
    TID3v2Class tag(file);
    tag.AddFrame(Text("TIT2", u"Title", teUTF16));
    tag.AddFrame(Text("TPE1", u"Artist", teUTF8));
    tag.AddFrame(Text("TALB", u"Gone"));
    tag.DeleteFrame(3);
    ASSERT_TRUE(tag.SaveToFile(0x0400));
    EXPECT_TRUE(tag.TagExists);
    EXPECT_EQ(tag.Version, 0x0400);
    EXPECT_FALSE(tag.Modified);
    EXPECT_EQ(Ids(tag), (std::vector<std::string>{"TAG", "TIT2", "TPE1"}));
    const uint32_t size = tag.TagSize;
    EXPECT_EQ(HeaderSize(ReadFileBytes(file)), size);

    // The same object saves again; now in place.
    dynamic_cast<TTxxxFrame*>(tag.Frames(1))->SetText(u"Other");
    ASSERT_TRUE(tag.SaveToFile(0));
    EXPECT_EQ(tag.TagSize, size);

    TID3v2Class again(file);
    EXPECT_EQ(Ids(again), (std::vector<std::string>{"TAG", "TIT2", "TPE1"}));
    EXPECT_EQ(dynamic_cast<TTxxxFrame*>(again.Frames(1))->Text, u"Other");
    EXPECT_EQ(dynamic_cast<TTxxxFrame*>(again.Frames(2))->Text, u"Artist");
    EXPECT_EQ(Slice(ReadFileBytes(file), size + 10), Cat({Audio(), Record("r")}));
}

TEST(ID3v2ClassSave, EmptyFileGetsATag) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, {});
    TID3v2Class tag(file);
    tag.AddFrame(Text("TIT2", u"T"));
    ASSERT_TRUE(tag.SaveToFile(0));
    EXPECT_EQ(ReadFileBytes(file), Tag(3, Frame23("TIT2", Latin1Text("T")), 256 - 13));
}

}  // namespace
}  // namespace covrilo
