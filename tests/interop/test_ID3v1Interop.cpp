// SPDX-License-Identifier: MIT
// ID3v1 records and Lyrics3 blocks on real MP3 files from lame: lame's and mutagen's records
// are read right by us, ours are read right by mutagen and TagLib, the audio stays as it was.
#include <gtest/gtest.h>

#include "InteropUtil.h"
#include "id3v1/ID3v1.h"

namespace covrilo::test {
namespace {

// Field ids of the Lyrics3 v2.00 block in front of the trailing record, following the
// published layout independently of our reader: "LYRICSBEGIN", fields of a 3-character id
// and a 5-digit size, a 6-digit block size and "LYRICS200" right before "TAG".
std::vector<std::string> Lyrics3FieldIds(const Bytes& File) {
    std::vector<std::string> ids;
    if (File.size() < 128 + 15 + 11) return ids;
    const std::string tail(File.end() - 143, File.end() - 125);
    EXPECT_EQ(tail.substr(15), "TAG");
    EXPECT_EQ(tail.substr(6, 9), "LYRICS200");
    const std::string digits = tail.substr(0, 6);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return ids;
    const size_t size = std::stoul(digits);
    if (size + 143 > File.size()) return ids;
    const std::string block(File.end() - 143 - static_cast<long>(size), File.end() - 143);
    EXPECT_EQ(block.substr(0, 11), "LYRICSBEGIN");
    size_t pos = 11;
    while (block.size() - pos >= 8) {
        const std::string len = block.substr(pos + 3, 5);
        EXPECT_EQ(len.find_first_not_of("0123456789"), std::string::npos) << len;
        ids.push_back(block.substr(pos, 3));
        pos += 8 + std::stoul(len);
        if (pos > block.size()) break;
    }
    EXPECT_EQ(pos, block.size()) << "fields must fill the block exactly";
    return ids;
}

// MD5 of all decoded samples, without gapless trimming (ffmpeg stops trimming once a tag
// follows the audio). Empty when ffmpeg fails.
std::string DecodedSamplesMd5(const std::filesystem::path& File) {
    const CommandResult r = RunCommand("ffmpeg -v quiet -flags2 +skip_manual -i " +
                                       ShellQuote(File.string()) + " -map 0:a -f md5 -");
    const auto at = r.Output.find("MD5=");
    return r.ExitCode != 0 || at == std::string::npos ? std::string() : r.Output.substr(at, 36);
}

TEST(ID3v1Interop, WeReadRecordsOfLameAndMutagen) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Mutagen);
    TempDir dir;
    const auto wav = dir / "a.wav";
    MakeWav(wav);
    struct Case {
        const char* What;
        std::string LameArgs;
        uint8_t Version, Track;
        std::string Comment;
    } cases[] = {
        {"lame, track", "--tn 7 --tc 'With track'", 2, 7, "With track"},
        {"lame, 30-character comment", "--tc 'No track here so thirty chars!'", 1, 0,
         "No track here so thirty chars!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const auto mp3 = dir / "lame.mp3";
        const CommandResult r = RunCommand(
            "lame --quiet --id3v1-only --tt 'Lame title' --ta 'Lame artist' "
            "--tl 'Lame album' --ty 2003 --tg 'Hard Rock' " +
            c.LameArgs + " " + ShellQuote(wav.string()) + " " + ShellQuote(mp3.string()));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        TID3v1 tag;
        ASSERT_TRUE(tag.ReadFromFile(mp3));
        EXPECT_TRUE(tag.Exists);
        EXPECT_FALSE(tag.Lyrics3Exists);
        EXPECT_EQ(tag.GetTitle(), "Lame title");
        EXPECT_EQ(tag.GetArtist(), "Lame artist");
        EXPECT_EQ(tag.GetAlbum(), "Lame album");
        EXPECT_EQ(tag.Year, "2003");
        EXPECT_EQ(tag.GetComment(), c.Comment);
        EXPECT_EQ(tag.VersionID, c.Version);
        EXPECT_EQ(tag.TrackNo, c.Track);
        EXPECT_EQ(tag.GetGenreName(), "Hard Rock");
    }

    const auto mp3 = dir / "mutagen.mp3";
    MakeMp3(mp3, 1.0);
    MutagenTag(mp3, R"({"id3v1": {"title": "Caf\u00e9", "artist": "Artist", "album": "Album", "year": "1999",
                        "comment": "Comment", "track": 9, "genre": 8}})");
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadFromFile(mp3));
    EXPECT_EQ(tag.GetTitle(), "Caf\xE9");  // one byte in the system code page
    EXPECT_EQ(tag.GetArtist(), "Artist");
    EXPECT_EQ(tag.Year, "1999");
    EXPECT_EQ(tag.GetComment(), "Comment");
    EXPECT_EQ(tag.TrackNo, 9);
    EXPECT_EQ(tag.GetGenreName(), "Jazz");
}

