// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "id3v1/ID3v1Types.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "io/EnhancedStreams.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using test::Bytes;

// A 128-byte record with the given slots; unset slots are zero.
struct RecordSpec {
    std::string Title{}, Artist{}, Album{}, Year{}, Comment{};
    int Byte125 = -1, Byte126 = -1;  // -1: leave what the comment put there
    uint8_t Genre = 0;
};

Bytes MakeRecord(const RecordSpec& S) {
    Bytes r(128, 0);
    std::memcpy(r.data(), "TAG", 3);
    auto put = [&](size_t At, size_t Width, const std::string& Text) {
        std::memcpy(r.data() + At, Text.data(), std::min(Width, Text.size()));
    };
    put(3, 30, S.Title);
    put(33, 30, S.Artist);
    put(63, 30, S.Album);
    put(93, 4, S.Year);
    put(97, 30, S.Comment);
    if (S.Byte125 >= 0) r[125] = static_cast<uint8_t>(S.Byte125);
    if (S.Byte126 >= 0) r[126] = static_cast<uint8_t>(S.Byte126);
    r[127] = S.Genre;
    return r;
}

Bytes WithAudio(const Bytes& Record, size_t AudioBytes = 300) {
    Bytes out(AudioBytes);
    for (size_t i = 0; i < AudioBytes; ++i) out[i] = static_cast<uint8_t>(0xA0 + i % 31);
    out.insert(out.end(), Record.begin(), Record.end());
    return out;
}

const std::string k30(30, 'x');

struct LoadCase {
    const char* Name;
    RecordSpec Record;
    std::string Title, Artist, Comment, Year;
    uint8_t TrackNo;
    bool IsVersion11;
};

class ID3v1Load : public ::testing::TestWithParam<LoadCase> {};

TEST_P(ID3v1Load, ReadsFieldsAndLayout) {
    const LoadCase& c = GetParam();
    TMemoryStream stream(WithAudio(MakeRecord(c.Record)));
    stream.SetPosition(17);
    TID3v1Tag tag;
    tag.Modified = true;
    ASSERT_TRUE(tag.LoadFromStream(stream, 0));
    EXPECT_EQ(stream.Position(), 17) << "the position is restored";
    EXPECT_EQ(tag.Title, c.Title);
    EXPECT_EQ(tag.Artist, c.Artist);
    EXPECT_EQ(tag.Comment, c.Comment);
    EXPECT_EQ(tag.Year, c.Year);
    EXPECT_EQ(tag.TrackNo, c.TrackNo);
    EXPECT_EQ(tag.IsVersion11, c.IsVersion11);
    EXPECT_EQ(tag.Genre, c.Record.Genre);
    EXPECT_TRUE(tag.Stored);
    EXPECT_FALSE(tag.Modified);
}

