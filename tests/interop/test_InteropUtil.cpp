// SPDX-License-Identifier: MIT
// The interop helpers checked against the peers themselves: if these fail, every interop test
// built on them would prove nothing.
#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "InteropUtil.h"

namespace covrilo::test {
namespace {

TEST(InteropUtil, RunSeparatelyKeepsStdoutAndStderrApart) {
    ToolRun run = RunSeparately("echo data; echo chatter >&2; exit 3");
    EXPECT_EQ(run.ExitCode, 3);
    EXPECT_EQ(run.Out, "data\n");
    EXPECT_EQ(run.Err, "chatter\n");
    // A command ending in a comment or without a trailing newline still runs in its group.
    run = RunSeparately("printf x # comment");
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, "x");
    EXPECT_EQ(RunSeparately("cat").Out, "") << "stdin is /dev/null, never the test's terminal";
}

std::string TagSpec(int Version, const std::string& Cover) {
    return R"({"id3v2": {"version": )" + std::to_string(Version) + R"(, "frames": [
        {"id": "TIT2", "text": "Caf\u00e9 \u20ac"},
        {"id": "TPE1", "text": "Artist", "encoding": 0},
        {"id": "APIC", "type": 3, "mime": "image/jpeg", "desc": "front", "file": ")" +
           Cover + R"("}]}})";
}

// The same file, tagged by mutagen, reads alike in mutagen and TagLib for every ID3v2 version.
TEST(InteropUtil, MutagenTaggedMp3ReadsAlikeInBothPeers) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib);
    TempDir dir;
    MakeMp3(dir / "plain.mp3", 1.0);
    MakeJpeg(dir / "cover.jpg", 64, 48);
    const std::string coverSha = Sha256OfFile(dir / "cover.jpg");
    const auto coverSize = static_cast<int64_t>(ReadFileBytes(dir / "cover.jpg").size());

    for (int version : {2, 3, 4}) {
        SCOPED_TRACE(::testing::Message() << "ID3v2." << version);
        const auto file = dir / (std::to_string(version) + "-tagged.mp3");
        std::filesystem::copy_file(dir / "plain.mp3", file);
        MutagenTag(file, TagSpec(version, (dir / "cover.jpg").string()));

        for (const JsonValue& dump : {MutagenDump(file), TaglibDump(file)}) {
            SCOPED_TRACE(dump["tool"].Str());
            ASSERT_FALSE(dump["id3v2"].IsNull()) << dump.Dump();
            EXPECT_EQ(dump["id3v2"]["version"].Str(), "2." + std::to_string(version) + ".0");
            auto title = FramesWithId(dump, "TIT2");
            ASSERT_EQ(title.size(), 1u) << dump.Dump();
            EXPECT_EQ(title[0]["text"].Strings(), std::vector<std::string>{"Caf\xC3\xA9 \xE2\x82\xAC"});
            auto artist = FramesWithId(dump, "TPE1");
            ASSERT_EQ(artist.size(), 1u);
            EXPECT_EQ(artist[0]["text"].Strings(), std::vector<std::string>{"Artist"});
            EXPECT_EQ(artist[0]["encoding"].Int(), 0);
            auto pictures = FramesWithId(dump, "APIC");
            ASSERT_EQ(pictures.size(), 1u);
            EXPECT_EQ(pictures[0]["type"].Int(), 3);
            EXPECT_EQ(pictures[0]["description"].Str(), "front");
            EXPECT_EQ(pictures[0]["size"].Int(), coverSize);
            EXPECT_EQ(pictures[0]["sha256"].Str(), coverSha);
            EXPECT_EQ(dump["audio"]["sampleRate"].Int(), 44100);
        }
        EXPECT_TRUE(FfmpegDecodesCleanly(file));
        EXPECT_TRUE(FfmpegDecodesAttachedPicture(file));
        EXPECT_EQ(MpegAudioBytes(file), ReadFileBytes(dir / "plain.mp3"));
    }
}

