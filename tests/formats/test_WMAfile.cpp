// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/WMAfile.h"
#include "io/EnhancedStreams.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using test::Bytes;

// GUIDs as stored in the file (first three groups little-endian).
const Bytes kHeaderGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Bytes kFilePropsGuid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                              0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Bytes kStreamPropsGuid = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Bytes kContentGuid = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Bytes kExtContentGuid = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                               0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};

void Put16(Bytes& B, uint32_t V) { B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8)}); }
void Put32(Bytes& B, uint32_t V) {
    B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)});
}
void Put64(Bytes& B, uint64_t V) {
    Put32(B, static_cast<uint32_t>(V));
    Put32(B, static_cast<uint32_t>(V >> 32));
}

Bytes U16(std::u16string_view S, bool Terminate = true) {
    Bytes out;
    for (char16_t c : S) Put16(out, c);
    if (Terminate) Put16(out, 0);
    return out;
}

Bytes Object(const Bytes& Guid, const Bytes& Body) {
    Bytes out = Guid;
    Put64(out, 24 + Body.size());
    out.insert(out.end(), Body.begin(), Body.end());
    return out;
}

Bytes FileProps(uint32_t MaxBitRate) {
    Bytes body(100 - 24, 0);
    Put32(body, MaxBitRate);
    return Object(kFilePropsGuid, body);
}

Bytes StreamProps(uint16_t Channels, uint32_t Rate, uint32_t ByteRate) {
    Bytes body(80 - 24, 0);
    Put16(body, 0x161);  // format tag
    body.resize(body.size() - 2);
    Put16(body, Channels);
    Put32(body, Rate);
    Put32(body, ByteRate);
    Put16(body, 0);
    return Object(kStreamPropsGuid, body);
}

Bytes Content(std::u16string_view Title, std::u16string_view Author, std::u16string_view Description) {
    const Bytes t = Title.empty() ? Bytes{} : U16(Title);
    const Bytes a = Author.empty() ? Bytes{} : U16(Author);
    const Bytes c = U16(u"(c) nobody");
    const Bytes d = Description.empty() ? Bytes{} : U16(Description);
    Bytes body;
    for (const Bytes* s : {&t, &a, &c, &d}) Put16(body, static_cast<uint32_t>(s->size()));
    Put16(body, 0);
    for (const Bytes* s : {&t, &a, &c, &d}) body.insert(body.end(), s->begin(), s->end());
    return Object(kContentGuid, body);
}

struct Descriptor {
    std::u16string Name;
    uint16_t Type;
    Bytes Value;
};
Descriptor Text(std::u16string Name, std::u16string_view Value) { return {std::move(Name), 0, U16(Value)}; }
Descriptor Dword(std::u16string Name, uint32_t V) {
    Bytes b;
    Put32(b, V);
    return {std::move(Name), 3, b};
}

Bytes ExtContent(const std::vector<Descriptor>& Descriptors) {
    Bytes body;
    Put16(body, static_cast<uint32_t>(Descriptors.size()));
    for (const Descriptor& d : Descriptors) {
        const Bytes name = U16(d.Name);
        Put16(body, static_cast<uint32_t>(name.size()));
        body.insert(body.end(), name.begin(), name.end());
        Put16(body, d.Type);
        Put16(body, static_cast<uint32_t>(d.Value.size()));
        body.insert(body.end(), d.Value.begin(), d.Value.end());
    }
    return Object(kExtContentGuid, body);
}

// A header object around the given objects, followed by a little fake data.
Bytes Asf(const std::vector<Bytes>& Objects, uint32_t Count = 0xFFFFFFFF) {
    Bytes inner;
    for (const Bytes& o : Objects) inner.insert(inner.end(), o.begin(), o.end());
    Bytes out = kHeaderGuid;
    Put64(out, 30 + inner.size());
    Put32(out, Count == 0xFFFFFFFF ? static_cast<uint32_t>(Objects.size()) : Count);
    out.insert(out.end(), {1, 2});
    out.insert(out.end(), inner.begin(), inner.end());
    out.resize(out.size() + 200, 0x55);
    return out;
}

Bytes Basic(std::vector<Bytes> Extra = {}) {
    std::vector<Bytes> objects = {FileProps(128000), StreamProps(2, 44100, 16000)};
    objects.insert(objects.end(), Extra.begin(), Extra.end());
    return Asf(objects);
}

TWMAfile Read(const Bytes& Data, bool ExpectOk = true) {
    TCustomMemoryStream stream(Data);
    TWMAfile wma;
    EXPECT_EQ(wma.ReadFromStream(stream), ExpectOk);
    return wma;
}

