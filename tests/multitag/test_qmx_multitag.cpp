// SPDX-License-Identifier: MIT
// The facade on small files built byte by byte: dispatch by extension, reading and merging,
// and the writers, checked by loading the result with the ID3v2 engine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "id3v1/ID3v1.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TWXXXFrame.h"
#include "multitag/qmx_multitag.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using test::Bytes;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// --- fixture builders -------------------------------------------------------

void Append(Bytes& Out, const Bytes& More) { Out.insert(Out.end(), More.begin(), More.end()); }
Bytes Str(std::string_view S) { return Bytes(S.begin(), S.end()); }

Bytes Frame23(const std::string& Id, const Bytes& Content) {
    Bytes f = Str(Id);
    uint32_t n = static_cast<uint32_t>(Content.size());
    Append(f, {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0, 0});
    Append(f, Content);
    return f;
}

// A Latin-1 text frame.
Bytes Text23(const std::string& Id, std::string_view Text) {
    Bytes c{0};
    Append(c, Str(Text));
    return Frame23(Id, c);
}

Bytes Comm23(std::string_view Lang, std::string_view Text, std::string_view Description = "") {
    Bytes c{0};
    Append(c, Str(Lang));
    Append(c, Str(Description));
    c.push_back(0);
    Append(c, Str(Text));
    return Frame23("COMM", c);
}

Bytes Apic23(uint8_t Type, const Bytes& Picture) {
    Bytes c{0};
    Append(c, Str("image/jpeg"));
    c.push_back(0);
    c.push_back(Type);
    c.push_back(0);  // empty description
    Append(c, Picture);
    return Frame23("APIC", c);
}

// A 2.3 tag of the frames followed by Padding zero bytes.
Bytes Tag23(const std::vector<Bytes>& Frames, uint32_t Padding = 64) {
    Bytes body;
    for (const auto& f : Frames) Append(body, f);
    body.resize(body.size() + Padding, 0);
    uint32_t n = static_cast<uint32_t>(body.size());
    Bytes tag = Str("ID3");
    Append(tag, {3, 0, 0, uint8_t((n >> 21) & 0x7F), uint8_t((n >> 14) & 0x7F), uint8_t((n >> 7) & 0x7F),
                 uint8_t(n & 0x7F)});
    Append(tag, body);
    return tag;
}

Bytes ID3v1Record(std::string_view Title, std::string_view Artist, std::string_view Year, uint8_t Genre) {
    Bytes r(128, 0);
    std::copy_n("TAG", 3, r.begin());
    std::copy(Title.begin(), Title.end(), r.begin() + 3);
    std::copy(Artist.begin(), Artist.end(), r.begin() + 33);
    std::copy(Year.begin(), Year.end(), r.begin() + 93);
    r[127] = Genre;
    return r;
}

Bytes Audio() { return test::MpegAudioFrames(7); }