TEST(ID3v1Interop, PeersReadWhatWeWrite) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib);
    TempDir dir;
    const auto mp3 = dir / "a.mp3";
    MakeMp3(mp3, 1.0);
    // An old record our save must replace.
    MutagenTag(mp3, R"({"id3v1": {"title": "Old", "artist": "", "album": "", "year": "", "comment": "",
                        "track": 1, "genre": 0}})");
    const Bytes audio = MpegAudioBytes(mp3);
    EXPECT_TRUE(FfmpegDecodesCleanly(mp3));
    const std::string samples = DecodedSamplesMd5(mp3);
    ASSERT_FALSE(samples.empty());

    const std::string longTitle = "Caf\xE9 title that needs more than thirty characters";  // Windows-1252
    TID3v1 tag;
    tag.SetTitle(longTitle);
    tag.SetArtist("Artist");
    tag.SetAlbum("Album");
    tag.SetYear("2011");
    tag.SetComment("Comment");
    tag.SetTrackNo(12);
    tag.SetGenreName("synthpop");
    tag.Lyrics = "First line\r\nSecond line";
    tag.Author = "Lyricist";
    ASSERT_TRUE(tag.SaveToFile(mp3));

    EXPECT_EQ(Lyrics3FieldIds(ReadFileBytes(mp3)), (std::vector<std::string>{"IND", "ETT", "AUT", "LYR"}));
    for (const JsonValue& dump : {MutagenDump(mp3), TaglibDump(mp3)}) {
        SCOPED_TRACE(dump["tool"].Str());
        const JsonValue& v1 = dump["id3v1"];
        ASSERT_FALSE(v1.IsNull()) << dump.Dump();
        EXPECT_EQ(v1["title"].Str(), "Caf\xC3\xA9 title that needs more tha");  // the first 30 bytes
        EXPECT_EQ(v1["artist"].Str(), "Artist");
        EXPECT_EQ(v1["album"].Str(), "Album");
        EXPECT_EQ(v1["year"].Str(), "2011");
        EXPECT_EQ(v1["comment"].Str(), "Comment");
        EXPECT_EQ(v1["track"].Int(), 12);
        EXPECT_EQ(v1["genre"].Int(), 147);
        EXPECT_TRUE(dump["ape"].IsNull());
    }
    EXPECT_EQ(MpegAudioBytes(mp3), audio);
    // ffmpeg does not know Lyrics3 blocks and reports one as a damaged frame, but the samples
    // it decodes are the same as before.
    EXPECT_EQ(DecodedSamplesMd5(mp3), samples);

    // Our reader gets the full values back from the block.
    TID3v1 back;
    ASSERT_TRUE(back.ReadFromFile(mp3));
    EXPECT_EQ(back.GetTitle(), longTitle);
    EXPECT_EQ(back.Lyrics, tag.Lyrics);
    EXPECT_EQ(back.Author, "Lyricist");

    // Removing both leaves exactly the audio lame wrote.
    ASSERT_TRUE(back.RemoveFromFile(mp3, false));
    EXPECT_EQ(MpegAudioBytes(mp3), audio);
    EXPECT_EQ(ReadFileBytes(mp3).size(), audio.size());
    EXPECT_TRUE(MutagenDump(mp3)["id3v1"].IsNull());
    EXPECT_TRUE(FfmpegDecodesCleanly(mp3));
}

}  // namespace
}  // namespace covrilo::test