TEST(WMAfile, ReadsPropertiesAndTags) {
    const Bytes file = Basic({
        Content(u"Title", u"Artist", u"Comment"),
        ExtContent({Text(u"WM/AlbumTitle", u"Album"), Text(u"WM/Track", u"5"), Text(u"WM/Year", u"1999"),
                    Text(u"WM/Genre", u"Jazz"), Text(u"WM/Unknown", u"x")}),
    });
    const TWMAfile w = Read(file);
    ASSERT_TRUE(w.Valid);
    EXPECT_EQ(w.FileSize, static_cast<int64_t>(file.size()));
    EXPECT_EQ(w.ChannelModeID, 2);
    EXPECT_EQ(w.SampleRate, 44100);
    EXPECT_EQ(w.BitRate, 128);
    EXPECT_DOUBLE_EQ(w.Duration, file.size() * 8.0 / 128000);
    EXPECT_EQ(w.Title, u"Title");
    EXPECT_EQ(w.Artist, u"Artist");
    EXPECT_EQ(w.Album, u"Album");
    EXPECT_EQ(w.TrackNo, 5);
    EXPECT_EQ(w.Year, u"1999");
    EXPECT_EQ(w.Genre, u"Jazz");
    EXPECT_EQ(w.Comment, u"Comment");
}

TEST(WMAfile, PlausibilityLimits) {
    struct Case {
        uint32_t MaxBitRate;
        uint16_t Channels;
        uint32_t Rate;
        uint32_t ByteRate;
        bool Valid;
    };
    const Case cases[] = {
        {128000, 1, 8000, 1, true},       {319999, 2, 96000, 39999, true},  {1, 2, 44100, 16000, true},
        {0, 2, 44100, 16000, false},      {320000, 2, 44100, 16000, false}, {128000, 0, 44100, 16000, false},
        {128000, 3, 44100, 16000, false}, {128000, 2, 7999, 16000, false},  {128000, 2, 96001, 16000, false},
        {128000, 2, 44100, 0, false},     {128000, 2, 44100, 40000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.MaxBitRate << " " << c.Channels << " " << c.Rate << " " << c.ByteRate);
        const TWMAfile w = Read(Asf({FileProps(c.MaxBitRate), StreamProps(c.Channels, c.Rate, c.ByteRate),
                                     Content(u"T", u"A", u"")}));
        EXPECT_EQ(w.Valid, c.Valid);
        // An implausible file reports nothing at all.
        EXPECT_EQ(w.Title.empty(), !c.Valid);
        EXPECT_EQ(w.SampleRate == 0, !c.Valid);
    }
}

TEST(WMAfile, NotAnAsfFile) {
    Bytes data(300, 0);
    const TWMAfile w = Read(data);
    EXPECT_FALSE(w.Valid);
    EXPECT_EQ(w.FileSize, 0);
    Read(Bytes{}, true);
    test::TempDir dir;
    TWMAfile missing;
    EXPECT_FALSE(missing.ReadFromFile(dir / "missing.wma"));
}

TEST(WMAfile, DescriptorRules) {
    const std::u16string longTitle(300, u'L');
    const Bytes file = Basic({
        Content(u"Old Title", u"", u""),
        ExtContent({
            // A numeric old-style track leaves the track alone and does not disturb what follows.
            Dword(u"WM/Track", 9),
            // Names match regardless of case and surrounding blanks.
            Text(u"  wm/albumtitle ", u"  Spaced Album  "),
            // A later object overwrites an earlier one; long strings keep 250 characters.
            Text(u"WM/Title", longTitle),
            // A non-string value for a text slot sets nothing.
            Dword(u"WM/Genre", 8),
            Text(u"WM/Year", u"2010"),
        }),
    });
    const TWMAfile w = Read(file);
    ASSERT_TRUE(w.Valid);
    EXPECT_EQ(w.TrackNo, 0);
    EXPECT_EQ(w.Album, u"Spaced Album");
    EXPECT_EQ(w.Title, std::u16string(250, u'L'));
    EXPECT_EQ(w.Genre, u"");
    EXPECT_EQ(w.Year, u"2010");
    EXPECT_EQ(w.Artist, u"");
}