// A minimal picture the engine recognises as JPEG; Seed makes pictures tell apart.
Bytes Jpeg(uint8_t Seed, size_t Size = 64) {
    Bytes j{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
    while (j.size() < Size) j.push_back(static_cast<uint8_t>(Seed + j.size()));
    return j;
}

bool Contains(const Bytes& Haystack, const Bytes& Needle) {
    return std::search(Haystack.begin(), Haystack.end(), Needle.begin(), Needle.end()) != Haystack.end();
}

struct Facade : ::testing::Test {
    Facade() {
        Multitag.SetMpegReadTags(tsID3v1ID3v2);
        Multitag.SetMpegWriteTags(tsID3v1ID3v2);
    }
    std::filesystem::path Mp3(const Bytes& Content, const std::string& Name = "song.mp3") {
        auto path = Dir / Name;
        WriteFileBytes(path, Content);
        return path;
    }
    std::filesystem::path Picture(const Bytes& Content, const std::string& Name = "cover.jpg") {
        auto path = Dir / Name;
        WriteFileBytes(path, Content);
        return path;
    }
    // Frames of the saved file (ID3v1 entry excluded) as id -> list of text values.
    std::vector<std::string> FrameIDs(const std::filesystem::path& File) {
        TID3v2Class tag(File);
        std::vector<std::string> ids;
        for (int i = 0; i < tag.FrameCount(); ++i)
            if (tag.Frames(i)->FrameID() != "TAG") ids.push_back(tag.Frames(i)->FrameID());
        return ids;
    }
    std::u16string TextOf(const std::filesystem::path& File, const std::string& Id) {
        TID3v2Class tag(File);
        for (int i = 0; i < tag.FrameCount(); ++i)
            if (auto* t = dynamic_cast<TTxxxFrame*>(tag.Frames(i)); t && t->FrameID() == Id) return t->Text;
        return u"<missing>";
    }
    std::vector<std::pair<uint8_t, Bytes>> Pictures(const std::filesystem::path& File) {
        TID3v2Class tag(File);
        std::vector<std::pair<uint8_t, Bytes>> pictures;
        for (int i = 0; i < tag.FrameCount(); ++i)
            if (auto* p = dynamic_cast<TAPICFrame*>(tag.Frames(i)))
                pictures.emplace_back(p->PictureType, p->PictureData.Data());
        return pictures;
    }
    TempDir Dir;
    Tqmx_multitag Multitag;
};

// --- dispatch ---------------------------------------------------------------

TEST_F(Facade, ExtensionIsComparedUpperCased) {
    Bytes file = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title")});
    Append(file, Audio());
    for (const char* name : {"a.Mp3", "b.MP3", "c.mp3", "d.mp2"}) {
        ASSERT_TRUE(Multitag.Open(Mp3(file, name))) << name;
        EXPECT_TRUE(Multitag.Track().GetHasTag()) << name;
        EXPECT_EQ(Multitag.Track().GetTitle(), u"Title") << name;
        Multitag.Close();
    }
}

TEST_F(Facade, UnsupportedTypesOpenButNeverWrite) {
    Bytes file = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title")});
    Append(file, Audio());
    for (const char* name : {"noextension", "a.wav", "a.wma", "a.ogg", "a.flac", "a.txt", "dir.mp3.d/x"}) {
        std::filesystem::create_directories((Dir / name).parent_path());
        auto path = Mp3(file, name);
        Multitag.Open(path);
        EXPECT_FALSE(Multitag.Track().GetHasTag()) << name;
        Multitag.AddPicture({Picture(Jpeg(1)), "FrontCover", ""});
        EXPECT_FALSE(Multitag.Save()) << name;
        EXPECT_EQ(ReadFileBytes(path), file) << name;
        Multitag.Close();
    }
}

TEST_F(Facade, MissingFileOpensFalseWithAnEmptyRecordAndIsNotWritten) {
    EXPECT_FALSE(Multitag.Open(Dir / "gone.mp3"));
    EXPECT_FALSE(Multitag.Track().GetHasTag());
    EXPECT_TRUE(Multitag.Track().GetArtist().empty());
    Multitag.AddPicture({Picture(Jpeg(1)), "FrontCover", ""});
    EXPECT_FALSE(Multitag.Save());
    EXPECT_EQ(Multitag.LastError(), "not found");
    EXPECT_FALSE(std::filesystem::exists(Dir / "gone.mp3"));
}

// --- reading ----------------------------------------------------------------

TEST_F(Facade, ID3v2WinsOverID3v1FieldByField) {
    Bytes file = Tag23({Text23("TPE1", "A"), Text23("TALB", "Album2")});
    Append(file, Audio());
    Append(file, ID3v1Record("T", "B", "1999", 17));
    ASSERT_TRUE(Multitag.Open(Mp3(file)));
    const Ttrack& t = Multitag.Track();
    EXPECT_TRUE(t.GetHasTag());
    EXPECT_EQ(t.GetArtist(), u"A");
    EXPECT_EQ(t.GetTitle(), u"T");
    EXPECT_EQ(t.GetAlbum(), u"Album2");
    EXPECT_EQ(t.GetYear(), "1999");
    EXPECT_EQ(t.GetGenre(), u"Rock");
}

TEST_F(Facade, ID3v2MappingOfTrackGenreCommentAndYear) {
    Bytes file = Tag23({Text23("TIT2", "Title"), Text23("TRCK", "3/12"), Text23("TCON", "(17)Rock"),
                        Comm23("eng", "first"), Comm23("deu", "second"), Text23("TYER", "2003"),
                        Text23("TENC", "Enc")});
    Append(file, Audio());
    ASSERT_TRUE(Multitag.Open(Mp3(file)));
    const Ttrack& t = Multitag.Track();
    EXPECT_EQ(t.GetTrackNo(), 3);
    EXPECT_EQ(t.GetGenre(), u"Rock");
    EXPECT_EQ(t.GetComment(), u"second");  // the later comment frame wins
    EXPECT_EQ(t.GetYear(), "2003");
    EXPECT_EQ(t.GetEncodedBy(), u"Enc");
}

// A 2.2 tag of the frames (three-letter ids, three-byte sizes).
Bytes Tag22(const std::vector<std::pair<std::string, Bytes>>& Frames) {
    Bytes body;
    for (const auto& [id, content] : Frames) {
        Append(body, Str(id));
        uint32_t n = static_cast<uint32_t>(content.size());
        Append(body, {uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
        Append(body, content);
    }
    body.resize(body.size() + 32, 0);
    uint32_t n = static_cast<uint32_t>(body.size());
    Bytes tag = Str("ID3");
    Append(tag, {2, 0, 0, uint8_t((n >> 21) & 0x7F), uint8_t((n >> 14) & 0x7F), uint8_t((n >> 7) & 0x7F),
                 uint8_t(n & 0x7F)});
    Append(tag, body);
    return tag;
}

TEST_F(Facade, A22TagKeepsCharactersOutsideWindows1252ThroughAWrite) {
    // "T\u00eftle \u03a9" in UTF-16 LE with a byte-order mark.
    const Bytes title = {1, 0xFF, 0xFE, 'T', 0, 0xEF, 0, 't', 0, 'l', 0, 'e', 0, ' ', 0, 0xA9, 0x03};
    Bytes latin = {0};
    Append(latin, Str("Artist"));
    Bytes track = {0};
    Append(track, Str("5/9"));
    Bytes file = Tag22({{"TT2", title}, {"TP1", latin}, {"TRK", track}});
    Append(file, Audio());
    auto path = Mp3(file);
    ASSERT_TRUE(Multitag.Open(path));
    EXPECT_EQ(Multitag.Track().GetTitle(), u"T\u00eftle \u03a9");
    EXPECT_EQ(Multitag.Track().GetArtist(), u"Artist");
    EXPECT_EQ(Multitag.Track().GetTrackNo(), 5);
    Multitag.ID3v2Format = 1;
    Multitag.AddPicture({Picture(Jpeg(1)), "FrontCover", ""});
    ASSERT_TRUE(Multitag.Save());
    EXPECT_EQ(TextOf(path, "TIT2"), u"T\u00eftle \u03a9");
}

TEST_F(Facade, ATrackNumberThatIsNoNumberFailsTheOpenAndBlocksTheSave) {
    Bytes file = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title"), Text23("TRCK", "A1")});
    Append(file, Audio());
    auto path = Mp3(file);
    EXPECT_FALSE(Multitag.Open(path));
    EXPECT_FALSE(Multitag.Track().GetHasTag());
    Multitag.AddPicture({Picture(Jpeg(1)), "FrontCover", ""});
    // Writing now would replace the file's texts by the empty record.
    EXPECT_FALSE(Multitag.Save());
    EXPECT_EQ(ReadFileBytes(path), file);
}

// --- WriteID3v2 -------------------------------------------------------------

TEST_F(Facade, AddingAFrontCoverReplacesOnlyTheFrontCover) {
    const Bytes oldFront = Jpeg(10), back = Jpeg(20), newFront = Jpeg(30, 200);
    Bytes file =
        Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title"), Apic23(3, oldFront), Apic23(4, back)});
    Append(file, Audio());
    auto path = Mp3(file);
    ASSERT_TRUE(Multitag.Open(path));
    Multitag.AddPicture({Picture(newFront), "FrontCover", ""});
    ASSERT_TRUE(Multitag.Save());
    auto pictures = Pictures(path);
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0], std::make_pair(uint8_t(4), back));
    EXPECT_EQ(pictures[1], std::make_pair(uint8_t(3), newFront));
    Bytes saved = ReadFileBytes(path);
    const Bytes audio = Audio();
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), saved.end() - static_cast<long>(audio.size()) - 128));
}

