// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>

#include "id3v1/ID3v1.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using test::Bytes;
using test::ReadFileBytes;
using test::TempDir;
using test::ToBytes;
using test::WriteFileBytes;

// Stand-in for audio data: bytes that contain neither "TAG" nor a Lyrics3 mark.
Bytes Audio(size_t N = 1000) {
    Bytes b(N);
    for (size_t i = 0; i < N; ++i) b[i] = static_cast<uint8_t>(0x30 + i % 7);
    return b;
}

struct Slot {
    size_t At;
    std::string Text;
};

Bytes Record(std::initializer_list<Slot> Slots, uint8_t Genre = 17) {
    Bytes r(128, 0);
    std::memcpy(r.data(), "TAG", 3);
    for (const Slot& s : Slots) std::memcpy(r.data() + s.At, s.Text.data(), s.Text.size());
    r[127] = Genre;
    return r;
}

Bytes Concat(std::initializer_list<Bytes> Parts) {
    Bytes out;
    for (const Bytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A Lyrics3 v2.00 block from (id, data) pairs, sized as the published layout says.
Bytes Lyrics3Block(std::initializer_list<std::pair<std::string, std::string>> Fields) {
    std::string body = "LYRICSBEGIN";
    for (const auto& [id, data] : Fields) {
        char size[6];
        std::snprintf(size, sizeof size, "%05zu", data.size());
        body += id + size + data;
    }
    char total[7];
    std::snprintf(total, sizeof total, "%06zu", body.size());
    return ToBytes(body + total + "LYRICS200");
}

// Independent check of the published Lyrics3 v2.00 layout in front of a trailing
// ID3v1 record. Returns the fields in order as "ID=data" strings.
std::vector<std::pair<std::string, std::string>> CheckLyrics3Layout(const Bytes& File) {
    std::vector<std::pair<std::string, std::string>> fields;
    EXPECT_GE(File.size(), 128u + 15u + 11u);
    if (File.size() < 128 + 15 + 11) return fields;
    const std::string tail(File.end() - 128 - 15, File.end());
    EXPECT_EQ(tail.substr(15, 3), "TAG");
    EXPECT_EQ(tail.substr(6, 9), "LYRICS200");
    const std::string digits = tail.substr(0, 6);
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
    const size_t size = std::stoul(digits);
    EXPECT_LE(size + 128 + 15, File.size());
    if (size + 128 + 15 > File.size()) return fields;
    const std::string block(File.end() - 128 - 15 - static_cast<long>(size), File.end() - 128 - 15);
    EXPECT_EQ(block.substr(0, 11), "LYRICSBEGIN");
    size_t pos = 11;
    while (pos < block.size()) {
        EXPECT_GE(block.size() - pos, 8u);
        if (block.size() - pos < 8) break;
        const std::string id = block.substr(pos, 3);
        const std::string len = block.substr(pos + 3, 5);
        EXPECT_EQ(len.find_first_not_of("0123456789"), std::string::npos) << len;
        const size_t n = std::stoul(len);
        EXPECT_LE(n, block.size() - pos - 8);
        fields.emplace_back(id, block.substr(pos + 8, n));
        pos += 8 + n;
    }
    EXPECT_EQ(pos, block.size());
    return fields;
}

// Holds an flock on a file as another program would.
class OtherProcessLock {
   public:
    OtherProcessLock(const std::filesystem::path& File, int Op) : fd_(::open(File.c_str(), O_RDONLY)) {
        EXPECT_GE(fd_, 0);
        EXPECT_EQ(::flock(fd_, Op | LOCK_NB), 0);
    }
    ~OtherProcessLock() { ::close(fd_); }

   private:
    int fd_;
};

// --- reading the record --------------------------------------------------------

TEST(ID3v1Read, FileWithoutTagOrBlock) {
    TempDir dir;
    for (size_t size : {size_t{0}, size_t{5}, size_t{127}, size_t{4000}}) {
        WriteFileBytes(dir / "a.mp3", Audio(size));
        TID3v1 tag;
        EXPECT_TRUE(tag.ReadFromFile(dir / "a.mp3")) << size;
        EXPECT_FALSE(tag.Exists);
        EXPECT_FALSE(tag.Lyrics3Exists);
        EXPECT_EQ(tag.Genre, 255);
        EXPECT_EQ(tag.GetGenreName(), "");
    }
    TID3v1 tag;
    EXPECT_FALSE(tag.ReadFromFile(dir / "missing.mp3"));
}

TEST(ID3v1Read, VersionDetectionFromBytes125And126) {
    const std::string comment30 = "abcdefghijklmnopqrstuvwxyz0123";
    struct Case {
        uint8_t B125, B126;
        uint8_t Version, Track;
        std::string Comment;
    } cases[] = {
        {0, 5, 2, 5, comment30.substr(0, 28)},
        {' ', 'A', 2, 65, comment30.substr(0, 28)},
        {0, 0, 1, 0, comment30.substr(0, 28)},  // zeros end the text: no track
        {'x', 'y', 1, 0, comment30.substr(0, 28) + "xy"},
        {' ', ' ', 1, 0, comment30.substr(0, 28)},  // space padding is no track
    };
    TempDir dir;
    for (const Case& c : cases) {
        Bytes rec = Record({{3, "Title"}, {97, comment30}});
        rec[125] = c.B125;
        rec[126] = c.B126;
        WriteFileBytes(dir / "a.mp3", Concat({Audio(), rec}));
        TID3v1 tag;
        ASSERT_TRUE(tag.ReadFromFile(dir / "a.mp3"));
        EXPECT_TRUE(tag.Exists);
        EXPECT_EQ(tag.VersionID, c.Version) << int(c.B125) << "/" << int(c.B126);
        EXPECT_EQ(tag.TrackNo, c.Track) << int(c.B125) << "/" << int(c.B126);
        EXPECT_EQ(tag.Comment, c.Comment) << int(c.B125) << "/" << int(c.B126);
    }
}

TEST(ID3v1Read, SlotsLoseTheirPaddingAndLeftoversAfterAZero) {
    TempDir dir;
    WriteFileBytes(dir / "a.mp3", Concat({Audio(), Record({{3, std::string("Song  \0junk", 11)},
                                                           {33, std::string(30, 'A')},
                                                           {63, "Album                         "},
                                                           {93, "1999"},
                                                           {97, "note   "}},
                                                          79)}));
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadFromFile(dir / "a.mp3"));
    EXPECT_EQ(tag.Title, "Song");  // what follows the zero is not text
    EXPECT_EQ(tag.Artist, std::string(30, 'A'));
    EXPECT_EQ(tag.ExtArtist, "");  // 30 characters fit the record
    EXPECT_EQ(tag.Album, "Album");
    EXPECT_EQ(tag.Year, "1999");
    EXPECT_EQ(tag.Comment, "note");
    EXPECT_EQ(tag.Genre, 79);
    EXPECT_EQ(tag.GetGenreName(), "Hard Rock");
}

// --- setters and genres --------------------------------------------------------

TEST(ID3v1Values, LongValuesGoToTheExtendedFields) {
    TID3v1 tag;
    tag.SetTitle(std::string(30, 't') + " \t ");
    EXPECT_EQ(tag.Title, std::string(30, 't'));
    EXPECT_EQ(tag.ExtTitle, "");
    tag.SetTitle(std::string(31, 't'));
    EXPECT_EQ(tag.ExtTitle, std::string(31, 't'));
    EXPECT_EQ(tag.GetTitle(), std::string(31, 't'));
    tag.SetTitle("short");
    EXPECT_EQ(tag.ExtTitle, "");
    EXPECT_EQ(tag.GetTitle(), "short");
    tag.SetYear("20245 ");
    EXPECT_EQ(tag.Year, "2024");
}

TEST(ID3v1Values, GenreNames) {
    struct Case {
        std::string Name;
        bool DefaultOther;
        int Genre;
    } cases[] = {
        {"Rock", false, 17},
        {"rock", false, 17},
        {"hIP-hOP", false, 7},
        {"A capella", false, 123},
        {"Christian Rock", false, 141},
        {"Synthpop", false, 147},
        {"Unknown", false, 255},
        {"Polka Dots", false, 255},
        {"", false, 255},
        {"Polka Dots", true, 12},
        {"", true, 255},
    };
    for (const Case& c : cases) {
        TID3v1 tag;
        tag.DefaultGenreOther = c.DefaultOther;
        tag.SetGenreName(c.Name);
        EXPECT_EQ(tag.Genre, c.Genre) << c.Name;
    }
    TID3v1 tag;
    tag.Genre = 147;
    EXPECT_EQ(tag.GetGenreName(), "Synthpop");
    for (int g : {148, 200, 255}) {
        tag.Genre = static_cast<uint8_t>(g);
        EXPECT_EQ(tag.GetGenreName(), "") << g;
    }
}

// --- writing -------------------------------------------------------------------

TEST(ID3v1Write, RecordLayout) {
    TempDir dir;
    const Bytes audio = Audio();
    WriteFileBytes(dir / "a.mp3", audio);
    TID3v1 tag;
    tag.SetTitle(std::string(40, 'T'));
    tag.SetArtist("Artist");
    tag.SetAlbum(std::string(30, 'L'));
    tag.SetYear("19999");
    tag.SetComment(std::string(30, 'c'));
    tag.SetTrackNo(7);
    tag.SetGenreName("Jazz");
    ASSERT_TRUE(tag.SaveToFile(dir / "a.mp3"));
    EXPECT_TRUE(tag.Exists);
    EXPECT_FALSE(tag.Lyrics3Exists);

    const Bytes file = ReadFileBytes(dir / "a.mp3");
    // No lyrics, author or images: no block, so the long title is cut to the slot.
    ASSERT_EQ(file.size(), audio.size() + 128);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), file.begin()));
    Bytes expected = Record({{3, std::string(30, 'T')},
                             {33, "Artist"},
                             {63, std::string(30, 'L')},
                             {93, "1999"},
                             {97, std::string(28, 'c')}},
                            8);
    expected[126] = 7;
    EXPECT_EQ(Bytes(file.end() - 128, file.end()), expected);
}

