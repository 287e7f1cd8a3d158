// SPDX-License-Identifier: MIT
// Loading: tag header, frame loop, ID3v1 entry, hostile input, and the inner operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ID3v2ClassTestUtil.h"
#include "id3v1/ID3v1Types.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TENCRFrame.h"
#include "id3v2/frames/TGRIDFrame.h"
#include "id3v2/frames/TPRIVFrame.h"
#include "id3v2/frames/TRawFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TUnknownFrame.h"
#include "id3v2/frames/TWURLFrame.h"
#include "id3v2/frames/TWXXXFrame.h"

namespace covrilo {
namespace {

using namespace test;

std::vector<std::string> Ids(const TID3v2Class& Tag) {
    std::vector<std::string> ids;
    for (int i = 0; i < Tag.FrameCount(); ++i) ids.push_back(Tag.Frames(i)->FrameID());
    return ids;
}

std::u16string TextOf(const TID3v2Class& Tag, int Index) {
    const auto* text = dynamic_cast<const TTxxxFrame*>(Tag.Frames(Index));
    return text ? text->Text : u"<not a text frame>";
}

struct LoadCase {
    const char* Name;
    Bytes File;
    bool TagExists;
    uint16_t Version;
    uint32_t TagSize;
    std::vector<std::string> Frames;  // FrameID of every entry, "TAG" for the ID3v1 record
};

const Bytes kTitle23 = Frame23("TIT2", Latin1Text("Title"));
const Bytes kArtist23 = Frame23("TPE1", Latin1Text("Artist"));

uint32_t Size32(const Bytes& B) { return static_cast<uint32_t>(B.size()); }

std::vector<LoadCase> LoadCases() {
    const Bytes body = Cat({kTitle23, kArtist23});
    const Bytes lowerCase = Cat({kTitle23, Frame23("TpE1", Latin1Text("x")), kArtist23});
    const Bytes title24 = Frame24("TIT2", Latin1Text("T"));
    const Bytes body22 = Cat({Frame22("TT2", Latin1Text("T")), Frame22("XYZ", Str("ab")),
                              Frame22("ABC", Str("q")), Frame22("TP1", Latin1Text("A"))});
    const Bytes shortLast22 = Cat({Frame22("TT2", Latin1Text("Title")), Frame22("TRK", Latin1Text("5"))});
    const Bytes huge =
        Cat({Frame23("TIT2", Latin1Text("T")), Str("TPE1"), BE32(0xFFFFFFFF), Bytes{0, 0}, Latin1Text("A")});
    return {
        {"empty_file", {}, false, 0, 0, {}},
        {"shorter_than_header", Str("ID3\x03"), false, 0, 0, {}},
        {"audio_only", Audio(500), false, 0, 0, {}},
        {"id3v1_only", Cat({Audio(500), Record("Old")}), false, 0, 0, {"TAG"}},
        {"lower_case_magic", Cat({Str("id3"), Bytes{3, 0, 0}, Syncsafe(30), Bytes(30, 0)}), false, 0, 0, {}},
        {"v23_padding_ends_loop",
         Cat({Tag(3, body, 2000), Audio()}),
         true,
         0x0300,
         Size32(body) + 2000,
         {"TIT2", "TPE1"}},
        {"v23_with_id3v1_first",
         Cat({Tag(3, body, 100), Audio(), Record("x")}),
         true,
         0x0300,
         Size32(body) + 100,
         {"TAG", "TIT2", "TPE1"}},
        // An identifier that is none is skipped by its size when that lands on the next
        // frame; the frame is kept byte for byte, and the walk goes on.
        {"lower_case_id_skipped_by_its_size",
         Cat({Tag(3, lowerCase, 10), Audio()}),
         true,
         0x0300,
         Size32(lowerCase) + 10,
         {"TIT2", "TpE1", "TPE1"}},
        {"v24_revision_kept",
         Cat({Str("ID3"), Bytes{4, 1, 0}, Syncsafe(Size32(title24)), title24, Audio()}),
         true,
         0x0401,
         Size32(title24),
         {"TIT2"}},
        // A 2.2 identifier without a 2.3 form is kept as it stands; the walk goes on.
        {"v22_ids_converted_unknown_kept",
         Cat({Tag(2, body22), Audio()}),
         true,
         0x0200,
         Size32(body22),
         {"TIT2", "XXYZ", "ABC", "TPE1"}},
        {"v25_no_frames",
         Cat({Str("ID3"), Bytes{5, 0, 0}, Syncsafe(Size32(kTitle23)), kTitle23, Audio()}),
         true,
         0x0500,
         Size32(kTitle23),
         {}},
        {"garbage_after_magic",
         Cat({Str("ID3"), Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, Audio(200)}),
         true,
         0xFFFF,
         0xFFu << 21 | 0xFFu << 14 | 0xFFu << 7 | 0xFFu,
         {}},
        // Size bytes with the top bit set are taken as stored, not masked.
        {"v24_size_high_bits",
         Cat({Str("ID3"), Bytes{4, 0, 0, 0, 0, 0x81, 0x00}, title24, Audio()}),
         true,
         0x0400,
         0x81u << 7,
         {"TIT2"}},
        {"size_past_end_of_file",
         Cat({Str("ID3"), Bytes{3, 0, 0}, Syncsafe(0x0FFFFFFF), kTitle23}),
         true,
         0x0300,
         0x0FFFFFFF,
         {"TIT2"}},
        // A frame that claims more than the tag holds stops the walk there (a save is then
        // refused: see BadFramesStopTheWalk).
        {"text_frame_claiming_4GiB", Cat({Tag(3, huge), Audio(100)}), true, 0x0300, Size32(huge), {"TIT2"}},
        // No padding, and the last frame starts within the final 10 bytes of the tag area.
        {"v22_short_last_frame_without_padding",
         Cat({Tag(2, shortLast22), Audio()}),
         true,
         0x0200,
         Size32(shortLast22),
         {"TIT2", "TRCK"}},
        {"size_zero_tag_has_no_frames",
         Cat({Str("ID3"), Bytes{3, 0, 0}, Syncsafe(0), kTitle23, Audio()}),
         true,
         0x0300,
         0,
         {}},
    };
}

class ID3v2ClassLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(ID3v2ClassLoad, ReadsHeaderAndFrames) {
    const LoadCase& c = GetParam();
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, c.File);
    TID3v2Class tag(file);
    EXPECT_EQ(tag.TagExists, c.TagExists);
    EXPECT_EQ(tag.Version, c.Version);
    EXPECT_EQ(tag.TagSize, c.TagSize);
    EXPECT_EQ(Ids(tag), c.Frames);
    EXPECT_EQ(tag.HasID3v1, !c.Frames.empty() && c.Frames.front() == "TAG");
    EXPECT_FALSE(tag.Modified);
    EXPECT_EQ(tag.FileName, file);
    EXPECT_EQ(tag.TempExtension, ".$$$");
    EXPECT_EQ(ReadFileBytes(file), c.File) << "loading never writes";
}

INSTANTIATE_TEST_SUITE_P(Files, ID3v2ClassLoad, ::testing::ValuesIn(LoadCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(ID3v2ClassLoad, FrameValuesAndID3v1Record) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, Cat({Tag(3,
                                  Cat({kTitle23, kArtist23,
                                       Frame23("TXXX", Cat({Latin1Text("desc"), Str("value"), Bytes{0}}))}),
                                  64),
                              Audio(), Record("Old title", 7, 9)}));
    TID3v2Class tag(file);
    ASSERT_EQ(tag.FrameCount(), 4);
    const auto* record = dynamic_cast<const TID3v1Tag*>(tag.Frames(0));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Title, "Old title");
    EXPECT_EQ(record->TrackNo, 7);
    EXPECT_EQ(record->Genre, 9);
    EXPECT_EQ(TextOf(tag, 1), u"Title");
    EXPECT_EQ(TextOf(tag, 2), u"Artist");
    EXPECT_EQ(TextOf(tag, 3), u"desc");
    EXPECT_EQ(tag.Frames(1)->FrameName, "Title");
}