TEST_F(Facade, TwoQueuedPicturesOfOneKindLeaveTheSecondAndASecondSaveReplacesIt) {
    Bytes file = Tag23({Text23("TPE1", "Artist")});
    Append(file, Audio());
    auto path = Mp3(file);
    ASSERT_TRUE(Multitag.Open(path));
    Multitag.AddPicture({Picture(Jpeg(1), "one.jpg"), "BackCover", ""});
    Multitag.AddPicture({Picture(Jpeg(2), "two.jpg"), "BackCover", ""});
    ASSERT_TRUE(Multitag.Save());
    ASSERT_TRUE(Multitag.Save());
    auto pictures = Pictures(path);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0], std::make_pair(uint8_t(4), Jpeg(2)));
}

TEST_F(Facade, FormatTwoWritesID3v24WithUtf8AndTDRC) {
    Bytes file = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title"), Text23("TYER", "1987")});
    Append(file, Audio());
    auto path = Mp3(file);
    Multitag.ID3v2Format = 2;
    ASSERT_TRUE(Multitag.Open(path));
    Multitag.SetMpegWriteTags(tsID3v2);
    ASSERT_TRUE(Multitag.Save());
    TID3v2Class tag(path);
    EXPECT_EQ(tag.Version, 0x0400);
    auto ids = FrameIDs(path);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "TYER"), 0);
    EXPECT_EQ(TextOf(path, "TDRC"), u"1987");
    for (int i = 0; i < tag.FrameCount(); ++i)
        if (auto* t = dynamic_cast<TTxxxFrame*>(tag.Frames(i)); t && t->FrameID() == "TPE1") {
            EXPECT_EQ(t->Encoding, teUTF8);
        }
}

// The ISO-8859-1 format keeps what fits in it and writes UTF-16 only where it would lose text.
TEST_F(Facade, FormatZeroWritesUtf16WhereLatin1WouldLoseText) {
    // TPE1 "\u0410\u0440\u0442" (Cyrillic) and COMM "\u00c4 \u263a" in UTF-16 LE with byte-order marks.
    const Bytes artist = {1, 0xFF, 0xFE, 0x10, 0x04, 0x40, 0x04, 0x42, 0x04};
    Bytes comment = {1};
    Append(comment, Str("eng"));
    Append(comment, {0xFF, 0xFE, 0, 0, 0xFF, 0xFE, 0xC4, 0, ' ', 0, 0x3A, 0x26});
    Bytes file = Tag23({Frame23("TPE1", artist), Text23("TIT2", "T\xefte"), Frame23("COMM", comment)});
    Append(file, Audio());
    auto path = Mp3(file);
    ASSERT_TRUE(Multitag.Open(path));
    Multitag.AddPicture({Picture(Jpeg(1)), "FrontCover", ""});
    ASSERT_TRUE(Multitag.Save());
    TID3v2Class tag(path);
    EXPECT_EQ(tag.Version, 0x0300);
    auto encodingOf = [&tag](const std::string& Id) {
        for (int i = 0; i < tag.FrameCount(); ++i)
            if (tag.Frames(i)->FrameID() == Id) return dynamic_cast<TEncodingFrame*>(tag.Frames(i))->Encoding;
        ADD_FAILURE() << Id << " missing";
        return teUnknown;
    };
    EXPECT_EQ(TextOf(path, "TPE1"), u"\u0410\u0440\u0442");
    EXPECT_EQ(encodingOf("TPE1"), teUTF16);
    EXPECT_EQ(TextOf(path, "TIT2"), u"T\u00efte");
    EXPECT_EQ(encodingOf("TIT2"), teISO8859_1);
    EXPECT_EQ(encodingOf("COMM"), teUTF16);
    EXPECT_EQ(encodingOf("TALB"), teISO8859_1);
    for (int i = 0; i < tag.FrameCount(); ++i)
        if (auto* c = dynamic_cast<TCOMMFrame*>(tag.Frames(i))) {
            EXPECT_EQ(c->Text, u"\u00c4 \u263a");
        }
}

TEST_F(Facade, FormatZeroTurnsAnID3v24TagInto23WithTYER) {
    Bytes file = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title"), Text23("TDRC", "2001")});
    file[3] = 4;  // the frames above are valid 2.4 frames as well (sizes below 128)
    Append(file, Audio());
    auto path = Mp3(file);
    ASSERT_TRUE(Multitag.Open(path));
    ASSERT_TRUE(Multitag.Save());
    TID3v2Class tag(path);
    EXPECT_EQ(tag.Version, 0x0300);
    auto ids = FrameIDs(path);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "TDRC"), 0);
    EXPECT_EQ(TextOf(path, "TYER"), u"2001");
}