TEST(ID3v1Write, NoTrackKeepsThirtyCommentCharacters) {
    TempDir dir;
    WriteFileBytes(dir / "a.mp3", Audio());
    TID3v1 tag;
    tag.SetComment(std::string(29, 'c') + "Z");
    ASSERT_TRUE(tag.SaveToFile(dir / "a.mp3"));
    const Bytes file = ReadFileBytes(dir / "a.mp3");
    EXPECT_EQ(file[file.size() - 3], 'c');
    EXPECT_EQ(file[file.size() - 2], 'Z');
    EXPECT_EQ(file.back(), 255);
    TID3v1 back;
    ASSERT_TRUE(back.ReadFromFile(dir / "a.mp3"));
    EXPECT_EQ(back.VersionID, 1);
    EXPECT_EQ(back.Comment, std::string(29, 'c') + "Z");
}

TEST(ID3v1Write, Lyrics3BlockLayoutAndRoundTrip) {
    TempDir dir;
    const Bytes audio = Audio();
    WriteFileBytes(dir / "a.mp3", audio);
    TID3v1 tag;
    const std::string longTitle = "A title that is much longer than thirty characters";
    const std::string longComment = std::string(45, 'k') + " end";
    tag.SetTitle(longTitle);
    tag.SetArtist("Short Artist");
    tag.SetComment(longComment);
    tag.Lyrics = "line one\r\nline two\r\nline three";
    tag.Author = "Writer";
    tag.ImageLinks = "cover.jpg||front\r\n";
    ASSERT_TRUE(tag.SaveToFile(dir / "a.mp3"));

    const Bytes file = ReadFileBytes(dir / "a.mp3");
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), file.begin()));
    const auto fields = CheckLyrics3Layout(file);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"IND", "10"},     {"ETT", longTitle},  {"INF", longComment},
        {"AUT", "Writer"}, {"LYR", tag.Lyrics}, {"IMG", "cover.jpg||front\r\n"},
    };
    EXPECT_EQ(fields, expected);
    EXPECT_EQ(tag.GetLyrics3Size(), static_cast<int>(file.size() - audio.size() - 128));

    TID3v1 back;
    ASSERT_TRUE(back.ReadFromFile(dir / "a.mp3"));
    EXPECT_TRUE(back.Exists);
    EXPECT_TRUE(back.Lyrics3Exists);
    EXPECT_EQ(back.GetLyrics3Size(), tag.GetLyrics3Size());
    EXPECT_EQ(back.GetTitle(), longTitle);
    EXPECT_EQ(back.Title, longTitle);
    EXPECT_EQ(back.GetArtist(), "Short Artist");
    EXPECT_EQ(back.GetComment(), longComment);
    EXPECT_EQ(back.Lyrics, tag.Lyrics);
    EXPECT_EQ(back.Author, "Writer");
    EXPECT_EQ(back.ImageLinks, "cover.jpg||front\r\n");  // kept byte for byte

    // Saving the read values again gives the same file: nothing piles up.
    ASSERT_TRUE(back.SaveToFile(dir / "a.mp3"));
    EXPECT_EQ(ReadFileBytes(dir / "a.mp3"), file);
}

