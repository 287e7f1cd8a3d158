// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/ID3v2.h"
#include "io/EnhancedStreams.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using test::Bytes;

Bytes Str(std::string_view S) { return Bytes(S.begin(), S.end()); }

Bytes Cat(std::initializer_list<Bytes> Parts) {
    Bytes out;
    for (const Bytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// UTF-16LE with a byte-order mark, no terminator.
Bytes Utf16(std::u16string_view S, bool BigEndian = false) {
    Bytes out = BigEndian ? Bytes{0xFE, 0xFF} : Bytes{0xFF, 0xFE};
    for (char16_t c : S) {
        const auto lo = static_cast<uint8_t>(c & 0xFF), hi = static_cast<uint8_t>(c >> 8);
        if (BigEndian) {
            out.push_back(hi);
            out.push_back(lo);
        } else {
            out.push_back(lo);
            out.push_back(hi);
        }
    }
    return out;
}

Bytes Frame(uint8_t Version, std::string_view Id, const Bytes& Content, uint8_t Flags2 = 0) {
    Bytes out = Str(Id);
    const auto n = static_cast<uint32_t>(Content.size());
    if (Version == 2) {
        out.insert(out.end(), {uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    } else {
        out.insert(out.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0, Flags2});
    }
    out.insert(out.end(), Content.begin(), Content.end());
    return out;
}

Bytes Latin(std::string_view S) { return Cat({Bytes{0}, Str(S)}); }

// A tag of the given version around the frames, with padding, followed by fake audio.
Bytes Tag(uint8_t Version, const Bytes& Frames, uint32_t Padding = 16, uint8_t Flags = 0) {
    const uint32_t size = static_cast<uint32_t>(Frames.size()) + Padding;
    Bytes out = {'I',
                 'D',
                 '3',
                 Version,
                 0,
                 Flags,
                 uint8_t((size >> 21) & 0x7F),
                 uint8_t((size >> 14) & 0x7F),
                 uint8_t((size >> 7) & 0x7F),
                 uint8_t(size & 0x7F)};
    out.insert(out.end(), Frames.begin(), Frames.end());
    out.resize(out.size() + Padding, 0);
    if (Flags & 0x10)
        out.insert(out.end(), {'3', 'D', 'I', Version, 0, Flags, out[6], out[7], out[8], out[9]});
    out.resize(out.size() + 64, 0xAA);
    return out;
}

TID3v2 Probe(const Bytes& Data, bool ExpectOk = true) {
    TCustomMemoryStream stream(Data);
    TID3v2 probe;
    EXPECT_EQ(probe.ReadFromStream(stream), ExpectOk);
    return probe;
}

TEST(ID3v2Probe, ReadsVersion23Frames) {
    const Bytes frames = Cat({
        Frame(3, "TIT2", Latin("  Title One ")),
        Frame(3, "TPE1", Cat({Bytes{1}, Utf16(u"Bj\u00F6rk \u20AC"), Bytes{0, 0}})),
        Frame(3, "TALB", Latin("Album")),
        Frame(3, "TRCK", Latin("3/12")),
        Frame(3, "TYER", Latin("1999")),
        Frame(3, "TCON", Latin("(17)Rock")),
        Frame(3, "COMM", Cat({Bytes{0}, Str("eng"), Str("desc"), Bytes{0}, Str("the comment")})),
        Frame(3, "TCOM", Latin("Composer")),
        Frame(3, "TENC", Latin("Encoder")),
        Frame(3, "TCOP", Latin("(C) Someone")),
        Frame(3, "TLAN", Latin("eng")),
        Frame(3, "WXXX", Cat({Bytes{0}, Str("home"), Bytes{0}, Str("http://example.org/")})),
        Frame(3, "TSIZ", Latin("12345")),
    });
    const Bytes file = Tag(3, frames, 20);
    const TID3v2 p = Probe(file);
    EXPECT_TRUE(p.Exists);
    EXPECT_EQ(p.VersionID, 3);
    EXPECT_EQ(p.Size, static_cast<int>(10 + frames.size() + 20));
    EXPECT_EQ(p.Title, "Title One");
    EXPECT_EQ(p.Artist, "Bj\xF6rk \x80");  // Windows-1252
    EXPECT_EQ(p.Album, "Album");
    EXPECT_EQ(p.TrackNo, 3);
    EXPECT_EQ(p.TrackString, "3/12");
    EXPECT_EQ(p.Year, "1999");
    EXPECT_EQ(p.Genre, "Rock");
    EXPECT_EQ(p.Comment, "the comment");
    EXPECT_EQ(p.Composer, "Composer");
    EXPECT_EQ(p.EncodedBy, "Encoder");
    EXPECT_EQ(p.Copyright, "(C) Someone");
    EXPECT_EQ(p.Language, "eng");
    EXPECT_EQ(p.URL, "http://example.org/");
    EXPECT_EQ(p.SizeText, "12345");
}

TEST(ID3v2Probe, ReadsVersion22Frames) {
    const Bytes frames = Cat({
        Frame(2, "TT2", Latin("Old Title")),
        Frame(2, "TP1", Latin("Old Artist")),
        Frame(2, "TAL", Latin("Old Album")),
        Frame(2, "TRK", Latin("7")),
        Frame(2, "TOR", Latin("1988-01-01")),
        Frame(2, "COM", Cat({Bytes{0}, Str("eng"), Bytes{0}, Str("two-two")})),
        Frame(2, "TEN", Latin("enc")),
        Frame(2, "WXX", Cat({Bytes{0}, Bytes{0}, Str("http://x.test/")})),
        // A four-letter identifier means nothing in a 2.2 tag.
        Frame(2, "TCO", Latin("Jazz")),
    });
    const TID3v2 p = Probe(Tag(2, frames));
    EXPECT_EQ(p.VersionID, 2);
    EXPECT_EQ(p.Title, "Old Title");
    EXPECT_EQ(p.Artist, "Old Artist");
    EXPECT_EQ(p.Album, "Old Album");
    EXPECT_EQ(p.TrackNo, 7);
    EXPECT_EQ(p.Year, "1988");  // second choice, first four characters
    EXPECT_EQ(p.Comment, "two-two");
    EXPECT_EQ(p.EncodedBy, "enc");
    EXPECT_EQ(p.URL, "http://x.test/");
    EXPECT_EQ(p.Genre, "Jazz");
    // 2.3 identifiers in a 2.2 tag are not taken.
    const TID3v2 q = Probe(Tag(2, Frame(2, "TIT", Latin("x"))));
    EXPECT_EQ(q.Title, "");
}

TEST(ID3v2Probe, SecondChoicesAndIgnoredEncodings) {
    const Bytes frames = Cat({
        // UTF-8 and UTF-16BE frames are not read; the second choice fills in.
        Frame(4, "TIT2", Cat({Bytes{3}, Str("utf8 title")})),
        Frame(4, "TIT1", Latin("Group Title")),
        Frame(4, "TPE1", Cat({Bytes{2}, Bytes{0, 'A'}})),
        Frame(4, "TOPE", Latin("Original Artist")),
        Frame(4, "TOAL", Latin("Original Album")),
        Frame(4, "TDRC", Latin("2004-05-06")),
    });
    const TID3v2 p = Probe(Tag(4, frames));
    EXPECT_EQ(p.Title, "Group Title");
    EXPECT_EQ(p.Artist, "Original Artist");
    EXPECT_EQ(p.Album, "Original Album");
    EXPECT_EQ(p.Year, "2004");
    // A later frame with the same identifier replaces the earlier one.
    const TID3v2 q =
        Probe(Tag(3, Cat({Frame(3, "TIT2", Latin("first")), Frame(3, "TIT2", Latin("second"))})));
    EXPECT_EQ(q.Title, "second");
}

TEST(ID3v2Probe, GenreAndTrackTexts) {
    struct Case {
        const char* Tcon;
        const char* Genre;
    };
    const Case genres[] = {
        {"(17)Rock", "Rock"},
        {"Pop", "Pop"},
        {"(17)(18)Techno", "Techno"},
        // A numbered reference alone keeps its meaning.
        {"(17)", "Rock"},
        {"(0)", "Blues"},
        {"(200)", ""},
        {"(RX)", ""},
        // Parentheses inside a free genre are part of its name.
        {"Drum & Bass (Liquid)", "Drum & Bass (Liquid)"},
    };
    for (const Case& c : genres) {
        SCOPED_TRACE(c.Tcon);
        EXPECT_EQ(Probe(Tag(3, Frame(3, "TCON", Latin(c.Tcon)))).Genre, c.Genre);
    }
    struct Track {
        const char* Trck;
        int Number;
    };
    const Track tracks[] = {{"3/12", 3}, {"12", 12}, {" 05 / 9", 5},     {"A1", 0},
                            {"/3", 0},   {"-2", 0},  {"99999999999", 0}, {"70000", 70000 & 0xFFFF}};
    for (const Track& t : tracks) {
        SCOPED_TRACE(t.Trck);
        const TID3v2 p = Probe(Tag(3, Frame(3, "TRCK", Latin(t.Trck))));
        EXPECT_EQ(p.TrackNo, t.Number);
    }
}

TEST(ID3v2Probe, Utf16Texts) {
    const Bytes frames = Cat({
        // Big-endian with its byte-order mark.
        Frame(3, "TIT2", Cat({Bytes{1}, Utf16(u"Big \u00E9nd", true), Bytes{0, 0}})),
        // A character whose low byte is 0xFF is a character, not a byte-order mark.
        Frame(3, "TPE1", Cat({Bytes{1}, Utf16(u"\u00FFx"), Bytes{0, 0}})),
        // A one-character description ends on an odd byte: the terminator is the next aligned pair.
        Frame(3, "COMM",
              Cat({Bytes{1}, Str("eng"), Utf16(u"A"), Bytes{0, 0}, Utf16(u"Comment"), Bytes{0, 0}})),
        // The URL of a link frame is one-byte text even when its description is UTF-16.
        Frame(3, "WXXX", Cat({Bytes{1}, Utf16(u"D"), Bytes{0, 0}, Str("http://u.test/")})),
        // No byte-order mark: little-endian.
        Frame(3, "TALB", Cat({Bytes{1}, Bytes{'N', 0, 'o', 0, 'B', 0}})),
    });
    const TID3v2 p = Probe(Tag(3, frames));
    EXPECT_EQ(p.Title, "Big \xE9nd");
    EXPECT_EQ(p.Artist, "\xFFx");
    EXPECT_EQ(p.Comment, "Comment");
    EXPECT_EQ(p.URL, "http://u.test/");
    EXPECT_EQ(p.Album, "NoB");
}

TEST(ID3v2Probe, LongAndSkippedFrames) {
    std::string longTitle(600, 'T');
    longTitle.replace(0, 5, "Start");
    const Bytes frames = Cat({
        Frame(3, "TIT2", Latin(longTitle)),
        // Compressed frame (second flag byte bit 7): skipped, the next one is still found.
        Frame(3, "TPE1", Latin("compressed"), 0x80),
        Frame(3, "TALB", Latin("after")),
    });
    const TID3v2 p = Probe(Tag(3, frames));
    EXPECT_EQ(p.Title, "Start" + std::string(499 - 5, 'T'));  // 500 bytes less the encoding byte
    EXPECT_EQ(p.Artist, "");
    EXPECT_EQ(p.Album, "after");
}

TEST(ID3v2Probe, HeaderCases) {
    // Not a tag: read succeeds, nothing exists.
    TID3v2 p = Probe(Bytes(100, 0xFF));
    EXPECT_FALSE(p.Exists);
    // Fewer than 10 bytes: the read fails.
    Probe(test::B("ID3\x03\x00\x00\x00\x00", 8), false);
    Probe(Bytes{}, false);
    // Stated size beyond the file: Size 0 and no frames.
    Bytes big = Tag(3, Frame(3, "TIT2", Latin("hidden")));
    big[6] = 0x7F;
    p = Probe(big);
    EXPECT_TRUE(p.Exists);
    EXPECT_EQ(p.Size, 0);
    EXPECT_EQ(p.Title, "");
    // A footer adds 10 bytes.
    const Bytes frames = Frame(4, "TIT2", Latin("with footer"));
    p = Probe(Tag(4, frames, 0, 0x10));
    EXPECT_EQ(p.Size, static_cast<int>(frames.size() + 20));
    EXPECT_EQ(p.Title, "with footer");
    // Unknown major versions are recognised but not read.
    p = Probe(Tag(5, Frame(3, "TIT2", Latin("v5"))));
    EXPECT_TRUE(p.Exists);
    EXPECT_EQ(p.VersionID, 5);
    EXPECT_EQ(p.Title, "");
    // A frame identifier not starting with a capital letter ends the scan.
    p = Probe(Tag(3, Cat({Frame(3, "TIT2", Latin("kept")), Frame(3, "tpe1", Latin("x")),
                          Frame(3, "TALB", Latin("lost"))})));
    EXPECT_EQ(p.Title, "kept");
    EXPECT_EQ(p.Album, "");
}

TEST(ID3v2Probe, HostileSizesStayInBounds) {
    // A frame claiming 4 GiB, a truncated frame header and a tag cut off inside a frame.
    Bytes huge =
        Cat({Frame(3, "TIT2", Latin("ok")), Str("TPE1"), Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0}, Latin("x")});
    TID3v2 p = Probe(Tag(3, huge));
    EXPECT_EQ(p.Title, "ok");
    Bytes cut = Tag(3, Frame(3, "TIT2", Latin("truncated title")), 0);
    cut.resize(cut.size() - 64 - 5);
    // The stated size now exceeds the file.
    p = Probe(cut);
    EXPECT_EQ(p.Size, 0);
    Bytes tiny = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 4, 'T', 'I', 'T'};
    p = Probe(tiny);
    EXPECT_EQ(p.Size, 0);  // 4 + 10 bytes stated, 13 present
    EXPECT_EQ(p.Title, "");
}

TEST(ID3v2Probe, ReadFromFile) {
    test::TempDir dir;
    const auto path = dir / "tagged.mp3";
    test::WriteFileBytes(path, Tag(3, Frame(3, "TIT2", Latin("From File"))));
    TID3v2 p;
    ASSERT_TRUE(p.ReadFromFile(path));
    EXPECT_EQ(p.Title, "From File");
    EXPECT_FALSE(p.ReadFromFile(dir / "missing.mp3"));
    EXPECT_FALSE(p.Exists);
    EXPECT_EQ(p.Title, "");
}

}  // namespace
}  // namespace covrilo