TEST_F(Facade, OtherFramesSurviveAndRewrittenOnesAreReplacedOnce) {
    Bytes txxx = Frame23("TXXX", Str(std::string("\0REPLAYGAIN_TRACK_GAIN\0-6.5 dB", 30)));
    ASSERT_EQ(txxx.back(), 'B');
    Bytes priv = Frame23("PRIV", Str(std::string("owner@example\0\x01\x02\x03", 17)));
    Bytes tcom = Text23("TCOM", "Composer");
    Bytes file = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title"), txxx, Comm23("eng", "a"),
                        Comm23("fra", "b"), priv, tcom, Text23("TRCK", "0")});
    Append(file, Audio());
    auto path = Mp3(file);
    ASSERT_TRUE(Multitag.Open(path));
    ASSERT_TRUE(Multitag.Save());
    EXPECT_TRUE(Contains(ReadFileBytes(path), priv));  // binary frames stay byte for byte
    EXPECT_EQ(TextOf(path, "TCOM"), u"Composer");
    TID3v2Class tag(path);
    for (int i = 0; i < tag.FrameCount(); ++i) {
        if (auto* t = dynamic_cast<TTxxxFrame*>(tag.Frames(i)); t && t->FrameID() == "TXXX") {
            EXPECT_EQ(t->Text, u"REPLAYGAIN_TRACK_GAIN");
            EXPECT_EQ(t->MoreTexts, std::vector<std::u16string>{u"-6.5 dB"});
        }
    }
    auto ids = FrameIDs(path);
    // The record's comment came from the last comment frame ("fra"): that one is rewritten,
    // in its language; the other language's comment is another comment and stays.
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "COMM"), 2);
    std::vector<std::pair<std::string, std::u16string>> comments;
    for (int i = 0; i < tag.FrameCount(); ++i)
        if (auto* c = dynamic_cast<TCOMMFrame*>(tag.Frames(i))) comments.emplace_back(c->Language(), c->Text);
    EXPECT_EQ(comments, (std::vector<std::pair<std::string, std::u16string>>{{"eng", u"a"}, {"fra", u"b"}}));
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "TRCK"), 1);
    EXPECT_EQ(TextOf(path, "TRCK"), u"0");
    EXPECT_EQ(TextOf(path, "TPE1"), u"Artist");
}

// Comment and link frames with a description hold other programs' data: they are neither read
// as the comment or URL, even when they come last, nor replaced by them.
TEST_F(Facade, CommentAndLinkFramesWithADescriptionAreNotTheRecordAndStay) {
    const std::string smpb = " 00000000 00000210 000007E4 0000000000A2B5DC";
    auto wxxx = [](std::string_view Description, std::string_view Url) {
        Bytes c{0};
        Append(c, Str(Description));
        c.push_back(0);
        Append(c, Str(Url));
        return Frame23("WXXX", c);
    };
    Bytes file = Tag23({Text23("TPE1", "Artist"), Comm23("eng", "mine"), wxxx("", "http://mine.example/"),
                        Comm23("eng", smpb, "iTunSMPB"), Comm23("eng", " 0000044E 00000000", "iTunNORM"),
                        wxxx("Shop", "http://shop.example/a")});
    Append(file, Audio());
    auto path = Mp3(file);
    ASSERT_TRUE(Multitag.Open(path));
    EXPECT_EQ(Multitag.Track().GetComment(), u"mine");
    EXPECT_EQ(Multitag.Track().GetURL(), "http://mine.example/");
    Multitag.AddPicture({Picture(Jpeg(1)), "FrontCover", ""});
    ASSERT_TRUE(Multitag.Save());
    using Comments = std::vector<std::pair<std::u16string, std::u16string>>;  // description, text
    auto commentsOf = [](const std::filesystem::path& File) {
        Comments comments;
        TID3v2Class tag(File);
        for (int i = 0; i < tag.FrameCount(); ++i)
            if (auto* c = dynamic_cast<TCOMMFrame*>(tag.Frames(i)))
                comments.emplace_back(c->Description, c->Text);
        return comments;
    };
    const Comments expected = {{u"iTunSMPB", u" 00000000 00000210 000007E4 0000000000A2B5DC"},
                               {u"iTunNORM", u" 0000044E 00000000"},
                               {u"", u"mine"}};
    EXPECT_EQ(commentsOf(path), expected);
    std::vector<std::pair<std::u16string, std::string>> links;
    TID3v2Class tag(path);
    for (int i = 0; i < tag.FrameCount(); ++i)
        if (auto* u = dynamic_cast<TWXXXFrame*>(tag.Frames(i))) links.emplace_back(u->Description, u->URL);
    EXPECT_EQ(links, (std::vector<std::pair<std::u16string, std::string>>{{u"Shop", "http://shop.example/a"},
                                                                          {u"", "http://mine.example/"}}));

    // A file whose only comment frames have descriptions has no comment; they all stay.
    Bytes only = Tag23({Text23("TPE1", "Artist"), Comm23("eng", "x", "iTunPGAP")});
    Append(only, Audio());
    auto second = Mp3(only, "second.mp3");
    ASSERT_TRUE(Multitag.Open(second));
    EXPECT_EQ(Multitag.Track().GetComment(), u"");
    ASSERT_TRUE(Multitag.Save());
    EXPECT_EQ(commentsOf(second), (Comments{{u"iTunPGAP", u"x"}, {u"", u""}}));
}