TEST(ID3v2ClassLoad, ExtendedHeaders) {
    struct Case {
        uint8_t Major;
        Bytes SizeField;
        size_t Kept;        // bytes in ExtendedHeader
        size_t FirstFrame;  // offset of the first frame
    };
    const Case cases[] = {
        {3, BE32(6), 6, 10 + 4 + 6},
        {4, Syncsafe(6), 2, 10 + 6},
        {3, BE32(0), 0, 10 + 4},
        {4, Syncsafe(2), 0, 10 + 4},  // a count below its own size field copies nothing
    };
    for (const Case& c : cases) {
        const Bytes ext = {1, 2, 3, 4, 5, 6};
        const Bytes frame = c.Major == 3 ? kTitle23 : Frame24("TIT2", Latin1Text("Title"));
        Bytes body = Cat({c.SizeField, Slice(ext, 0, c.FirstFrame - 14), frame});
        TempDir dir;
        const auto file = dir / "a.mp3";
        WriteFileBytes(file, Cat({Tag(c.Major, body, 10, 0x40), Audio()}));
        TID3v2Class tag(file);
        EXPECT_EQ(tag.TagFlags, tfExtendedHeader);
        EXPECT_EQ(tag.ExtendedHeader.Data(), Slice(ext, 0, c.Kept)) << int(c.Major);
        EXPECT_EQ(Ids(tag), std::vector<std::string>{"TIT2"})
            << int(c.Major) << " first frame at " << c.FirstFrame;
    }
}