INSTANTIATE_TEST_SUITE_P(
    Records, ID3v1Load,
    ::testing::Values(LoadCase{"v11_with_track",
                               {"Song", "Band", "", "1999", "Nice", 0, 7, 17},
                               "Song",
                               "Band",
                               "Nice",
                               "1999",
                               7,
                               true},
                      LoadCase{"both_zero_is_v10",
                               {"T", "A", "", "", std::string(28, 'c'), 0, 0, 3},
                               "T",
                               "A",
                               std::string(28, 'c'),
                               "",
                               0,
                               false},
                      LoadCase{"full_30_char_comment_v10",
                               {"T", "A", "", "", std::string(30, 'c'), -1, -1, 3},
                               "T",
                               "A",
                               std::string(30, 'c'),
                               "",
                               0,
                               false},
                      // A non-zero byte 125 is comment text, whatever byte 126 holds.
                      LoadCase{"byte125_set_is_v10",
                               {"T", "A", "", "", std::string(28, 'c') + "de", -1, -1, 0},
                               "T",
                               "A",
                               std::string(28, 'c') + "de",
                               "",
                               0,
                               false},
                      LoadCase{"padding_trimmed",
                               {"  Padded   ", "\tTabbed\x01", "", "99  ", "  c  ", 0, 1, 0},
                               "Padded",
                               "Tabbed",
                               "c",
                               "99",
                               1,
                               true},
                      // Bytes above 0x7F are text, not blanks, even at the ends of a slot.
                      LoadCase{"high_bytes_kept",
                               {"\xE9t\xE9", "\xC4", "", "", "", 0, 2, 0},
                               "\xE9t\xE9",
                               "\xC4",
                               "",
                               "",
                               2,
                               true},
                      LoadCase{"text_ends_at_first_zero",
                               {std::string("ab\0cd", 5), "", "", "", "", 0, 0, 0},
                               "ab",
                               "",
                               "",
                               "",
                               0,
                               false},
                      LoadCase{"full_width_title",
                               {k30, "Artist after", "", "", "", 0, 0, 255},
                               k30,
                               "Artist after",
                               "",
                               "",
                               0,
                               false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ID3v1Tag, NoRecordAnswersFalseAndKeepsFields) {
    const std::vector<Bytes> inputs = {
        {},                        // empty stream
        Bytes(127, 'T'),           // shorter than a record
        WithAudio(Bytes(128, 0)),  // no "TAG"
        [] {
            Bytes b = MakeRecord({});
            b[0] = 't';
            return WithAudio(b);
        }(),  // case-sensitive
    };
    for (const Bytes& input : inputs) {
        TMemoryStream stream(input);
        TID3v1Tag tag;
        tag.SetTitle("kept");
        ASSERT_TRUE(tag.Modified);
        EXPECT_FALSE(tag.LoadFromStream(stream, 0)) << input.size();
        EXPECT_EQ(tag.Title, "kept");
        EXPECT_FALSE(tag.Modified);
        EXPECT_FALSE(tag.Stored);
        EXPECT_EQ(stream.Position(), 0);
    }
}

TEST(ID3v1Tag, SaveOverLoadedRecordKeepsEveryByte) {
    // Full-width slots: a title of 30 characters must not spill into the artist, and a
    // 30-character v1.0 comment must not hide the genre byte.
    const Bytes records[] = {
        MakeRecord(
            {k30, std::string(30, 'a'), std::string(30, 'b'), "2001", std::string(30, 'c'), -1, -1, 88}),
        MakeRecord({"Title", "Artist", "Album", "1987", "Comment", 0, 12, 17}),
    };
    for (const Bytes& record : records) {
        const Bytes original = WithAudio(record);
        TMemoryStream stream(original);
        TID3v1Tag tag;
        ASSERT_TRUE(tag.LoadFromStream(stream, 0));
        tag.Modified = true;
        stream.SetPosition(5);
        ASSERT_TRUE(tag.SaveToStream(stream, 0));
        EXPECT_EQ(stream.Data(), original);
        EXPECT_EQ(stream.Position(), 5);
        EXPECT_FALSE(tag.Modified);
    }
}

TEST(ID3v1Tag, SaveAppendsZeroPaddedRecord) {
    const Bytes audio = WithAudio({}, 200);
    TMemoryStream stream(audio);
    TID3v1Tag tag;
    tag.SetTitle("Hi");
    tag.SetArtist(std::string(40, 'z'));  // cut to its slot
    tag.SetYear("19999");
    tag.SetGenre(9);
    tag.SetTrackNo(4);
    ASSERT_TRUE(tag.SaveToStream(stream, 0));
    ASSERT_EQ(stream.Size(), 200 + 128);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), stream.Data().begin())) << "audio untouched";
    RecordSpec expected{"Hi", std::string(30, 'z'), "", "1999", "", 0, 4, 9};
    EXPECT_EQ(Bytes(stream.Data().begin() + 200, stream.Data().end()), MakeRecord(expected));
}