TEST(ID3v1Write, BlockNeedsLyricsAuthorOrImages) {
    struct Case {
        const char* What;
        std::string Lyrics, Author, Images;
        bool LongTitle;
        bool Always;
        bool BlockExpected;
    } cases[] = {
        {"only a long title", "", "", "", true, false, false},
        {"long title, always", "", "", "", true, true, true},
        {"author", "", "Me", "", false, false, true},
        {"lyrics", "la la", "", "", false, false, true},
        // Image links alone are content too: dropping them would lose them.
        {"image links alone", "", "", "pic.jpg||", false, false, true},
        {"blank lyrics only", "  \r\n ", "", "", false, false, false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFileBytes(dir / "a.mp3", Audio());
        TID3v1 tag;
        tag.AlwaysWriteLyrics3 = c.Always;
        tag.SetTitle(c.LongTitle ? std::string(35, 'x') : "x");
        tag.Lyrics = c.Lyrics;
        tag.Author = c.Author;
        tag.ImageLinks = c.Images;
        ASSERT_TRUE(tag.SaveToFile(dir / "a.mp3")) << c.What;
        const Bytes file = ReadFileBytes(dir / "a.mp3");
        const bool hasBlock = file.size() > Audio().size() + 128;
        EXPECT_EQ(hasBlock, c.BlockExpected) << c.What;
        EXPECT_EQ(tag.Lyrics3Exists, c.BlockExpected) << c.What;
        if (hasBlock) CheckLyrics3Layout(file);
    }
}

TEST(ID3v1Write, LyricsCarriedIntoAFreshWriterSurvive) {
    // How a caller keeps a file's lyrics over a new record: read them with one object,
    // hand them to the writer along with the new values.
    TempDir dir;
    const Bytes audio = Audio();
    WriteFileBytes(
        dir / "a.mp3",
        Concat(
            {audio,
             Lyrics3Block(
                 {{"IND", "10"}, {"AUT", "Poet"}, {"LYR", "verse\r\nchorus"}, {"IMG", "pic.jpg||cover\r\n"}}),
             Record({{3, "Old"}})}));
    TID3v1 reader;
    ASSERT_TRUE(reader.ReadFromFile(dir / "a.mp3"));
    TID3v1 writer;
    writer.SetTitle("New title");
    writer.SetGenreName("Blues");
    writer.Lyrics = reader.Lyrics;
    writer.Author = reader.Author;
    writer.ImageLinks = reader.ImageLinks;
    ASSERT_TRUE(writer.SaveToFile(dir / "a.mp3"));

    const Bytes file = ReadFileBytes(dir / "a.mp3");
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), file.begin()));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"IND", "10"}, {"AUT", "Poet"}, {"LYR", "verse\r\nchorus"}, {"IMG", "pic.jpg||cover\r\n"}};
    EXPECT_EQ(CheckLyrics3Layout(file), expected);
    TID3v1 back;
    ASSERT_TRUE(back.ReadFromFile(dir / "a.mp3"));
    EXPECT_EQ(back.GetTitle(), "New title");
    EXPECT_EQ(back.GetGenreName(), "Blues");
    EXPECT_EQ(back.Lyrics, "verse\r\nchorus");
}

