// SPDX-License-Identifier: MIT
// FLAC files made by the real encoder and tagged by the real metadata tool: we read what
// they wrote, and after our saves the decoder's test passes, the tool and a peer library
// list our comments and blocks, and the audio frames are byte-identical.
#include <gtest/gtest.h>

#include <filesystem>

#include "InteropUtil.h"
#include "formats/FLACfile.h"
#include "formats/FlacOggTestUtil.h"

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

class FLACInterop : public ::testing::Test {
   protected:
    void SetUp() override {
        for (const char* tool : {"ffmpeg", "flac", "metaflac"})
            if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
        wav_ = dir_ / "sine.wav";
        auto made = RunCommand(
            "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -ar 44100 -ac 2 "
            "-c:a pcm_s16le -map_metadata -1 -bitexact " +
            ShellQuote(wav_.string()));
        ASSERT_EQ(made.ExitCode, 0) << made.Output;
    }

    // Encodes the WAV with extra flac options and tags it with metaflac.
    fs::path Encode(const std::string& Name, const std::string& FlacOptions,
                    const std::string& MetaflacArgs) {
        fs::path out = dir_ / Name;
        auto enc = RunCommand("flac -s -f " + FlacOptions + " -o " + ShellQuote(out.string()) + " " +
                              ShellQuote(wav_.string()));
        EXPECT_EQ(enc.ExitCode, 0) << enc.Output;
        if (!MetaflacArgs.empty()) {
            auto tag = RunCommand("metaflac " + MetaflacArgs + " " + ShellQuote(out.string()));
            EXPECT_EQ(tag.ExitCode, 0) << tag.Output;
        }
        return out;
    }

    static void ExpectDecoderHappy(const fs::path& File) {
        auto t = RunCommand("flac -s -t " + ShellQuote(File.string()));
        EXPECT_EQ(t.ExitCode, 0) << t.Output;
    }

    static std::string List(const fs::path& File) {
        auto l = RunCommand("metaflac --list " + ShellQuote(File.string()));
        EXPECT_EQ(l.ExitCode, 0) << l.Output;
        return l.Output;
    }

    static Bytes Audio(const fs::path& File) {
        TFLACfile f;
        EXPECT_TRUE(f.ReadFromFile(File));
        Bytes all = ReadFileBytes(File);
        return Bytes(all.begin() + f.AudioOffset, all.end());
    }

    TempDir dir_;
    fs::path wav_;
};

TEST_F(FLACInterop, ReadsWhatTheToolsWrote) {
    fs::path file = Encode("read.flac", "",
                           "--set-tag=ARTIST=Someone --set-tag=title=Caf\xC3\xA9 --set-tag=TRACKNUMBER=7 "
                           "--set-tag=REPLAYGAIN_TRACK_GAIN=-3.2dB --set-tag=TITLE=Second");
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    EXPECT_EQ(f.SampleRate, 44100);
    EXPECT_EQ(f.Channels, 2);
    EXPECT_EQ(f.BitsPerSample, 16);
    EXPECT_EQ(f.Samples, 88200);
    EXPECT_DOUBLE_EQ(f.Duration(), 2.0);
    EXPECT_EQ(f.Values[fkArtist], "Someone");
    EXPECT_EQ(f.Values[fkTitle], "Caf\xE9");
    EXPECT_EQ(f.Values[fkTrackNumber], "7");
    EXPECT_EQ(f.GetValue("REPLAYGAIN_TRACK_GAIN"), "-3.2dB");
    EXPECT_NE(f.VendorInfo.find("libFLAC"), std::string::npos);
    ASSERT_EQ(f.OtherBlocks.size(), 1u);  // the seek table
    EXPECT_EQ(f.OtherBlocks[0].Header[0] & 0x7F, 3);
    Bytes all = ReadFileBytes(file);
    // The audio begins with a frame sync code.
    ASSERT_LT(f.AudioOffset + 1, static_cast<int64_t>(all.size()));
    EXPECT_EQ(all[f.AudioOffset], 0xFF);
    EXPECT_EQ(all[f.AudioOffset + 1] & 0xFC, 0xF8);
}