// The record holds one value per field and no track total; what it cannot hold survives a
// write as long as the record still says the same.
TEST_F(Facade, FurtherValuesAndTheTrackTotalSurviveAWrite) {
    struct Case {
        const char* Name;
        uint8_t Format;
    };
    for (const Case c : {Case{"2.3 latin1", 0}, Case{"2.4 utf8", 2}}) {
        SCOPED_TRACE(c.Name);
        Bytes file = Tag23({Text23("TPE1", std::string("Ann\0Bob", 7)), Text23("TIT2", "Title"),
                            Text23("TCON", std::string("Rock\0Pop", 8)), Text23("TRCK", "03/12")});
        file[3] = 4;  // valid 2.4 frames as well (sizes below 128)
        Append(file, Audio());
        auto path = Mp3(file);
        Multitag.ID3v2Format = c.Format;
        ASSERT_TRUE(Multitag.Open(path));
        EXPECT_EQ(Multitag.Track().GetArtist(), u"Ann");
        EXPECT_EQ(Multitag.Track().GetTrackNo(), 3);
        Multitag.AddPicture({Picture(Jpeg(1)), "FrontCover", ""});
        ASSERT_TRUE(Multitag.Save());
        TID3v2Class tag(path);
        std::map<std::string, std::vector<std::u16string>> values;
        for (int i = 0; i < tag.FrameCount(); ++i)
            if (auto* t = dynamic_cast<TTxxxFrame*>(tag.Frames(i))) {
                auto& all = values[t->FrameID()];
                all.push_back(t->Text);
                all.insert(all.end(), t->MoreTexts.begin(), t->MoreTexts.end());
            }
        using Values = std::vector<std::u16string>;
        EXPECT_EQ(values["TPE1"], (Values{u"Ann", u"Bob"}));
        EXPECT_EQ(values["TCON"], (Values{u"Rock", u"Pop"}));
        EXPECT_EQ(values["TRCK"], (Values{u"03/12"}));
        EXPECT_EQ(values["TIT2"], (Values{u"Title"}));
    }

    // A total without a number the record agrees with is not kept: a record without a track
    // number writes "0".
    Bytes file = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title"), Text23("TRCK", "/12")});
    Append(file, Audio());
    auto path = Mp3(file, "second.mp3");
    ASSERT_TRUE(Multitag.Open(path));
    ASSERT_TRUE(Multitag.Save());
    EXPECT_EQ(TextOf(path, "TRCK"), u"0");
}

TEST_F(Facade, GenreReadAsANumberIsWrittenBackAsItsName) {
    Bytes file = Tag23({Text23("TPE1", "Artist"), Text23("TCON", "(17)")});
    Append(file, Audio());
    auto path = Mp3(file);
    ASSERT_TRUE(Multitag.Open(path));
    ASSERT_TRUE(Multitag.Save());
    EXPECT_EQ(TextOf(path, "TCON"), u"Rock");
}

TEST_F(Facade, AnUnrecognisedPictureFailsTheSaveWithoutTouchingTheFile) {
    Bytes file = Tag23({Text23("TPE1", "Artist")});
    Append(file, Audio());
    auto path = Mp3(file);
    ASSERT_TRUE(Multitag.Open(path));
    Multitag.AddPicture({Picture(Str("this is not a picture at all"), "bad.jpg"), "FrontCover", ""});
    EXPECT_FALSE(Multitag.Save());
    EXPECT_NE(Multitag.LastError().find("is not a recognised image"), std::string::npos)
        << Multitag.LastError();
    EXPECT_EQ(ReadFileBytes(path), file);
}

TEST_F(Facade, RemoveAllPicturesKeepsEveryOtherFrameAndTheVersion) {
    Bytes file = Tag23({Text23("TPE1", "Artist"), Apic23(3, Jpeg(1)), Apic23(4, Jpeg(2)), Text23("TIT2", "T"),
                        Apic23(0, Jpeg(3))});
    Append(file, Audio());
    Append(file, ID3v1Record("T", "B", "1999", 17));
    auto path = Mp3(file);
    ASSERT_TRUE(Multitag.Open(path));
    EXPECT_TRUE(Multitag.RemoveAllPictures());
    EXPECT_EQ(FrameIDs(path), (std::vector<std::string>{"TPE1", "TIT2"}));
    EXPECT_EQ(TID3v2Class(path).Version, 0x0300);
    Bytes saved = ReadFileBytes(path);
    EXPECT_TRUE(std::equal(saved.end() - 128, saved.end(), ID3v1Record("T", "B", "1999", 17).begin()));
}

TEST_F(Facade, RemoveAllPicturesLeavesAFileWithoutPicturesUntouched) {
    // A 2.2 tag would be turned into 2.3, and a tag whose first frame id the engine refuses
    // (lower case) would be dropped whole, if such files were saved.
    Bytes v22 = Str("ID3");
    Append(v22, {2, 0, 0, 0, 0, 0, 11, 'T', 'T', '2', 0, 0, 5, 0, 'S', 'o', 'n', 'g'});
    Append(v22, Audio());
    Bytes unreadable = Tag23({Text23("tit2", "lower case id"), Text23("TPE1", "Artist")});
    Append(unreadable, Audio());
    for (const Bytes& file : {v22, unreadable}) {
        auto path = Mp3(file);
        Multitag.Open(path);
        EXPECT_TRUE(Multitag.RemoveAllPictures());
        EXPECT_EQ(ReadFileBytes(path), file);
        Multitag.Close();
    }
}

TEST_F(Facade, WritingID3v1KeepsTheLyrics3Content) {
    Bytes file = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title")});
    Append(file, Audio());
    auto path = Mp3(file);
    {
        TID3v1 v1;
        v1.SetTitle("Title");
        v1.Lyrics = "la la la\r\nsecond line";
        v1.Author = "Lyricist";
        ASSERT_TRUE(v1.SaveToFile(path));
    }
    ASSERT_TRUE(Multitag.Open(path));
    ASSERT_TRUE(Multitag.Save());
    TID3v1 after;
    ASSERT_TRUE(after.ReadFromFile(path));
    EXPECT_TRUE(after.Exists);
    EXPECT_EQ(after.Lyrics, "la la la\r\nsecond line");
    EXPECT_EQ(after.Author, "Lyricist");
    EXPECT_EQ(after.GetArtist(), "Artist");
}