TEST(ID3v1Write, FieldsTooLongForTheBlockAreLeftOut) {
    TempDir dir;
    WriteFileBytes(dir / "a.mp3", Audio());
    TID3v1 tag;
    tag.Lyrics = std::string(Lyrics3MaxFieldSize + 1, 'l');
    tag.Author = "Author";
    tag.SetTitle(std::string(Lyrics3MaxFieldSize, 't'));  // exactly fits
    ASSERT_TRUE(tag.SaveToFile(dir / "a.mp3"));
    const auto fields = CheckLyrics3Layout(ReadFileBytes(dir / "a.mp3"));
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0], std::make_pair(std::string("IND"), std::string("00")));  // no lyrics written
    EXPECT_EQ(fields[1].first, "ETT");
    EXPECT_EQ(fields[1].second.size(), Lyrics3MaxFieldSize);
    EXPECT_EQ(fields[2], std::make_pair(std::string("AUT"), std::string("Author")));

    // Nothing left that fits: no block at all rather than an empty one.
    WriteFileBytes(dir / "b.mp3", Audio());
    TID3v1 only;
    only.Lyrics = std::string(Lyrics3MaxFieldSize + 1, 'l');
    ASSERT_TRUE(only.SaveToFile(dir / "b.mp3"));
    EXPECT_EQ(ReadFileBytes(dir / "b.mp3").size(), Audio().size() + 128);
    EXPECT_FALSE(only.Lyrics3Exists);
}

