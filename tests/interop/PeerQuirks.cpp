// SPDX-License-Identifier: MIT
#include "PeerQuirks.h"

#include <zlib.h>

#include <cstring>

#include "id3v2/ID3v2ClassTestUtil.h"

namespace covrilo::test {

namespace {

// ---- content of the frames ------------------------------------------------------------------

Bytes Latin1(std::string_view Text) { return Cat({Str(Text), Bytes{0}}); }
Bytes Utf8(std::string_view Text) { return Cat({Str(Text), Bytes{0}}); }
// UTF-16 little-endian after FF FE, with terminator; Text is ASCII.
Bytes Utf16(std::string_view Text) {
    Bytes out{0xFF, 0xFE};
    for (char c : Text) out.insert(out.end(), {static_cast<uint8_t>(c), 0});
    out.insert(out.end(), {0, 0});
    return out;
}

Bytes TextLatin1(std::string_view Text) { return Cat({Bytes{0}, Latin1(Text)}); }
Bytes TextUtf8(std::string_view Text) { return Cat({Bytes{3}, Utf8(Text)}); }
Bytes TextUtf16(std::string_view Text) { return Cat({Bytes{1}, Utf16(Text)}); }

Bytes Picture(uint8_t Type, const Bytes& Image, std::string_view Mime = "image/jpeg") {
    return Cat({Bytes{0}, Latin1(Mime), Bytes{Type}, Bytes{0}, Image});
}

Bytes Comment(std::string_view Language, std::string_view Description, std::string_view Text) {
    return Cat({Bytes{0}, Str(Language), Latin1(Description), Str(Text)});
}

// ---- frames as other taggers write them -----------------------------------------------------

// A 2.4 frame with a plain 32-bit size, as iTunes wrote them.
Bytes Frame24Plain(std::string_view ID, const Bytes& Content) {
    return Cat({Str(ID), BE32(static_cast<uint32_t>(Content.size())), Bytes{0, 0}, Content});
}

Bytes Chapter(std::string_view Element, uint32_t Start, uint32_t End, const Bytes& SubFrames) {
    return Cat({Latin1(Element), BE32(Start), BE32(End), BE32(0xFFFFFFFF), BE32(0xFFFFFFFF), SubFrames});
}

Bytes Toc(std::string_view Element, const std::vector<std::string>& Children, const Bytes& SubFrames) {
    Bytes out = Cat({Latin1(Element), Bytes{0x03, static_cast<uint8_t>(Children.size())}});
    for (const std::string& child : Children) out = Cat({out, Latin1(child)});
    return Cat({out, SubFrames});
}

// A tag whose header announces Padding bytes of Filler after the frames.
Bytes TagWithFiller(uint8_t Major, const Bytes& Body, size_t Padding, uint8_t Filler) {
    return Cat({Str("ID3"), Bytes{Major, 0, 0}, Syncsafe(static_cast<uint32_t>(Body.size() + Padding)), Body,
                Bytes(Padding, Filler)});
}

const char* const kLyrics =
    "So this is the lyrics of a song that goes on for a while, long enough that its frame size needs "
    "more than seven bits, which is where plain and syncsafe sizes part ways.";
const char* const kUnicode =
    "\xC3\x9Cn\xC3\xAF"
    "c\xC3\xB6"
    "d\xC3\xA9 \xE2\x99\xAA";  // Ünïcödé ♪

std::vector<PeerQuirk> MakeQuirks() {
    const Bytes jpeg = QuirkJpeg(1), jpeg2 = QuirkJpeg(2);
    std::vector<PeerQuirk> q;

    // iTunes wrote 2.4 frame sizes as plain 32-bit numbers: read as syncsafe, the picture was
    // cut short and every later frame was dropped.
    q.push_back(
        {"itunes-2.4-plain-sizes",
         Tag(4,
             Cat({Frame24Plain("TIT2", TextLatin1("Plain sizes")), Frame24Plain("APIC", Picture(3, jpeg)),
                  Frame24Plain("USLT", Cat({Bytes{0}, Str("eng"), Bytes{0}, Str(kLyrics)})),
                  Frame24Plain("TPE1", TextLatin1("iTunes Artist")),
                  Frame24Plain("TALB", TextLatin1("iTunes Album")),
                  Frame24Plain("COMM", Comment("eng", "iTunNORM", " 0000044E 00000460 00003ABC")),
                  Frame24Plain("TCMP", TextLatin1("1"))}),
             200)});

    // iTunes' 2.2 identifiers that the 2.2 standard lacks: they used to end the walk.
    q.push_back({"itunes-2.2-identifiers",
                 Tag(2,
                     Cat({Frame22("TT2", TextLatin1("Two two")), Frame22("TP1", TextLatin1("Artist 22")),
                          Frame22("TCP", TextLatin1("1")), Frame22("TST", TextLatin1("Two two, The")),
                          Frame22("TSA", TextLatin1("Album, The")), Frame22("TSP", TextLatin1("Artist, The")),
                          Frame22("TS2", TextLatin1("Album Artist, The")),
                          Frame22("TSC", TextLatin1("Composer, The")), Frame22("GP1", TextLatin1("Grouping")),
                          Frame22("MVN", TextLatin1("Movement")), Frame22("MVI", TextLatin1("2/4")),
                          Frame22("TDS", TextLatin1("A podcast")), Frame22("TID", TextLatin1("podcast-id")),
                          Frame22("WFD", Latin1("http://feed.example/")),
                          Frame22("TKW", TextLatin1("key, words")), Frame22("TCT", TextLatin1("Category")),
                          Frame22("ULT", Cat({Bytes{0}, Str("eng"), Bytes{0}, Str(kLyrics)})),
                          Frame22("PIC", Cat({Bytes{0}, Str("JPG"), Bytes{4}, Bytes{0}, jpeg})),
                          Frame22("TXX", Cat({Bytes{0}, Latin1("iTunSMPB"), Str(" 00000000 00000210")}))}),
                     64),
                 true});

    // A frame named "Date" first: its size lands on the next frame, so it is skipped and kept.
    q.push_back({"invalid-identifier-2.3",
                 Tag(3,
                     Cat({Frame23("Date", TextUtf16("2010")), Frame23("TLEN", TextLatin1("1000")),
                          Frame23("TPE1", TextLatin1("Coheed And Cambria")),
                          Frame23("TIT2", TextLatin1("Title")), Frame23("TALB", TextLatin1("Album"))}),
                     100)});

    // iTunes 12.1 wrote 2.2 names with a zero byte into 2.3 tags.
    q.push_back({"itunes-2.2-names-in-2.3",
                 Tag(3,
                     Cat({Frame23(std::string_view("TP1\0", 4), TextLatin1("Tacocat")),
                          Frame23(std::string_view("TT2\0", 4), TextLatin1("Crystal Ball")),
                          Frame23(std::string_view("TAL\0", 4), TextLatin1("Lost Time")),
                          Frame23(std::string_view("COM\0", 4), Comment("eng", "", "0")),
                          Frame23(std::string_view("TEN\0", 4), TextLatin1("iTunes 12.1.2.27"))}),
                     100)});

    // Flags that announce a data length indicator the frame's size cannot hold.
    q.push_back({"length-indicator-too-big-2.4",
                 Tag(4,
                     Cat({Str("TENC"), Syncsafe(1), Bytes{0x20, 0x01}, Bytes{0}, Str("WXXX"), Syncsafe(2),
                          Bytes{0, 1}, Bytes{0, 0}, Frame24("TIT2", TextLatin1("Take On Me")),
                          Frame24("TPE1", TextLatin1("A Ha")), Frame24("TALB", TextLatin1("1985"))}),
                     100),
                 false, "refused-2.3"});

    // The extended-header flag set without an extended header.
    for (uint8_t major : {3, 4}) {
        auto frame = major == 3 ? Frame23 : Frame24;
        q.push_back(
            {"stray-extended-header-flag-2." + std::to_string(major),
             Tag(major,
                 Cat({frame("TIT2", TextLatin1("Punk To Funk"), 0, 0),
                      frame("TALB", TextLatin1("Better"), 0, 0), frame("TPE1", TextLatin1("Stray"), 0, 0)}),
                 100, 0x40)});
    }

    // Extended headers with a CRC, as the standard has them.
    {
        const Bytes frames =
            Cat({Frame24("TIT2", TextLatin1("Extended")), Frame24("TPE1", TextLatin1("Header"))});
        const Bytes padding(50, 0);
        const Bytes covered = Cat({frames, padding});
        const auto crc = static_cast<uint32_t>(crc32(0, covered.data(), static_cast<uInt>(covered.size())));
        const Bytes ext = {0,
                           0,
                           0,
                           12,
                           1,
                           0x20,
                           5,
                           static_cast<uint8_t>(crc >> 28),
                           static_cast<uint8_t>((crc >> 21) & 0x7F),
                           static_cast<uint8_t>((crc >> 14) & 0x7F),
                           static_cast<uint8_t>((crc >> 7) & 0x7F),
                           static_cast<uint8_t>(crc & 0x7F)};
        q.push_back({"extended-header-crc-2.4", Tag(4, Cat({ext, frames}), 50, 0x40)});
        const Bytes frames23 =
            Cat({Frame23("TIT2", TextLatin1("Extended")), Frame23("TPE1", TextLatin1("Header"))});
        const auto crc23 =
            static_cast<uint32_t>(crc32(0, frames23.data(), static_cast<uInt>(frames23.size())));
        q.push_back({"extended-header-crc-2.3",
                     Tag(3, Cat({BE32(10), Bytes{0x80, 0}, BE32(50), BE32(crc23), frames23}), 50, 0x40)});
    }

    // Chapters with frames of their own; the picture makes a sub-frame size need more than 7 bits.
    for (uint8_t major : {3, 4}) {
        auto frame = [major](std::string_view ID, const Bytes& Content) {
            return major == 3 ? Frame23(ID, Content) : Frame24(ID, Content);
        };
        const Bytes title = major == 4 ? TextUtf8(kUnicode) : TextUtf16("Chapter Two");
        q.push_back(
            {"chapters-2." + std::to_string(major),
             Tag(major,
                 Cat({frame("TIT2", TextLatin1("With chapters")), frame("TPE1", TextLatin1("Narrator")),
                      frame("CTOC", Toc("toc", {"ch1", "ch2"}, frame("TIT2", TextLatin1("Contents")))),
                      frame("CHAP", Chapter("ch1", 0, 30000,
                                            Cat({frame("TIT2", TextLatin1("Chapter One")),
                                                 frame("APIC", Picture(0, jpeg2))}))),
                      frame("CHAP", Chapter("ch2", 30000, 60000, frame("TIT2", title)))}),
                 100)});
    }

    // Frames with an encoding byte the engine does not model, in UTF-8 (2.4 only).
    {
        const Bytes sylt = Cat({Bytes{3}, Str("eng"), Bytes{2, 1}, Utf8("Synced"), Utf8("First line"),
                                BE32(1000), Utf8(kUnicode), BE32(2000)});
        q.push_back(
            {"encoded-frames-utf8-2.4",
             Tag(4,
                 Cat({Frame24("TIT2", TextLatin1("Encoded")), Frame24("TPE1", TextUtf8(kUnicode)),
                      Frame24("USLT", Cat({Bytes{3}, Str("eng"), Utf8("desc"), Str(kUnicode)})),
                      Frame24("SYLT", sylt), Frame24("USER", Cat({Bytes{3}, Str("eng"), Str(kUnicode)})),
                      Frame24("GEOB", Cat({Bytes{3}, Latin1("text/plain"), Utf8("notes.txt"), Utf8(kUnicode),
                                           Str("object bytes")})),
                      Frame24("OWNE", Cat({Bytes{3}, Latin1("EUR1.00"), Str("20240101"), Str(kUnicode)})),
                      Frame24("COMR", Cat({Bytes{3}, Latin1("EUR1.00"), Str("20251231"),
                                           Latin1("http://shop/"), Bytes{1}, Utf8("Seller"), Utf8(kUnicode),
                                           Latin1("image/png"), Str("logo")})),
                      Frame24("GRP1", TextUtf8(kUnicode))}),
                 100)});
    }

    // The dates of each version.
    q.push_back(
        {"dates-2.3", Tag(3,
                          Cat({Frame23("TIT2", TextLatin1("Dated")), Frame23("TPE1", TextLatin1("Artist")),
                               Frame23("TYER", TextLatin1("1987")), Frame23("TDAT", TextLatin1("3103")),
                               Frame23("TIME", TextLatin1("1234")), Frame23("TORY", TextLatin1("1985"))}),
                          100)});
    q.push_back(
        {"dates-2.4", Tag(4,
                          Cat({Frame24("TIT2", TextLatin1("Dated")), Frame24("TPE1", TextLatin1("Artist")),
                               Frame24("TDRC", TextLatin1("1987-03-31T12:34")),
                               Frame24("TDOR", TextLatin1("1985-06-01"))}),
                          100)});

    // A file's artists in four frames, and two titles.
    q.push_back({"duplicate-frames-2.3",
                 Tag(3,
                     Cat({Frame23("TPE1", TextLatin1("Ann")), Frame23("TPE1", TextLatin1("Bob")),
                          Frame23("TPE1", TextLatin1("Cid")), Frame23("TPE1", TextLatin1("Dee")),
                          Frame23("TIT2", TextLatin1("First title")),
                          Frame23("TIT2", TextLatin1("Second title")), Frame23("TALB", TextLatin1("Album"))}),
                     100)});

    // Genre numbers without a name, and references the genre does not say.
    q.push_back({"genre-references-2.3",
                 Tag(3,
                     Cat({Frame23("TPE1", TextLatin1("Artist")), Frame23("TIT2", TextLatin1("Title")),
                          Frame23("TCON", TextLatin1("(255)"))}),
                     100)});
    q.push_back({"genre-refinement-2.3",
                 Tag(3,
                     Cat({Frame23("TPE1", TextLatin1("Artist")), Frame23("TIT2", TextLatin1("Title")),
                          Frame23("TCON", TextLatin1("(9)Metalcore"))}),
                     100)});

    // Picture types beyond the table are kept; "Other" replaces only type 0.
    q.push_back(
        {"picture-types-2.3",
         Tag(3,
             Cat({Frame23("TIT2", TextLatin1("Pictures")), Frame23("APIC", Picture(21, jpeg, "image/png")),
                  Frame23("APIC", Picture(0, jpeg2)), Frame23("APIC", Picture(3, jpeg))}),
             100)});

    // The comment the record rewrites keeps its language.
    q.push_back({"comment-language-2.3",
                 Tag(3,
                     Cat({Frame23("TIT2", TextLatin1("Kommentar")),
                          Frame23("COMM", Comment("deu", "", "Hallo Welt"))}),
                     100),
                 true});

    // A compressed picture (zlib) and a compressed title.
    {
        const Bytes apic = Picture(3, jpeg);
        const Bytes packed = Deflate(apic);
        q.push_back({"compressed-picture-2.4",
                     Tag(4,
                         Cat({Frame24("TIT2", TextLatin1("Compressed")), Frame24("TPE1", TextLatin1("Zlib")),
                              Str("APIC"), Syncsafe(static_cast<uint32_t>(4 + packed.size())),
                              Bytes{0x00, 0x09}, Syncsafe(static_cast<uint32_t>(apic.size())), packed}),
                         100)});
        const Bytes title = TextLatin1("A compressed title");
        const Bytes packedTitle = Deflate(title);
        q.push_back(
            {"compressed-text-2.3", Tag(3,
                                        Cat({Str("TIT2"), BE32(static_cast<uint32_t>(4 + packedTitle.size())),
                                             Bytes{0x00, 0x80}, BE32(static_cast<uint32_t>(title.size())),
                                             packedTitle, Frame23("TPE1", TextLatin1("Zlib"))}),
                                        100)});
    }

    // Padding of 0xFF bytes or spaces, which some taggers leave.
    q.push_back(
        {"junk-padding-ff-2.3",
         TagWithFiller(3, Cat({Frame23("TIT2", TextLatin1("FF padding")), Frame23("TPE1", TextLatin1("A"))}),
                       300, 0xFF)});
    q.push_back({"junk-padding-spaces-2.4",
                 TagWithFiller(
                     4, Cat({Frame24("TIT2", TextLatin1("Space padding")), Frame24("TPE1", TextLatin1("A"))}),
                     300, 0x20)});

    // Frames without content, at which TagLib stops reading.
    q.push_back({"empty-frames-2.3", Tag(3,
                                         Cat({Frame23("TIT2", TextLatin1("Empty frames")),
                                              Frame23("PRIV", {}), Frame23("TPE1", TextLatin1("A")),
                                              Frame23("TENC", {}), Frame23("TALB", TextLatin1("B"))}),
                                         100)});

    // What cannot be kept is refused: a frame that claims more than the tag holds before a
    // picture (a removal must not say "Deleted"), and a 2.2 frame without a 2.3 form.
    q.push_back({"walk-stops-before-picture-2.3",
                 Tag(3,
                     Cat({Frame23("TIT2", TextLatin1("Stops")), Str("TALB"), BE32(5000), Bytes{0, 0},
                          TextLatin1("cut"), Frame23("APIC", Picture(3, jpeg))}),
                     100),
                 false, "refused"});
    q.push_back({"unknown-2.2-identifier",
                 Tag(2,
                     Cat({Frame22("TT2", TextLatin1("Unknown")), Frame22("ABC", Str("opaque")),
                          Frame22("TP1", TextLatin1("Artist")),
                          Frame22("PIC", Cat({Bytes{0}, Str("JPG"), Bytes{3}, Bytes{0}, jpeg}))}),
                     64),
                 false, "refused"});
    return q;
}

}  // namespace

Bytes QuirkJpeg(uint8_t Seed) {
    Bytes out = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
    for (int i = 0; i < 300; ++i) out.push_back(static_cast<uint8_t>((i * 31 + Seed * 17) % 251));
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

std::vector<PeerQuirk> PeerQuirks() { return MakeQuirks(); }

std::vector<std::filesystem::path> WritePeerQuirks(const std::filesystem::path& Folder, const Bytes& Audio) {
    std::vector<std::filesystem::path> files;
    for (const PeerQuirk& quirk : PeerQuirks()) {
        Bytes file = Cat({quirk.Tag, Audio});
        if (quirk.WithID3v1) {
            Bytes record(128, 0);
            std::memcpy(record.data(), "TAGQuirk title", 14);
            record[126] = 1;
            record[127] = 255;
            file = Cat({file, record});
        }
        files.push_back(Folder / (quirk.Name + ".mp3"));
        WriteFileBytes(files.back(), file);
    }
    return files;
}

}  // namespace covrilo::test