// A picture ffmpeg cannot decode is the picture check's business, not the audio check's.
TEST(InteropUtil, AudioAndPictureChecksAreApart) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg, Tool::Mutagen);
    TempDir dir;
    MakeMp3(dir / "a.mp3", 0.5);
    std::filesystem::copy_file(dir / "a.mp3", dir / "b.mp3");
    MutagenTag(dir / "a.mp3", R"({"id3v2": {"version": 3, "frames": [
        {"id": "APIC", "mime": "image/jpeg", "data_hex": "ffd8ffe000104a46494600aabbccddeeff00112233"}]}})");
    EXPECT_TRUE(FfmpegDecodesCleanly(dir / "a.mp3"));
    EXPECT_FALSE(FfmpegDecodesAttachedPicture(dir / "a.mp3"));
    EXPECT_FALSE(FfmpegDecodesAttachedPicture(dir / "b.mp3")) << "no picture at all";
}

// Trailing tags written by mutagen (APEv2 before ID3v1) are read alike and skipped by the
// audio range.
TEST(InteropUtil, Id3v1AndApeFromMutagenReadAlikeAndLeaveTheAudioRange) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Mutagen, Tool::Taglib);
    TempDir dir;
    MakeMp3(dir / "plain.mp3", 0.5);
    const auto file = dir / "tagged.mp3";
    std::filesystem::copy_file(dir / "plain.mp3", file);
    MutagenTag(file, R"json({
        "id3v2": {"version": 4, "padding": 0, "frames": [{"id": "TALB", "text": "Album"}]},
        "id3v1": {"title": "Title", "artist": "Artist", "album": "Album", "year": "1999",
                  "comment": "Comment", "track": 7, "genre": 17},
        "ape": {"items": [{"key": "Artist", "text": ["One", "Two"]},
                          {"key": "Cover Art (Front)", "binary_hex": "00ff10"}]}})json");

    const JsonValue dumps[] = {MutagenDump(file), TaglibDump(file)};
    for (const JsonValue& dump : dumps) {
        SCOPED_TRACE(dump["tool"].Str());
        const JsonValue& v1 = dump["id3v1"];
        ASSERT_FALSE(v1.IsNull()) << dump.Dump();
        EXPECT_EQ(v1["title"].Str(), "Title");
        EXPECT_EQ(v1["artist"].Str(), "Artist");
        EXPECT_EQ(v1["year"].Str(), "1999");
        EXPECT_EQ(v1["comment"].Str(), "Comment");
        EXPECT_EQ(v1["track"].Int(), 7);
        EXPECT_EQ(v1["genre"].Int(), 17);
        const JsonValue& items = dump["ape"]["items"];
        ASSERT_EQ(items.Size(), 2u) << dump.Dump();
        EXPECT_EQ(items[0]["key"].Str(), "Artist");
        EXPECT_EQ(items[0]["values"].Strings(), (std::vector<std::string>{"One", "Two"}));
        EXPECT_EQ(items[1]["type"].Str(), "binary");
        EXPECT_EQ(items[1]["size"].Int(), 3);
        EXPECT_EQ(items[1]["sha256"].Str(), Sha256OfBytes(Bytes{0x00, 0xFF, 0x10}));
    }
    const ByteRange range = MpegAudioRange(file);
    EXPECT_EQ(static_cast<int64_t>(range.Begin), dumps[0]["id3v2"]["size"].Int());
    EXPECT_EQ(MpegAudioBytes(file), ReadFileBytes(dir / "plain.mp3"));
}