TEST(ID3v1Write, SaveReplacesOldRecordAndBlock) {
    TempDir dir;
    const Bytes audio = Audio();
    WriteFileBytes(dir / "a.mp3", Concat({audio, Lyrics3Block({{"IND", "10"}, {"LYR", "old lyrics"}}),
                                          Record({{3, "Old"}})}));
    TID3v1 tag;
    tag.SetTitle("New");
    ASSERT_TRUE(tag.SaveToFile(dir / "a.mp3"));
    const Bytes file = ReadFileBytes(dir / "a.mp3");
    ASSERT_EQ(file.size(), audio.size() + 128);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), file.begin()));
    EXPECT_EQ(std::string(file.end() - 125, file.end() - 122), "New");
}

TEST(ID3v1Write, ObjectReusedForAnotherFileDoesNotCutAudio) {
    TempDir dir;
    const Bytes audio = Audio();
    WriteFileBytes(dir / "a.mp3", Concat({audio, Record({{3, "A"}})}));
    WriteFileBytes(dir / "b.mp3", audio);
    TID3v1 tag;
    tag.SetTitle("T");
    ASSERT_TRUE(tag.SaveToFile(dir / "a.mp3"));
    ASSERT_TRUE(tag.Exists);
    // Looking at a file without record must not keep the flags of the last file.
    ASSERT_TRUE(tag.LoadTag(dir / "b.mp3", false));
    EXPECT_FALSE(tag.Exists);
    EXPECT_EQ(tag.GetTitle(), "T");  // values stay when they are not read
    ASSERT_TRUE(tag.SaveToFile(dir / "a.mp3"));
    ASSERT_TRUE(tag.RemoveFromFile(dir / "b.mp3", false));
    EXPECT_EQ(ReadFileBytes(dir / "b.mp3"), audio);
    ASSERT_TRUE(tag.SaveToFile(dir / "a.mp3"));
    ASSERT_TRUE(tag.SaveToFile(dir / "b.mp3"));
    const Bytes file = ReadFileBytes(dir / "b.mp3");
    ASSERT_EQ(file.size(), audio.size() + 128);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), file.begin()));
}

// --- Lyrics3 reading and damage ------------------------------------------------

TEST(ID3v1Lyrics3, FieldsAreReadIntoTheValues) {
    TempDir dir;
    const std::string longArtist(33, 'R');
    WriteFileBytes(dir / "a.mp3", Concat({Audio(),
                                          Lyrics3Block({{"IND", "10"},
                                                        {"EAR", longArtist},
                                                        {"EAL", "  Album Extended  "},
                                                        {"INF", "Info text"},
                                                        {"AUT", "Author"},
                                                        {"LYR", " one\rtwo\r\nthree\r\n\n "},
                                                        {"IMG", " link "}}),
                                          Record({{3, "Short"}, {33, std::string(30, 'R')}})}));
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadFromFile(dir / "a.mp3"));
    EXPECT_TRUE(tag.Lyrics3Exists);
    EXPECT_EQ(tag.GetTitle(), "Short");
    EXPECT_EQ(tag.GetArtist(), longArtist);
    EXPECT_EQ(tag.ExtArtist, longArtist);
    EXPECT_EQ(tag.GetAlbum(), "Album Extended");
    EXPECT_EQ(tag.ExtAlbum, "");  // short enough for the record
    EXPECT_EQ(tag.GetComment(), "Info text");
    EXPECT_EQ(tag.Author, "Author");
    EXPECT_EQ(tag.Lyrics, "one\r\ntwo\r\nthree");
    EXPECT_EQ(tag.ImageLinks, " link ");
}