TEST(ID3v2ClassLoad, TagFlagsByVersion) {
    struct Case {
        uint8_t Major, Flags;
        TTagFlags Expected;
    };
    const Case cases[] = {
        {2, 0x80, tfUnsynchronisation},
        {2, 0x40, tfCompression},
        {2, 0x20, 0},
        {3, 0xA0, tfUnsynchronisation | tfExperimental},
        {3, 0x10, 0},
        {4, 0x10, tfFooter},
        {4, 0x20, tfExperimental},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto file = dir / "a.mp3";
        WriteFileBytes(file, Cat({Tag(c.Major, {}, 20, c.Flags), Audio()}));
        TID3v2Class tag(file);
        EXPECT_EQ(tag.TagFlags, c.Expected) << int(c.Major) << "/" << int(c.Flags);
    }
}

// What the walk cannot read no longer fails the load: the frames before it are read, the
// walk says where and why it stopped, and a save is refused with that reason.
TEST(ID3v2ClassLoad, BadFramesStopTheWalk) {
    struct Case {
        const char* Name;
        Bytes File;
        std::vector<std::string> Frames;
        int64_t StopOffset;
        const char* Reason;
    };
    const Case cases[] = {
        {"frame_past_end",
         Cat({Tag(3, Cat({kTitle23, Str("ABCD"), BE32(0xFFFFFFFF), Bytes{0, 0}, Str("xy")})), Audio(50)}),
         {"TIT2"},
         10 + static_cast<int64_t>(kTitle23.size()),
         "claims 4294967295 bytes, more than the tag holds"},
        // TPE1 claims 200 content bytes; the tag area holds only 3 of them, then audio follows.
        {"frame_running_into_the_audio",
         Cat({Tag(3, Cat({Str("TPE1"), BE32(200), Bytes{0, 0}, Bytes{0}, Str("Ab")})), Audio(300)}),
         {},
         10,
         "claims 200 bytes, more than the tag holds"},
        {"garbage_that_its_size_does_not_skip",
         Cat({Tag(3, Cat({kTitle23, Bytes{0xC2, 0xCF, 0x1A, 0x2F, 0, 0, 0, 200, 0, 0}, Str("junk")})),
              Audio()}),
         {"TIT2"},
         10 + static_cast<int64_t>(kTitle23.size()),
         "claims 200 bytes, more than the tag holds"},
        {"junk_tail_too_short_for_a_header",
         Cat({Tag(3, Cat({kTitle23, Str("junk")})), Audio()}),
         {"TIT2"},
         10 + static_cast<int64_t>(kTitle23.size()),
         "is too short for a frame header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const auto file = dir / "a.mp3";
        WriteFileBytes(file, c.File);
        TID3v2Class tag(file);
        EXPECT_EQ(Ids(tag), c.Frames);
        EXPECT_FALSE(tag.FrameWalk.Complete);
        EXPECT_EQ(tag.FrameWalk.StopOffset, c.StopOffset);
        EXPECT_EQ(tag.FrameWalk.StopReason, c.Reason);
        try {
            tag.SaveToFile(0);
            ADD_FAILURE() << "saved";
        } catch (const EID3LibSaveRefused& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("at offset " + std::to_string(c.StopOffset)), std::string::npos)
                << message;
            EXPECT_NE(message.find("the file is left unchanged"), std::string::npos) << message;
        }
        EXPECT_EQ(ReadFileBytes(file), c.File);
    }
}