TEST(InteropUtil, MpegAudioRangeSkipsEveryKindOfTrailingBlock) {
    const Bytes audio = B("\xFF\xFB\x90\x00audio-bytes", 15);
    auto join = [](std::initializer_list<Bytes> Parts) {
        Bytes out;
        for (const Bytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    Bytes id3v1 = ToBytes("TAG");
    id3v1.resize(128, 0);
    // APEv2 with header: header (32) + one item + footer (32); size field counts item + footer.
    auto apeBlock = [](bool WithHeader) {
        const Bytes item = B("\x01\x00\x00\x00\x00\x00\x00\x00K\x00v", 11);
        auto headerOrFooter = [&](bool IsHeader) {
            Bytes b = ToBytes("APETAGEX");
            const uint32_t size = static_cast<uint32_t>(item.size()) + 32;
            const uint32_t flags = (WithHeader ? 0x80000000u : 0) | (IsHeader ? 0x20000000u : 0);
            for (uint32_t v : {2000u, size, 1u, flags})
                for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
            b.resize(32, 0);
            return b;
        };
        Bytes out = WithHeader ? headerOrFooter(true) : Bytes{};
        out.insert(out.end(), item.begin(), item.end());
        Bytes footer = headerOrFooter(false);
        out.insert(out.end(), footer.begin(), footer.end());
        return out;
    };
    const Bytes lyrics2Body = ToBytes("LYRICSBEGININD00002101LYR00005hello");
    char sizeField[8];
    std::snprintf(sizeField, sizeof sizeField, "%06zu", lyrics2Body.size());
    const Bytes lyrics2 = join({lyrics2Body, ToBytes(sizeField), ToBytes("LYRICS200")});
    const Bytes lyrics1 = ToBytes("LYRICSBEGINsome lyricsLYRICSEND");
    const Bytes id3v2 = B("ID3\x03\x00\x00\x00\x00\x00\x02\x00\x00", 12);
    // Appended 2.4 tag: header, 2 bytes of body, footer "3DI".
    const Bytes appended =
        B("ID3\x04\x00\x10\x00\x00\x00\x02\x00\x00"
          "3DI\x04\x00\x10\x00\x00\x00\x02",
          22);

    struct Case {
        const char* Name;
        Bytes File;
        uint64_t Begin;
    };
    const Case cases[] = {
        {"bare audio", audio, 0},
        {"ID3v2 + ID3v1", join({id3v2, audio, id3v1}), id3v2.size()},
        {"two ID3v2 tags", join({id3v2, id3v2, audio}), 2 * id3v2.size()},
        {"APE with header + ID3v1", join({audio, apeBlock(true), id3v1}), 0},
        {"APE without header", join({audio, apeBlock(false)}), 0},
        {"Lyrics3 v2 + ID3v1", join({audio, lyrics2, id3v1}), 0},
        {"APE + Lyrics3 v2 + ID3v1", join({id3v2, audio, apeBlock(true), lyrics2, id3v1}), id3v2.size()},
        {"Lyrics3 v1 + ID3v1", join({audio, lyrics1, id3v1}), 0},
        {"appended ID3v2.4", join({audio, appended}), 0},
    };
    for (const auto& c : cases) {
        const ByteRange range = MpegAudioRange(c.File);
        EXPECT_EQ(range.Begin, c.Begin) << c.Name;
        EXPECT_EQ(range.Size(), audio.size()) << c.Name;
    }
    // A tag size beyond the file end is not a tag: nothing is cut.
    const Bytes bogus = join({B("ID3\x03\x00\x00\x00\x00\x7F\x7F", 10), audio});
    EXPECT_EQ(MpegAudioRange(bogus).Begin, 0u);
    EXPECT_EQ(MpegAudioRange(Bytes{}).Size(), 0u);
}

// Files written by a faulty engine are exactly what the helper must survive: random bytes with
// the markers it looks for planted at random places, checked under the sanitizers.
TEST(InteropUtil, MpegAudioRangeStaysInsideDamagedFiles) {
    std::mt19937 random(20240601);
    const std::string markers[] = {"ID3\x04\x00\x10", "ID3\x03\x00\x00", "TAG",         "APETAGEX",
                                   "LYRICS200",       "LYRICSEND",       "LYRICSBEGIN", "3DI"};
    for (int round = 0; round < 3000; ++round) {
        Bytes file(random() % 300);
        for (auto& b : file) b = static_cast<uint8_t>(random() % 4 == 0 ? random() : '0' + random() % 10);
        for (int n = random() % 6; n > 0 && !file.empty(); --n) {
            const std::string& marker = markers[random() % std::size(markers)];
            const size_t at = random() % file.size();
            for (size_t i = 0; i < marker.size() && at + i < file.size(); ++i)
                file[at + i] = static_cast<uint8_t>(marker[i]);
        }
        const ByteRange range = MpegAudioRange(file);
        ASSERT_LE(range.Begin, range.End) << "round " << round;
        ASSERT_LE(range.End, file.size()) << "round " << round;
    }
}

TEST(InteropUtil, FfmpegDecodesEncoderOutputAndRejectsGarbage) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg);
    TempDir dir;
    MakeMp3(dir / "lame.mp3", 0.5, Encoder::Lame);
    MakeMp3(dir / "ffmpeg.mp3", 0.5, Encoder::Ffmpeg);
    EXPECT_TRUE(FfmpegDecodesCleanly(dir / "lame.mp3"));
    EXPECT_TRUE(FfmpegDecodesCleanly(dir / "ffmpeg.mp3"));
    // ffmpeg's file carries no tag, so all of it is audio.
    EXPECT_EQ(MpegAudioRange(dir / "ffmpeg.mp3").Begin, 0u);

    Bytes damaged = ReadFileBytes(dir / "lame.mp3");
    for (size_t i = damaged.size() / 3; i < damaged.size() / 3 + 2000 && i < damaged.size(); ++i)
        damaged[i] = static_cast<uint8_t>(i * 37);
    WriteFileBytes(dir / "damaged.mp3", damaged);
    EXPECT_FALSE(FfmpegDecodesCleanly(dir / "damaged.mp3"));
    WriteFileBytes(dir / "text.mp3", ToBytes("not audio at all"));
    EXPECT_FALSE(FfmpegDecodesCleanly(dir / "text.mp3"));
}