TEST(ID3v1Lyrics3, LoneCarriageReturnsBecomeLineEnds) {
    TempDir dir;
    WriteFileBytes(dir / "a.mp3",
                   Concat({Audio(), Lyrics3Block({{"IND", "10"}, {"LYR", "a\rb\r\nc\r\n\nd"}}), Record({})}));
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadFromFile(dir / "a.mp3"));
    EXPECT_EQ(tag.Lyrics, "a\r\nb\r\nc\r\n\nd");
}

TEST(ID3v1Lyrics3, BlockWithoutRecordIsFoundAndRemoved) {
    TempDir dir;
    const Bytes audio = Audio();
    WriteFileBytes(dir / "a.mp3", Concat({audio, Lyrics3Block({{"IND", "10"}, {"LYR", "words"}})}));
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadFromFile(dir / "a.mp3"));
    EXPECT_FALSE(tag.Exists);
    EXPECT_TRUE(tag.Lyrics3Exists);
    EXPECT_EQ(tag.Lyrics, "words");
    ASSERT_TRUE(tag.RemoveFromFile(dir / "a.mp3", false));
    EXPECT_EQ(ReadFileBytes(dir / "a.mp3"), audio);
}

TEST(ID3v1Lyrics3, DamagedBlocks) {
    const Bytes good = Lyrics3Block({{"IND", "10"}, {"LYR", "words"}});
    auto digits6 = [](size_t N) {
        char s[7];
        std::snprintf(s, sizeof s, "%06zu", N);
        return std::string(s);
    };
    auto withTrailerSize = [&](const std::string& Digits) {
        Bytes b = good;
        std::memcpy(b.data() + b.size() - 15, Digits.data(), 6);
        return b;
    };
    struct Case {
        const char* What;
        Bytes Block;
        bool Exists;
        std::string Lyrics;
    } cases[] = {
        {"size one too small", withTrailerSize(digits6(good.size() - 15 - 1)), false, ""},
        {"size larger than the file", withTrailerSize("999999"), false, ""},
        {"size not a number", withTrailerSize("00x027"), false, ""},
        {"size zero", withTrailerSize("000000"), false, ""},
        {"field size past the block", Lyrics3Block({{"IND", "10"}, {"AUT", "who"}, {"LYR", "words"}}), true,
         ""},
        {"unknown field ends the list", Lyrics3Block({{"IND", "10"}, {"XYZ", "?"}, {"LYR", "words"}}), true,
         ""},
    };
    // Make the field-size case damaged: claim more lyrics than the block holds.
    {
        Bytes& b = cases[4].Block;
        const std::string block(b.begin(), b.end());
        const size_t at = block.find("LYR00005");
        ASSERT_NE(at, std::string::npos);
        std::memcpy(b.data() + at + 3, "00099", 5);
    }
    TempDir dir;
    const Bytes audio = Audio();
    for (const Case& c : cases) {
        const Bytes original = Concat({audio, c.Block, Record({{3, "T"}})});
        WriteFileBytes(dir / "a.mp3", original);
        TID3v1 tag;
        ASSERT_TRUE(tag.ReadFromFile(dir / "a.mp3")) << c.What;
        EXPECT_TRUE(tag.Exists) << c.What;
        EXPECT_EQ(tag.GetTitle(), "T") << c.What;
        EXPECT_EQ(tag.Lyrics3Exists, c.Exists) << c.What;
        EXPECT_EQ(tag.Lyrics, c.Lyrics) << c.What;
        if (std::string(c.What) == "field size past the block") {
            EXPECT_EQ(tag.Author, "who");
        }
        // A block that is not recognised is left in place: only the record goes.
        ASSERT_TRUE(tag.RemoveFromFile(dir / "a.mp3", false)) << c.What;
        const Bytes after = ReadFileBytes(dir / "a.mp3");
        EXPECT_EQ(after.size(), c.Exists ? audio.size() : original.size() - 128) << c.What;
    }
}

// --- removing ------------------------------------------------------------------