// ---- reading errors, refusals and the one save of both tags ----------------------------------

TEST_F(Facade, AFileLockedWhileItIsReadIsAnErrorNotAFileWithoutTags) {
    Bytes file = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title"), Text23("TALB", "Album")});
    Append(file, Audio());
    Append(file, ID3v1Record("Title", "Artist", "1999", 17));
    auto path = Mp3(file);
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_FALSE(Multitag.Open(path));
    EXPECT_EQ(Multitag.LastError(), "locked by another program");
    EXPECT_FALSE(Multitag.Track().GetHasTag());
    ::close(fd);
    // The lock is gone, but what Open could not read is never written from an empty record.
    Multitag.AddPicture({Picture(Jpeg(1)), "FrontCover", ""});
    EXPECT_FALSE(Multitag.Save());
    EXPECT_EQ(Multitag.LastError(), "locked by another program");
    EXPECT_FALSE(Multitag.RemoveAllPictures());
    EXPECT_EQ(ReadFileBytes(path), file);
}

TEST_F(Facade, AFileThatChangedSinceOpenIsNotSaved) {
    Bytes file = Tag23({Text23("TPE1", "Artist"), Apic23(3, Jpeg(1))});
    Append(file, Audio());
    for (const bool remove : {false, true}) {
        SCOPED_TRACE(remove ? "remove" : "add");
        auto path = Mp3(file);
        ASSERT_TRUE(Multitag.Open(path));
        // Another program rewrites the file meanwhile (here: appends to it).
        Bytes changed = file;
        Append(changed, Audio());
        WriteFileBytes(path, changed);
        Multitag.AddPicture({Picture(Jpeg(2)), "BackCover", ""});
        EXPECT_FALSE(remove ? Multitag.RemoveAllPictures() : Multitag.Save());
        EXPECT_EQ(Multitag.LastError(), "it changed since it was read");
        EXPECT_EQ(ReadFileBytes(path), changed);
        Multitag.Close();
    }
}

TEST_F(Facade, OnlyMpegAudioIsWritten) {
    Bytes tagged = Tag23({Text23("TPE1", "Artist"), Apic23(3, Jpeg(1))});
    struct Case {
        const char* Name;
        Bytes Content;
        bool Written;
    };
    Bytes withAudio = tagged;
    Append(withAudio, Audio());
    Bytes text = tagged;
    Append(text, Str("This is a text file that someone named .mp3, not audio at all."));
    Bytes onlyTag = tagged;
    Bytes tagAndRecord = tagged;
    Append(tagAndRecord, ID3v1Record("T", "A", "1999", 17));
    Bytes zeros = tagged;
    Append(zeros, Bytes(500, 0));
    Bytes oneBadHeader = tagged;
    Append(oneBadHeader, Bytes{0xFF, 0xFB, 0x90, 0x00});
    Append(oneBadHeader, Bytes(1000, 0x55));
    const Case cases[] = {
        {"tag and audio", withAudio, true},
        {"text behind the tag", text, false},
        {"only a tag", onlyTag, true},
        {"a tag and an ID3v1 record", tagAndRecord, true},
        {"zeros behind the tag", zeros, true},
        {"one frame header, nothing after it fits", oneBadHeader, false},
    };
    for (const Case& c : cases) {
        for (const bool remove : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (remove ? ", remove" : ", add"));
            auto path = Mp3(c.Content);
            ASSERT_TRUE(Multitag.Open(path));
            Multitag.AddPicture({Picture(Jpeg(2)), "BackCover", ""});
            const bool saved = remove ? Multitag.RemoveAllPictures() : Multitag.Save();
            EXPECT_EQ(saved, c.Written) << Multitag.LastError();
            if (!c.Written) {
                EXPECT_EQ(Multitag.LastError(), "not an MPEG audio file");
                EXPECT_EQ(ReadFileBytes(path), c.Content);
            }
            Multitag.Close();
        }
    }
}

TEST_F(Facade, RemovingPicturesFromAFileTypeThatIsNotWrittenIsAnError) {
    for (const char* name : {"tone.wav", "tone.flac", "tone.ogg", "notes.txt"}) {
        SCOPED_TRACE(name);
        Bytes file = Tag23({Apic23(3, Jpeg(1))});
        Append(file, Audio());
        auto path = Mp3(file, name);
        Multitag.Open(path);
        EXPECT_FALSE(Multitag.RemoveAllPictures());
        EXPECT_EQ(Multitag.LastError(), "not a file type that is written");
        EXPECT_EQ(ReadFileBytes(path), file);
        Multitag.Close();
    }
}

TEST_F(Facade, ID3v2AndAGrowingID3v1TailAreSavedTogether) {
    // A Lyrics3 block with a long title and lyrics; the new ID3v2 title is longer still, so
    // the tail grows. In place (a big old tag) and by rewrite (a small one) alike, the
    // file afterwards holds both new tags and the audio, and the lyrics.
    const std::string title(45, 'T');
    for (const uint32_t padding : {uint32_t{6000}, uint32_t{10}}) {
        SCOPED_TRACE(padding);
        Bytes file = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", title)}, padding);
        Append(file, Audio());
        auto path = Mp3(file);
        {
            TID3v1 v1;
            v1.SetTitle("Short");
            v1.Lyrics = "la la la";
            ASSERT_TRUE(v1.SaveToFile(path));
        }
        ASSERT_TRUE(Multitag.Open(path));
        Multitag.AddPicture({Picture(Jpeg(2, padding > 1000 ? 200 : 3000)), "FrontCover", ""});
        ASSERT_TRUE(Multitag.Save()) << Multitag.LastError();
        Multitag.Close();
        TID3v1 after;
        ASSERT_TRUE(after.ReadFromFile(path));
        EXPECT_EQ(after.GetTitle(), title);
        EXPECT_EQ(after.Lyrics, "la la la");
        EXPECT_EQ(Pictures(path).size(), 1u);
        const Bytes saved = ReadFileBytes(path);
        const Bytes audio = Audio();
        EXPECT_TRUE(std::search(saved.begin(), saved.end(), audio.begin(), audio.end()) != saved.end());
        for (const auto& entry : std::filesystem::directory_iterator(Dir.Path()))
            EXPECT_EQ(entry.path().filename().string().find("covrilo"), std::string::npos) << entry.path();
    }
}