// The other fixture makers: FLAC and Ogg from real encoders with mutagen's comments, pictures
// at the asked size.
TEST(InteropUtil, FlacAndOggFixturesCarryMutagenComments) {
    INTEROP_REQUIRE(Tool::Flac, Tool::Oggenc, Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib);
    TempDir dir;
    MakePng(dir / "cover.png", 20, 10);
    MakeFlac(dir / "a.flac");
    MakeOggVorbis(dir / "a.ogg");
    const std::string tags = R"({"xiph": {"fields": [["TITLE", "T"], ["ARTIST", "A1"], ["ARTIST", "A2"]],
        "pictures": [{"type": 3, "mime": "image/png", "width": 20, "height": 10, "file": ")" +
                             (dir / "cover.png").string() + R"("}]}})";
    for (const char* name : {"a.flac", "a.ogg"}) {
        SCOPED_TRACE(name);
        MutagenTag(dir / name, tags);
        for (const JsonValue& dump : {MutagenDump(dir / name), TaglibDump(dir / name)}) {
            SCOPED_TRACE(dump["tool"].Str());
            ASSERT_FALSE(dump["xiph"].IsNull()) << dump.Dump();
            EXPECT_EQ(dump["xiph"]["fields"]["TITLE"].Strings(), std::vector<std::string>{"T"});
            EXPECT_EQ(dump["xiph"]["fields"]["ARTIST"].Strings(), (std::vector<std::string>{"A1", "A2"}));
            EXPECT_EQ(dump["audio"]["channels"].Int(), 2);
        }
        EXPECT_TRUE(FfmpegDecodesCleanly(dir / name));
    }
    // FLAC picture blocks are pictures to both peers.
    for (const JsonValue& dump : {MutagenDump(dir / "a.flac"), TaglibDump(dir / "a.flac")}) {
        SCOPED_TRACE(dump["tool"].Str());
        ASSERT_EQ(dump["pictures"].Size(), 1u) << dump.Dump();
        EXPECT_EQ(dump["pictures"][0]["mime"].Str(), "image/png");
        EXPECT_EQ(dump["pictures"][0]["width"].Int(), 20);
        EXPECT_EQ(dump["pictures"][0]["sha256"].Str(), Sha256OfFile(dir / "cover.png"));
    }
}