TEST(ID3v1Remove, RecordAndBlock) {
    TempDir dir;
    const Bytes audio = Audio();
    const Bytes block = Lyrics3Block({{"IND", "00"}, {"ETT", std::string(40, 'e')}});
    WriteFileBytes(dir / "a.mp3", Concat({audio, block, Record({{3, "Title"}})}));

    TID3v1 tag;
    ASSERT_TRUE(tag.ReadFromFile(dir / "a.mp3"));
    EXPECT_EQ(tag.GetLyrics3Size(), static_cast<int>(block.size()));
    ASSERT_TRUE(tag.RemoveFromFile(dir / "a.mp3", false));
    EXPECT_FALSE(tag.Exists);
    EXPECT_FALSE(tag.Lyrics3Exists);
    EXPECT_EQ(ReadFileBytes(dir / "a.mp3"), audio);
    // Nothing left: still a success, file untouched.
    ASSERT_TRUE(tag.RemoveFromFile(dir / "a.mp3", false));
    EXPECT_EQ(ReadFileBytes(dir / "a.mp3"), audio);
}

TEST(ID3v1Remove, KeepID3v1WritesTheRecordWithoutBlock) {
    TempDir dir;
    const Bytes audio = Audio();
    WriteFileBytes(dir / "a.mp3",
                   Concat({audio, Lyrics3Block({{"IND", "10"}, {"LYR", "words"}}), Record({{3, "Title"}})}));
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadFromFile(dir / "a.mp3"));
    tag.SetArtist("Changed");
    ASSERT_TRUE(tag.RemoveFromFile(dir / "a.mp3", true));
    EXPECT_TRUE(tag.Exists);
    const Bytes file = ReadFileBytes(dir / "a.mp3");
    ASSERT_EQ(file.size(), audio.size() + 128);
    TID3v1 back;
    ASSERT_TRUE(back.ReadFromFile(dir / "a.mp3"));
    EXPECT_EQ(back.Title, "Title");
    EXPECT_EQ(back.Artist, "Changed");
    EXPECT_FALSE(back.Lyrics3Exists);
}

// --- file access ---------------------------------------------------------------

TEST(ID3v1Files, WritersAndReadersRespectOtherLocks) {
    TempDir dir;
    const Bytes original = Concat({Audio(), Record({{3, "Title"}})});
    WriteFileBytes(dir / "a.mp3", original);
    {
        // Someone reading it: no write may start.
        OtherProcessLock reader(dir / "a.mp3", LOCK_SH);
        TID3v1 tag;
        tag.SetTitle("New");
        EXPECT_FALSE(tag.SaveToFile(dir / "a.mp3"));
        EXPECT_FALSE(tag.SaveTag(dir / "a.mp3", true));
        EXPECT_FALSE(tag.RemoveFromFile(dir / "a.mp3", false));
        EXPECT_EQ(ReadFileBytes(dir / "a.mp3"), original);
        TID3v1 other;
        EXPECT_TRUE(other.ReadFromFile(dir / "a.mp3"));  // reading alongside is fine
        EXPECT_EQ(other.Title, "Title");
    }
    {
        // Someone writing it: no read.
        OtherProcessLock writer(dir / "a.mp3", LOCK_EX);
        TID3v1 tag;
        EXPECT_FALSE(tag.ReadFromFile(dir / "a.mp3"));
        // A remove that could not look at the file did not succeed.
        EXPECT_FALSE(tag.RemoveFromFile(dir / "a.mp3", false));
    }
    TID3v1 tag;
    EXPECT_FALSE(tag.SaveToFile(dir / "missing.mp3"));
}

TEST(ID3v1Files, KeepFileTime) {
    TempDir dir;
    WriteFileBytes(dir / "a.mp3", Concat({Audio(), Record({{3, "Title"}})}));
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    for (bool keep : {true, false}) {
        std::filesystem::last_write_time(dir / "a.mp3", old);
        TID3v1 tag;
        tag.KeepFileTime = keep;
        tag.SetTitle(keep ? "Kept" : "Moved");
        ASSERT_TRUE(tag.SaveToFile(dir / "a.mp3"));
        EXPECT_EQ(std::filesystem::last_write_time(dir / "a.mp3") == old, keep);
    }
}

}  // namespace
}  // namespace covrilo