// A frame whose flags announce extra header bytes that its size cannot hold is kept as it
// was read; the walk goes on with the next frame instead of reading it as those bytes.
TEST(ID3v2ClassLoad, BrokenHeadersAreKeptAndTheWalkGoesOn) {
    const Bytes brokenTenc = Cat({Str("TENC"), Syncsafe(1), Bytes{0x20, 0x01}, Bytes{0}});
    const Bytes compressedWithoutLength = Frame24("TALB", Latin1Text("A"), 0, 0x08);
    const Bytes title = Frame24("TIT2", Latin1Text("Take On Me"));
    TempDir dir;
    const auto file = dir / "a.mp3";
    const Bytes original = Cat({Tag(4, Cat({brokenTenc, compressedWithoutLength, title}), 50), Audio()});
    WriteFileBytes(file, original);
    TID3v2Class tag(file);
    EXPECT_TRUE(tag.FrameWalk.Complete);
    EXPECT_EQ(Ids(tag), (std::vector<std::string>{"TENC", "TALB", "TIT2"}));
    EXPECT_NE(dynamic_cast<TRawFrame*>(tag.Frames(0)), nullptr);
    EXPECT_NE(dynamic_cast<TRawFrame*>(tag.Frames(1)), nullptr);
    EXPECT_EQ(TextOf(tag, 2), u"Take On Me");

    // Saved in its version, each is written as it was, after the frames readers can read.
    ASSERT_TRUE(tag.SaveToFile(0));
    TID3v2Class again(file);
    EXPECT_EQ(Ids(again), (std::vector<std::string>{"TIT2", "TENC", "TALB"}));
    const Bytes saved = ReadFileBytes(file);
    EXPECT_EQ(Slice(saved, 10, title.size() + brokenTenc.size() + compressedWithoutLength.size()),
              Cat({title, brokenTenc, compressedWithoutLength}));
    // In another version their headers have no form: refused.
    EXPECT_THROW(again.SaveToFile(0x0300), EID3LibSaveRefused);
}

TEST(ID3v2ClassLoad, MissingFileRaisesOpenError) {
    TempDir dir;
    EXPECT_THROW(TID3v2Class(dir / "missing.mp3"), EFOpenError);
}

TEST(ID3v2ClassLoad, ReloadReplacesTheList) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, Cat({Tag(3, kTitle23, 10), Audio(), Record("r")}));
    TID3v2Class tag(file);
    ASSERT_EQ(tag.FrameCount(), 2);
    WriteFileBytes(file, Bytes(5, 'x'));
    tag.LoadFromFile();
    EXPECT_EQ(tag.FrameCount(), 0);
    EXPECT_FALSE(tag.TagExists);
    EXPECT_FALSE(tag.HasID3v1);
    EXPECT_EQ(tag.Version, 0);
    EXPECT_EQ(tag.TagSize, 0u);
}

TEST(ID3v2ClassList, AddDeleteAndIndexErrors) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, Cat({Tag(3, kTitle23, 10), Audio()}));
    TID3v2Class tag(file);
    EXPECT_EQ(tag.AddFrame(nullptr), -1);
    auto text = std::make_unique<TTxxxFrame>();
    text->SetFrameID("TALB");
    TBaseFrame* raw = text.get();
    EXPECT_EQ(tag.AddFrame(std::move(text)), 1);
    EXPECT_EQ(tag.Frames(1), raw);
    EXPECT_EQ(raw->FrameName, "Album");
    EXPECT_EQ(tag.DeleteFrame(0), tag.Frames(0));
    EXPECT_TRUE(tag.Frames(0)->Deleted);
    EXPECT_EQ(tag.FrameCount(), 2) << "deleted entries stay until a save";
    EXPECT_TRUE(tag.HasFrames());
    tag.DeleteFrame(1);
    EXPECT_FALSE(tag.HasFrames());
    EXPECT_THROW(tag.Frames(2), std::out_of_range);
    EXPECT_THROW(tag.Frames(-1), std::out_of_range);
    EXPECT_THROW(tag.DeleteFrame(5), std::out_of_range);
}