// ---- saves worked out without writing (dry runs) ------------------------------------------

// The names in the test's folder: a save that is only planned leaves no journal or copy.
std::vector<std::string> Names(const std::filesystem::path& Dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(Facade, APlannedSaveWritesNothingAndForeseesTheSave) {
    struct Case {
        const char* Name;
        Bytes File;
        size_t Picture;  // bytes of the cover added; 0: remove every picture
        bool Rewrite;
    };
    auto song = [](std::vector<Bytes> Frames, uint32_t Padding, bool Record) {
        Bytes file = Tag23(Frames, Padding);
        Append(file, Audio());
        if (Record) Append(file, ID3v1Record("Title", "Artist", "1999", 17));
        return file;
    };
    const std::vector<Bytes> tagged = {Text23("TPE1", "Artist"), Text23("TIT2", "Title"),
                                       Apic23(3, Jpeg(1, 500))};
    const Case cases[] = {
        {"a cover of the same size, in place", song(tagged, 600, true), 500, false},
        {"a larger cover in the padding, in place", song(tagged, 3000, true), 2000, false},
        {"a cover that does not fit", song(tagged, 64, false), 3000, true},
        {"no tag before",
         [] {
             Bytes b = Audio();
             return b;
         }(),
         500, true},
        {"pictures removed, in place", song(tagged, 600, true), 0, false},
        {"pictures removed, too much room left",
         song({Text23("TIT2", "T"), Apic23(3, Jpeg(1, 6000))}, 64, false), 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto planned = Mp3(c.File, "planned.mp3"), saved = Mp3(c.File, "saved.mp3");
        const auto cover = Picture(Jpeg(9, c.Picture == 0 ? 64 : c.Picture));
        const std::vector<std::string> before = Names(Dir.Path());
        auto run = [&](const std::filesystem::path& File, bool Plan) {
            Multitag.PlanOnly = Plan;
            EXPECT_TRUE(Multitag.Open(File)) << Multitag.LastError();
            Multitag.AddPicture({cover, "FrontCover", ""});
            EXPECT_TRUE(c.Picture == 0 ? Multitag.RemoveAllPictures() : Multitag.Save())
                << Multitag.LastError();
            const TSaveReport report = Multitag.LastReport();
            Multitag.Close();
            return report;
        };
        const TSaveReport plan = run(planned, true);
        EXPECT_EQ(ReadFileBytes(planned), c.File) << "a planned save wrote";
        EXPECT_EQ(Names(Dir.Path()), before);
        const TSaveReport done = run(saved, false);
        EXPECT_NE(ReadFileBytes(saved), c.File);
        EXPECT_TRUE(plan.Written);
        EXPECT_EQ(plan.Rewrite, c.Rewrite);
        EXPECT_EQ(done.Rewrite, plan.Rewrite);
        EXPECT_EQ(plan.OldVersion, done.OldVersion);
        EXPECT_EQ(plan.NewVersion, done.NewVersion);
        EXPECT_EQ(plan.OldTagBytes, done.OldTagBytes);
        EXPECT_EQ(plan.NewTagBytes, done.NewTagBytes);
        EXPECT_EQ(done.NewTagBytes, TID3v2Class(saved).TagExists ? TID3v2Class(saved).TagSize + 10 : 0);
        EXPECT_EQ(plan.Removed, done.Removed);
        EXPECT_EQ(plan.Added, done.Added);
        EXPECT_EQ(plan.ID3v1Changed, done.ID3v1Changed);
    }
}

TEST_F(Facade, TheReportNamesTheFramesThatGoAndCome) {
    Bytes file = Tag23(
        {Text23("TPE1", "Artist"), Text23("TIT2", "Title"), Apic23(3, Jpeg(1, 100)), Apic23(4, Jpeg(2, 80))});
    Append(file, Audio());
    auto path = Mp3(file);
    ASSERT_TRUE(Multitag.Open(path));
    Multitag.AddPicture({Picture(Jpeg(3, 300)), "FrontCover", ""});
    ASSERT_TRUE(Multitag.Save()) << Multitag.LastError();
    const TSaveReport& report = Multitag.LastReport();
    EXPECT_EQ(report.OldVersion, 0x0300);
    EXPECT_EQ(report.NewVersion, 0x0300);
    EXPECT_EQ(report.Removed, std::vector<std::string>{"APIC: Cover (front), image/jpeg, 100 bytes"});
    // The texts the record rewrites unchanged are no change; the empty ones it adds are.
    EXPECT_EQ(
        std::count(report.Added.begin(), report.Added.end(), "APIC: Cover (front), image/jpeg, 300 bytes"),
        1);
    for (const std::string& frame : report.Added) {
        EXPECT_EQ(frame.find("TPE1"), std::string::npos) << frame;
        EXPECT_EQ(frame.find("Cover (back)"), std::string::npos) << frame;
    }
    EXPECT_TRUE(report.ID3v1Changed) << "the file had no ID3v1 record";
    Multitag.Close();

    ASSERT_TRUE(Multitag.Open(path));
    ASSERT_TRUE(Multitag.RemoveAllPictures());
    EXPECT_EQ(Multitag.LastReport().Removed,
              (std::vector<std::string>{"APIC: Cover (back), image/jpeg, 80 bytes",
                                        "APIC: Cover (front), image/jpeg, 300 bytes"}));
    EXPECT_TRUE(Multitag.LastReport().Added.empty());
    Multitag.Close();
    // Nothing to remove: nothing written, and the report says so.
    ASSERT_TRUE(Multitag.Open(path));
    ASSERT_TRUE(Multitag.RemoveAllPictures());
    EXPECT_FALSE(Multitag.LastReport().Written);
}

TEST_F(Facade, APlannedSaveIsRefusedWhereTheSaveWouldBeAndRestoresNothing) {
    Bytes good = Tag23({Text23("TPE1", "Artist"), Apic23(3, Jpeg(1))});
    Append(good, Audio());
    Bytes text = Tag23({Text23("TPE1", "Artist")});
    Append(text, Str("This is a text file that someone named .mp3, not audio at all."));
    Multitag.PlanOnly = true;
    const auto cover = Picture(Jpeg(5));

    auto notAudio = Mp3(text, "text.mp3");
    ASSERT_TRUE(Multitag.Open(notAudio));
    Multitag.AddPicture({cover, "FrontCover", ""});
    EXPECT_FALSE(Multitag.Save());
    EXPECT_EQ(Multitag.LastError(), "not an MPEG audio file");
    Multitag.Close();

    // What the engine refuses to save (here an unsynchronised tag) is refused with the same
    // reason as the save gives.
    Bytes unsynchronised = good;
    unsynchronised[5] = 0x80;
    std::string reasons[2];
    for (const bool plan : {true, false}) {
        Multitag.PlanOnly = plan;
        auto file = Mp3(unsynchronised, plan ? "unsync-plan.mp3" : "unsync-save.mp3");
        ASSERT_TRUE(Multitag.Open(file));
        Multitag.AddPicture({cover, "FrontCover", ""});
        EXPECT_FALSE(Multitag.Save());
        reasons[plan ? 0 : 1] = Multitag.LastError();
        Multitag.Close();
        EXPECT_EQ(ReadFileBytes(file), unsynchronised);
    }
    EXPECT_NE(reasons[0].find("unsynchronised"), std::string::npos) << reasons[0];
    EXPECT_EQ(reasons[0], reasons[1]);
    Multitag.PlanOnly = true;

    // Changed since it was read.
    auto changed = Mp3(good, "changed.mp3");
    ASSERT_TRUE(Multitag.Open(changed));
    Bytes longer = good;
    Append(longer, Audio());
    WriteFileBytes(changed, longer);
    Multitag.AddPicture({cover, "FrontCover", ""});
    EXPECT_FALSE(Multitag.Save());
    EXPECT_EQ(Multitag.LastError(), "it changed since it was read");
    Multitag.Close();

    // A journal an interrupted save left: a real save would restore the file first, a planned
    // one leaves both as they are and says why it cannot tell.
    auto interrupted = Mp3(good, "interrupted.mp3");
    const auto journal = Dir / "interrupted.mp3.covrilo-journal.$$$";
    WriteFileBytes(journal, Str("journal bytes"));
    EXPECT_FALSE(Multitag.Open(interrupted));
    EXPECT_NE(
        Multitag.LastError().find("an interrupted save left its journal interrupted.mp3.covrilo-journal.$$$"),
        std::string::npos)
        << Multitag.LastError();
    EXPECT_FALSE(Multitag.Save());
    EXPECT_EQ(ReadFileBytes(journal), Str("journal bytes"));
    EXPECT_EQ(ReadFileBytes(interrupted), good);
    for (const auto& file : {notAudio, changed}) EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(ReadFileBytes(changed), longer);
    EXPECT_EQ(ReadFileBytes(notAudio), text);
}

TEST_F(Facade, PictureTypesAreThoseOfTheTag) {
    Bytes two = Tag23({Apic23(4, Jpeg(1)), Text23("TPE1", "A"), Apic23(3, Jpeg(2))});
    Append(two, Audio());
    Bytes none = Tag23({Text23("TPE1", "A")});
    Append(none, Audio());
    // Other writers' odd frames before a picture do not hide it.
    Bytes odd = Tag23({Text23("tit2", "lower case id"), Apic23(3, Jpeg(2))});
    Append(odd, Audio());
    const std::pair<Bytes, std::vector<uint8_t>> cases[] = {
        {two, {4, 3}}, {none, {}}, {Audio(), {}}, {odd, {3}}};
    for (const auto& [content, types] : cases) {
        ASSERT_TRUE(Multitag.Open(Mp3(content)));
        EXPECT_EQ(Multitag.PictureTypes(), types);
        Multitag.Close();
    }
    Multitag.Open(Dir / "missing.mp3");
    EXPECT_TRUE(Multitag.PictureTypes().empty());
}

TEST(PictureFileToBase64, EncodesInBlocksWithPaddingOnlyAtTheEnd) {
    TempDir dir;
    struct Case {
        size_t Size;
        size_t Chars;
    } cases[] = {{0, 0}, {1, 4}, {2736, 3648}, {2737, 3652}, {5472, 7296}, {5473, 7300}};
    for (const auto& c : cases) {
        Bytes data(c.Size);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
        auto file = dir / ("p" + std::to_string(c.Size));
        WriteFileBytes(file, data);
        std::string text = Tqmx_multitag::PictureFileToBase64(file);
        EXPECT_EQ(text.size(), c.Chars) << c.Size;
        EXPECT_EQ(text.find('='),
                  c.Size % 3 == 0 ? std::string::npos : text.size() - (c.Size % 3 == 1 ? 2 : 1));
    }
    EXPECT_EQ(Tqmx_multitag::PictureFileToBase64(dir / "p2737").substr(3648), "Vw==");  // last byte 0x57
    EXPECT_THROW(Tqmx_multitag::PictureFileToBase64(dir / "missing.jpg"), std::runtime_error);
}

}  // namespace
}  // namespace covrilo