// Tags written by the encoders themselves, through AudioOptions::EncoderArgs.
TEST(InteropUtil, EncoderWrittenTagsAreSeenByBothPeers) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib);
    TempDir dir;
    AudioOptions lame;
    lame.Seconds = 0.5;
    lame.EncoderArgs = {"--id3v2-only", "--tt", "Lame Title"};
    MakeMp3(dir / "lame.mp3", lame);
    AudioOptions ffmpeg;
    ffmpeg.Seconds = 0.5;
    ffmpeg.Program = Encoder::Ffmpeg;
    ffmpeg.Channels = 1;
    ffmpeg.EncoderArgs = {"-id3v2_version", "3", "-metadata", "title=Ffmpeg Title"};
    MakeMp3(dir / "ffmpeg.mp3", ffmpeg);

    struct Case {
        const char* File;
        const char* Version;
        const char* Title;
        int Channels;
    };
    for (const Case& c :
         {Case{"lame.mp3", "2.3.0", "Lame Title", 2}, Case{"ffmpeg.mp3", "2.3.0", "Ffmpeg Title", 1}}) {
        for (const JsonValue& dump : {MutagenDump(dir / c.File), TaglibDump(dir / c.File)}) {
            SCOPED_TRACE(std::string(c.File) + " read by " + dump["tool"].Str());
            ASSERT_FALSE(dump["id3v2"].IsNull()) << dump.Dump();
            EXPECT_EQ(dump["id3v2"]["version"].Str(), c.Version);
            auto titles = FramesWithId(dump, "TIT2");
            ASSERT_EQ(titles.size(), 1u) << dump.Dump();
            EXPECT_EQ(titles[0]["text"].Strings(), std::vector<std::string>{c.Title});
            EXPECT_EQ(dump["audio"]["channels"].Int(), c.Channels);
        }
        EXPECT_TRUE(FfmpegDecodesCleanly(dir / c.File));
    }
}

TEST(InteropUtil, WmaFixtureAttributesReadAlike) {
    INTEROP_REQUIRE(Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib);
    TempDir dir;
    AudioOptions options;
    options.Channels = 1;
    options.BitrateKbps = 64;
    options.EncoderArgs = {"-metadata", "title=Caf\xC3\xA9", "-metadata", "artist=Artist",
                           "-metadata", "album=Album",       "-metadata", "comment=Words"};
    MakeWma(dir / "a.wma", options);
    for (const JsonValue& dump : {MutagenDump(dir / "a.wma"), TaglibDump(dir / "a.wma")}) {
        SCOPED_TRACE(dump["tool"].Str());
        ASSERT_FALSE(dump["asf"].IsNull()) << dump.Dump();
        const JsonValue& attributes = dump["asf"]["attributes"];
        EXPECT_EQ(attributes["Title"].Strings(), std::vector<std::string>{"Caf\xC3\xA9"});
        EXPECT_EQ(attributes["Description"].Strings(), std::vector<std::string>{"Words"});
        EXPECT_EQ(attributes["WM/AlbumTitle"].Strings(), std::vector<std::string>{"Album"});
        ASSERT_FALSE(attributes["Author"].IsNull());
        EXPECT_EQ(attributes["Author"][0].Str(), "Artist");
        EXPECT_EQ(dump["audio"]["channels"].Int(), 1);
        EXPECT_EQ(dump["audio"]["sampleRate"].Int(), 44100);
    }
    EXPECT_TRUE(FfmpegDecodesCleanly(dir / "a.wma"));
}

TEST(InteropUtil, PicturesHaveTheAskedSize) {
    INTEROP_REQUIRE(Tool::Ffmpeg);
    TempDir dir;
    struct Case {
        const char* Name;  // the names do not decide the format
        bool Png;
        int Width, Height;
        const char* Codec;
    };
    for (const Case& c : {Case{"a.jpg", false, 600, 601, "mjpeg"}, Case{"b.png", true, 17, 3, "png"},
                          Case{"c.bin", false, 9, 9, "mjpeg"}, Case{"d", true, 1, 1, "png"}}) {
        const auto file = dir / c.Name;
        if (c.Png)
            MakePng(file, c.Width, c.Height);
        else
            MakeJpeg(file, c.Width, c.Height);
        const Bytes data = ReadFileBytes(file);
        ASSERT_GE(data.size(), 8u);
        if (c.Png)
            EXPECT_EQ(data[1], 'P') << "PNG signature";
        else
            EXPECT_EQ(data[0], 0xFF) << "JPEG SOI";
        CommandResult probe =
            RunCommand("ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 " +
                       ShellQuote(file.string()));
        EXPECT_EQ(probe.Output, std::string(c.Codec) + "," + std::to_string(c.Width) + "," +
                                    std::to_string(c.Height) + "\n")
            << c.Name;
    }
}

}  // namespace
}  // namespace covrilo::test