TEST(ID3v2ClassInner, IsValidFrameID) {
    struct Case {
        const char* ID;
        int LastIndex;
        bool Valid;
    };
    const Case cases[] = {{"TIT2", 3, true}, {"TIt2", 3, false}, {"TIT ", 3, false},     {"TIT", 3, false},
                          {"TT2", 2, true},  {"T_2x", 2, false}, {"\0\0\0\0", 3, false}, {"ZZZZ", 3, true}};
    for (const Case& c : cases)
        EXPECT_EQ(TID3v2Class::IsValidFrameID(
                      std::string_view(c.ID, std::strlen(c.ID) ? std::strlen(c.ID) : 4), c.LastIndex),
                  c.Valid)
            << c.ID;
}

TEST(ID3v2ClassInner, CreateFrameByIdentifier) {
    struct Case {
        const char* ID;
        const char* ExpectedID;
        bool (*IsClass)(const TBaseFrame*);
    };
    auto is = []<typename T>(T*) {
        return +[](const TBaseFrame* F) { return dynamic_cast<const T*>(F) != nullptr; };
    };
    const Case cases[] = {
        {"TIT2", "TIT2", is((TTxxxFrame*)nullptr)},    {"TXXX", "TXXX", is((TTxxxFrame*)nullptr)},
        {"WOAR", "WOAR", is((TWURLFrame*)nullptr)},    {"WXXX", "WXXX", is((TWXXXFrame*)nullptr)},
        {"COMM", "COMM", is((TCOMMFrame*)nullptr)},    {"APIC", "APIC", is((TAPICFrame*)nullptr)},
        {"PRIV", "PRIV", is((TPRIVFrame*)nullptr)},    {"GRID", "GRID", is((TGRIDFrame*)nullptr)},
        {"ENCR", "ENCR", is((TENCRFrame*)nullptr)},    {"MCDI", "MCDI", is((TUnknownFrame*)nullptr)},
        {"ZZZZ", "ZZZZ", is((TUnknownFrame*)nullptr)},
    };
    for (const Case& c : cases) {
        const auto frame = TID3v2Class::CreateFrame(c.ID);
        ASSERT_NE(frame, nullptr);
        EXPECT_TRUE(c.IsClass(frame.get())) << c.ID;
        EXPECT_EQ(frame->FrameID(), c.ExpectedID);
    }
}

TEST(ID3v2ClassInner, PeekFrameIDLeavesThePosition) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, Cat({Tag(3, kTitle23), Audio(20)}));
    TID3v2Class tag(file);
    struct Case {
        uint16_t Version;
        Bytes Data;
        bool Ok;
        std::string ID;
    };
    const Case cases[] = {
        {0x0300, Cat({Str("TIT2"), Bytes(6, 0)}), true, "TIT2"},
        {0x0400, Cat({Str("abcd"), Bytes(6, 0)}), true, "abcd"},  // the caller checks validity
        {0x0300, Cat({Str("TIT2"), Bytes(5, 0)}), false, ""},     // fewer than 10 bytes
        {0x0200, Cat({Str("TT2"), Bytes(3, 0)}), true, "TIT2"},
        {0x0200, Cat({Str("TT2"), Bytes(2, 0)}), false, ""},
        {0x0200, Cat({Str("QQQ"), Bytes(3, 0)}), false, ""},  // no 2.3 form
        {0x0500, Cat({Str("TIT2"), Bytes(6, 0)}), false, ""},
    };
    for (const Case& c : cases) {
        TMemoryStream stream(Cat({Bytes{9}, c.Data}));
        stream.SetPosition(1);
        std::string id;
        EXPECT_EQ(tag.PeekFrameID(stream, c.Version, id), c.Ok) << c.ID;
        if (c.Ok) {
            EXPECT_EQ(id, c.ID);
        }
        EXPECT_EQ(stream.Position(), 1);
    }
}

TEST(ID3v2ClassInner, IsFrameSupportedByVersion) {
    TempDir dir;
    const auto file = dir / "a.mp3";
    WriteFileBytes(file, Audio(20));
    TID3v2Class tag(file);
    EXPECT_TRUE(tag.IsFrameSupported("TDAT", 0x0200));
    EXPECT_TRUE(tag.IsFrameSupported("TDAT", 0x0300));
    EXPECT_FALSE(tag.IsFrameSupported("TDAT", 0x0400));
    EXPECT_FALSE(tag.IsFrameSupported("PRIV", 0x0200));
    EXPECT_TRUE(tag.IsFrameSupported("PRIV", 0x0401));
    EXPECT_TRUE(tag.IsFrameSupported("QQQQ", 0));  // any frame can be built
}

}  // namespace
}  // namespace covrilo