TEST(WMAfile, TrackNumbersAndOtherWritersNames) {
    struct Case {
        std::vector<Descriptor> Descriptors;
        int Track;
        const char16_t* Year;
        const char16_t* Comment;
    };
    const Case cases[] = {
        {{Text(u"WM/Track", u"4")}, 4, u"", u""},
        {{Text(u"WM/Track", u"3/12")}, 3, u"", u""},
        {{Text(u"WM/Track", u"x3")}, 0, u"", u""},
        // The one-based track number wins, also stored as a number.
        {{Text(u"WM/Track", u"4"), Text(u"WM/TrackNumber", u"5")}, 5, u"", u""},
        {{Dword(u"WM/TrackNumber", 11)}, 11, u"", u""},
        {{Text(u"WM/TrackNumber", u"none"), Text(u"WM/Track", u"2")}, 2, u"", u""},
        // Year and comment under the names other writers use, only when the usual ones are empty.
        {{Text(u"date", u"2003"), Text(u"Description", u"desc")}, 0, u"2003", u"desc"},
        {{Text(u"WM/Year", u"2001"), Text(u"year", u"2003"), Text(u"WM/Description", u"main"),
          Text(u"Description", u"alias")},
         0,
         u"2001",
         u"main"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const TWMAfile w = Read(Basic({ExtContent(cases[i].Descriptors)}));
        ASSERT_TRUE(w.Valid);
        EXPECT_EQ(w.TrackNo, cases[i].Track);
        EXPECT_EQ(w.Year, cases[i].Year);
        EXPECT_EQ(w.Comment, cases[i].Comment);
    }
}

TEST(WMAfile, HostileObjectsEndTheScan) {
    // An object of size 0 ends the scan instead of looping over it for every counted object.
    Bytes zero = kContentGuid;
    Put64(zero, 0);
    TWMAfile w = Read(
        Asf({FileProps(128000), StreamProps(1, 22050, 8000), zero, Content(u"never", u"", u"")}, 0xFFFFFFF0));
    EXPECT_TRUE(w.Valid);
    EXPECT_EQ(w.Title, u"");
    // An object reaching past the end is not read.
    Bytes past = Content(u"past", u"", u"");
    past[16] = 0xFF;
    past[20] = 0x01;
    w = Read(Asf({FileProps(128000), StreamProps(1, 22050, 8000), past}));
    EXPECT_TRUE(w.Valid);
    EXPECT_EQ(w.Title, u"");
    // A huge object count over a few objects.
    w = Read(
        Asf({FileProps(128000), StreamProps(1, 22050, 8000), Content(u"counted", u"", u"")}, 0xFFFFFFF0));
    EXPECT_EQ(w.Title, u"counted");
    // A descriptor count and string lengths larger than the object: read what is there.
    Bytes ext = ExtContent({Text(u"WM/AlbumTitle", u"Fine"), Text(u"WM/Genre", u"Cut")});
    ext[24] = 0xFF;
    ext[25] = 0xFF;
    w = Read(Basic({ext}));
    EXPECT_EQ(w.Album, u"Fine");
    EXPECT_EQ(w.Genre, u"Cut");
    Bytes content = Content(u"Short", u"", u"");
    content[24] = 0xFF;  // title length 0x??FF: past the object's end
    content[25] = 0x7F;
    w = Read(Basic({content}));
    EXPECT_TRUE(w.Valid);
    EXPECT_EQ(w.Title, u"");
    // Stream properties too short for the audio format data leave the file implausible.
    Bytes shortStream = Object(kStreamPropsGuid, Bytes(40, 0));
    w = Read(Asf({FileProps(128000), shortStream}));
    EXPECT_FALSE(w.Valid);
    // Truncated header object.
    Bytes cut = Basic();
    cut.resize(40);
    w = Read(cut);
    EXPECT_FALSE(w.Valid);
}

TEST(WMAfile, InteropFfmpegFile) {
    if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempDir dir;
    const std::string wma = (dir / "out.wma").string();
    const auto made = test::RunCommand(
        "ffmpeg -v error -y -f lavfi -i sine=d=1 -ac 2 -c:a wmav2 -b:a 96k -metadata 'title=Caf\xC3\xA9 "
        "Title' "
        "-metadata 'artist=The Artist' -metadata 'album=The Album' -metadata track=7 -metadata date=2003 "
        "-metadata genre=Jazz -metadata 'comment=A comment' " +
        test::ShellQuote(wma));
    ASSERT_EQ(made.ExitCode, 0) << made.Output;
    TWMAfile w;
    ASSERT_TRUE(w.ReadFromFile(wma));
    ASSERT_TRUE(w.Valid);
    EXPECT_EQ(w.Title, u"Caf\u00E9 Title");
    EXPECT_EQ(w.Artist, u"The Artist");
    EXPECT_EQ(w.Album, u"The Album");
    EXPECT_EQ(w.TrackNo, 7);
    EXPECT_EQ(w.Year, u"2003");
    EXPECT_EQ(w.Genre, u"Jazz");
    EXPECT_EQ(w.Comment, u"A comment");
    EXPECT_EQ(w.ChannelModeID, 2);
    EXPECT_EQ(w.SampleRate, 44100);
    EXPECT_EQ(w.FileSize, static_cast<int64_t>(test::ReadFileBytes(wma).size()));
    // ffprobe as the peer for the stream parameters.
    if (test::HaveTool("ffprobe")) {
        const auto probe = test::RunCommand(
            "ffprobe -v error -select_streams a:0 -show_entries "
            "stream=sample_rate,channels,bit_rate -of csv=p=0 " +
            test::ShellQuote(wma));
        ASSERT_EQ(probe.ExitCode, 0) << probe.Output;
        // sample_rate,channels,bit_rate
        EXPECT_EQ(probe.Output.substr(0, probe.Output.find(',')), "44100");
        const std::string bitRate = probe.Output.substr(probe.Output.rfind(',') + 1);
        EXPECT_EQ(w.BitRate, std::stoi(bitRate) / 1000);
    }
}

}  // namespace
}  // namespace covrilo