TEST(ID3v1Tag, SaveOverwritesExistingRecordInPlace) {
    TMemoryStream stream(WithAudio(MakeRecord({"Old", "Old", "Old", "1900", "old", 0, 1, 1})));
    const int64_t size = stream.Size();
    TID3v1Tag tag;
    ASSERT_TRUE(tag.LoadFromStream(stream, 0));
    tag.SetTitle("New");
    tag.SetIsVersion11(false);
    tag.SetComment(std::string(30, 'q'));
    ASSERT_TRUE(tag.SaveToStream(stream, 0));
    EXPECT_EQ(stream.Size(), size);
    TID3v1Tag again;
    ASSERT_TRUE(again.LoadFromStream(stream, 0));
    EXPECT_EQ(again.Title, "New");
    EXPECT_EQ(again.Comment, std::string(30, 'q'));
    EXPECT_FALSE(again.IsVersion11);
}

TEST(ID3v1Tag, RemoveCutsOnlyARecord) {
    const Bytes audio = WithAudio({}, 300);
    {
        TMemoryStream stream(WithAudio(MakeRecord({"x"}), 300));
        stream.SetPosition(stream.Size() - 10);  // inside the record: clamped to the new end
        TID3v1Tag tag;
        EXPECT_TRUE(tag.RemoveFromStream(stream));
        EXPECT_EQ(stream.Data(), audio);
        EXPECT_EQ(stream.Position(), 300);
    }
    {
        TMemoryStream stream(audio);
        stream.SetPosition(100);
        TID3v1Tag tag;
        EXPECT_TRUE(tag.RemoveFromStream(stream));
        EXPECT_EQ(stream.Data(), audio);
        EXPECT_EQ(stream.Position(), 100);
    }
    {
        TMemoryStream stream(Bytes(50, 'T'));
        TID3v1Tag tag;
        EXPECT_TRUE(tag.RemoveFromStream(stream));
        EXPECT_EQ(stream.Size(), 50);
    }
}

TEST(ID3v1Tag, SettersMarkModifiedOnlyOnChange) {
    TID3v1Tag tag;
    EXPECT_EQ(tag.FrameID(), "TAG");
    EXPECT_EQ(tag.FrameName, "ID3v1 Tag");
    EXPECT_EQ(tag.FrameDescription, "ID3v1 Tag");
    EXPECT_TRUE(tag.IsVersion11);
    EXPECT_EQ(tag.GetDataSize(0x0300), 128u);
    EXPECT_EQ(tag.GetHeaderSize(0x0400), 0u);

    tag.SetTitle("");
    tag.SetGenre(0);
    tag.SetTrackNo(0);
    tag.SetIsVersion11(true);
    EXPECT_FALSE(tag.Modified);
    tag.SetAlbum("A");
    EXPECT_TRUE(tag.Modified);
}

TEST(ID3v1Tag, CommentAndTrackFollowTheLayout) {
    TID3v1Tag tag;
    tag.SetComment(std::string(35, 'c'));
    EXPECT_EQ(tag.Comment.size(), 28u) << "v1.1 leaves room for the track byte";
    tag.SetIsVersion11(false);
    tag.SetComment(std::string(35, 'd'));
    EXPECT_EQ(tag.Comment.size(), 30u);
    tag.SetTrackNo(9);
    EXPECT_EQ(tag.TrackNo, 0) << "a v1.0 record has no track";
    tag.SetIsVersion11(true);
    EXPECT_EQ(tag.Comment, std::string(28, 'd'));
    tag.SetTrackNo(9);
    EXPECT_EQ(tag.TrackNo, 9);
}