TEST_F(FLACInterop, SavesInPlaceAndThroughTempFile) {
    struct Case {
        const char* Name;
        const char* FlacOptions;
        bool SameSize;
    };
    const Case cases[] = {{"padded.flac", "", true}, {"unpadded.flac", "--no-padding", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::path file = Encode(c.Name, c.FlacOptions, "--set-tag=ARTIST=Old --set-tag=KEEP=kept");
        const Bytes audioBefore = Audio(file);
        const auto sizeBefore = fs::file_size(file);
        TFLACfile f;
        ASSERT_TRUE(f.ReadFromFile(file));
        f.Values[fkArtist] = "New Artist";
        f.Values[fkTitle] =
            "Gr\xFC\xDF"
            "e";  // code page text, stored as UTF-8
        f.Values[fkLyrics] = std::string(300, 'l');
        ASSERT_TRUE(f.SaveToFile(file, false));
        EXPECT_EQ(fs::file_size(file) == sizeBefore, c.SameSize);
        EXPECT_FALSE(fs::exists(file.string() + "~"));

        ExpectDecoderHappy(file);
        std::string list = List(file);
        EXPECT_NE(list.find("ARTIST=New Artist"), std::string::npos) << list;
        EXPECT_NE(list.find("TITLE=Gr\xC3\xBC\xC3\x9F"
                            "e"),
                  std::string::npos)
            << list;
        EXPECT_NE(list.find("KEEP=kept"), std::string::npos) << list;
        EXPECT_EQ(list.find("ARTIST=Old"), std::string::npos) << list;
        EXPECT_NE(list.find("type: 3 (SEEKTABLE)"), std::string::npos) << list;
        EXPECT_NE(list.find("type: 1 (PADDING)\n  is last: true"), std::string::npos) << list;
        EXPECT_EQ(Audio(file), audioBefore);

        if (HaveInteropTool(Tool::Mutagen)) {
            auto peer = RunCommand(std::string(kSystemPython) + " -c " +
                                   ShellQuote("import sys, mutagen.flac\n"
                                              "f = mutagen.flac.FLAC(sys.argv[1])\n"
                                              "print(f['artist'][0], f['keep'][0], len(f['lyrics'][0]),"
                                              " f.info.total_samples)\n") +
                                   " " + ShellQuote(file.string()));
            EXPECT_EQ(peer.ExitCode, 0) << peer.Output;
            EXPECT_EQ(peer.Output, "New Artist kept 300 88200\n");
        }
    }
}

TEST_F(FLACInterop, PictureBlockSurvivesASave) {
    fs::path jpeg = dir_ / "cover.jpg";
    auto pic = RunCommand("ffmpeg -v error -y -f lavfi -i color=c=red:s=16x16 -frames:v 1 " +
                          ShellQuote(jpeg.string()));
    ASSERT_EQ(pic.ExitCode, 0) << pic.Output;
    fs::path file = Encode("pic.flac", "--no-padding",
                           "--set-tag=TITLE=t --import-picture-from=" + ShellQuote(jpeg.string()));
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    EXPECT_EQ(f.Values[fkTitle], "t");
    f.Values[fkTitle] = std::string(100, 'T');
    ASSERT_TRUE(f.SaveToFile(file, false));
    ExpectDecoderHappy(file);
    std::string list = List(file);
    EXPECT_NE(list.find("type: 6 (PICTURE)"), std::string::npos) << list;
    fs::path exported = dir_ / "exported.jpg";
    auto ex = RunCommand("metaflac --export-picture-to=" + ShellQuote(exported.string()) + " " +
                         ShellQuote(file.string()));
    ASSERT_EQ(ex.ExitCode, 0) << ex.Output;
    EXPECT_EQ(ReadFileBytes(exported), ReadFileBytes(jpeg));
}

TEST_F(FLACInterop, ID3v2TagInFrontIsKept) {
    fs::path plain = Encode("plain.flac", "--no-padding", "--set-tag=TITLE=t");
    fs::path file = dir_ / "id3.flac";
    Bytes tag = ID3v2Tag(128);
    Bytes data = tag;
    Append(data, ReadFileBytes(plain));
    WriteFileBytes(file, data);
    const Bytes audioBefore = Audio(file);
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    EXPECT_EQ(f.StreamOffset, 128);
    EXPECT_EQ(f.Values[fkTitle], "t");
    f.Values[fkTitle] = "longer title than the old";
    ASSERT_TRUE(f.SaveToFile(file, false));
    Bytes after = ReadFileBytes(file);
    EXPECT_TRUE(std::equal(tag.begin(), tag.end(), after.begin()));
    EXPECT_EQ(Audio(file), audioBefore);
    ExpectDecoderHappy(file);
    // Without the tag the stream is a plain FLAC file the tool lists.
    fs::path stripped = dir_ / "stripped.flac";
    WriteFileBytes(stripped, Bytes(after.begin() + 128, after.end()));
    EXPECT_NE(List(stripped).find("TITLE=longer title than the old"), std::string::npos);
}

}  // namespace
}  // namespace covrilo::test