TEST(ID3v1Tag, AssignFromRecordCopiesEverything) {
    TMemoryStream stream(WithAudio(MakeRecord({"T", "A", "L", "2000", std::string(30, 'c'), -1, -1, 42})));
    TID3v1Tag source;
    ASSERT_TRUE(source.LoadFromStream(stream, 0));
    TID3v1Tag copy;
    EXPECT_TRUE(copy.Assign(source));
    EXPECT_TRUE(copy.Modified);
    EXPECT_EQ(copy.Title, "T");
    EXPECT_EQ(copy.Artist, "A");
    EXPECT_EQ(copy.Album, "L");
    EXPECT_EQ(copy.Year, "2000");
    EXPECT_EQ(copy.Comment, std::string(30, 'c'));
    EXPECT_EQ(copy.Genre, 42);
    EXPECT_FALSE(copy.IsVersion11);
    EXPECT_EQ(copy.TrackNo, 0);
}

TEST(ID3v1Tag, AssignFromTextFrames) {
    struct Case {
        const char* ID;
        std::u16string Text;
        bool StartV11;
        bool Taken;
        std::string Title, Artist, Album, Year;
        uint8_t TrackNo, Genre;
        bool IsVersion11;
    };
    const Case cases[] = {
        {"TIT2", u"Caf\u00E9 \u20AC", true, true, "Caf\xE9 \x80", "", "", "", 0, 0,
         true},  // to the 1252 code page
        {"TPE1", u"\u0416uk", true, true, "", "?uk", "", "", 0, 0, true},
        {"TALB", u"Album", true, true, "", "", "Album", "", 0, 0, true},
        {"TYER", u"1999", true, true, "", "", "", "1999", 0, 0, true},
        {"TRCK", u" 12/15 ", true, true, "", "", "", "", 12, 0, true},
        {"TRCK", u"7", false, true, "", "", "", "", 7, 0, true},  // switches to ID3v1.1
        {"TRCK", u"/3", true, false, "", "", "", "", 0, 0, true},
        {"TRCK", u"256", true, false, "", "", "", "", 0, 0, true},  // does not fit the byte
        {"TRCK", u"99999999999999999999", true, false, "", "", "", "", 0, 0, true},
        {"TCON", u"(17)Rock", true, true, "", "", "", "", 0, 17, true},
        {"TCON", u" rock ", true, true, "", "", "", "", 0, 17, true},
        {"TCON", u"Not a genre", true, false, "", "", "", "", 0, 0, true},
        {"TCOM", u"Composer", true, false, "", "", "", "", 0, 0, true},
    };
    for (const Case& c : cases) {
        TTxxxFrame frame;
        frame.SetFrameID(c.ID);
        frame.SetText(c.Text);
        TID3v1Tag tag;
        tag.SetIsVersion11(c.StartV11);
        tag.Modified = false;
        EXPECT_EQ(tag.Assign(frame), c.Taken) << c.ID;
        EXPECT_EQ(tag.Modified, c.Taken || c.StartV11 != c.IsVersion11) << c.ID;
        EXPECT_EQ(tag.Title, c.Title) << c.ID;
        EXPECT_EQ(tag.Artist, c.Artist) << c.ID;
        EXPECT_EQ(tag.Album, c.Album) << c.ID;
        EXPECT_EQ(tag.Year, c.Year) << c.ID;
        EXPECT_EQ(tag.TrackNo, c.TrackNo) << c.ID;
        EXPECT_EQ(tag.Genre, c.Genre) << c.ID;
        EXPECT_EQ(tag.IsVersion11, c.IsVersion11) << c.ID;
    }
}

TEST(ID3v1Tag, AssignFromCommentFrameKeepsTheSlotWidth) {
    for (const bool v11 : {true, false}) {
        TCOMMFrame comment;
        comment.SetText(u"A comment that is longer than any slot \u00FC");
        TID3v1Tag tag;
        tag.SetIsVersion11(v11);
        EXPECT_TRUE(tag.Assign(comment));
        EXPECT_EQ(tag.Comment,
                  std::string("A comment that is longer than any slot \xFC").substr(0, v11 ? 28 : 30));
    }
}

}  // namespace
}  // namespace covrilo
