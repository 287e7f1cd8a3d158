// SPDX-License-Identifier: MIT
// Ogg Vorbis files made by the real encoder and tagged by the real comment tool: we read
// what they wrote, and after our save the stream checker reports no error, the comment
// tool and a peer library list our comments, only the second page differs and the
// decoded audio is the same.
#include <gtest/gtest.h>

#include <filesystem>

#include "InteropUtil.h"
#include "formats/FlacOggTestUtil.h"
#include "formats/qmx_tag_oggvorbis.h"

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

std::u16string Last(const TOggVorbis& O, const std::string& Key) {
    std::u16string v = u"<none>";
    for (const TOggField& f : O.Fields)
        if (f.Name == Key) v = f.Value;
    return v;
}

class OggInterop : public ::testing::Test {
   protected:
    void SetUp() override {
        for (const char* tool : {"ffmpeg", "oggenc", "vorbiscomment", "ogginfo"})
            if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
        fs::path wav = dir_ / "sine.wav";
        auto made = RunCommand(
            "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -ar 44100 -ac 2 "
            "-c:a pcm_s16le -map_metadata -1 -bitexact " +
            ShellQuote(wav.string()));
        ASSERT_EQ(made.ExitCode, 0) << made.Output;
        file_ = dir_ / "a.ogg";
        auto enc = RunCommand("oggenc -Q -o " + ShellQuote(file_.string()) + " " + ShellQuote(wav.string()));
        ASSERT_EQ(enc.ExitCode, 0) << enc.Output;
        auto tag = RunCommand(
            "vorbiscomment -w -t 'ARTIST=Old Artist' -t 'title=Caf\xC3\xA9' "
            "-t 'REPLAYGAIN_TRACK_GAIN=-1.5 dB' -t 'TITLE=Second' " +
            ShellQuote(file_.string()));
        ASSERT_EQ(tag.ExitCode, 0) << tag.Output;
    }

    std::string DecodedMd5() {
        auto d = RunCommand("ffmpeg -v error -i " + ShellQuote(file_.string()) + " -f md5 -");
        EXPECT_EQ(d.ExitCode, 0) << d.Output;
        return d.Output;
    }

    TempDir dir_;
    fs::path file_;
};

TEST_F(OggInterop, ReadsWhatTheToolsWrote) {
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(file_));
    EXPECT_TRUE(o.IsValid());
    EXPECT_EQ(o.Channels, 2);
    EXPECT_EQ(o.SampleRate, 44100);
    EXPECT_EQ(o.Samples, 88200);
    EXPECT_DOUBLE_EQ(o.Duration(), 2.0);
    EXPECT_GT(o.BitRateNominal, 0);
    EXPECT_NE(o.VendorInfo.find("libVorbis"), std::string::npos);
    EXPECT_EQ(Last(o, "ARTIST"), u"Old Artist");
    EXPECT_EQ(o.Fields.at(2).Name, "TITLE");
    EXPECT_EQ(o.Fields.at(2).Value, u"Caf\u00E9");
    EXPECT_EQ(Last(o, "REPLAYGAIN_TRACK_GAIN"), u"-1.5 dB");
    // The encoder's pages carry CRCs our own CRC agrees with.
    auto pages = SplitPages(ReadFileBytes(file_));
    ASSERT_GE(pages.size(), 3u);
    for (const Bytes& page : pages) EXPECT_TRUE(PageCrcValid(page));
}

TEST_F(OggInterop, SaveKeepsEverythingButTheSecondPage) {
    const Bytes before = ReadFileBytes(file_);
    const std::string md5Before = DecodedMd5();
    TOggVorbis o;
    o.Fields = {TOggField("TITLE", u"Neuer Titel \u00FC\u20AC"), TOggField("ARTIST", u"New Artist"),
                TOggField("ALBUM", std::u16string(1000, u'a'))};
    ASSERT_TRUE(o.SaveTag(file_));
    const Bytes after = ReadFileBytes(file_);

    auto info = RunCommand("ogginfo " + ShellQuote(file_.string()));
    EXPECT_EQ(info.ExitCode, 0) << info.Output;
    EXPECT_EQ(info.Output.find("WARNING"), std::string::npos) << info.Output;
    EXPECT_EQ(info.Output.find("ERROR"), std::string::npos) << info.Output;

    auto list = RunCommand("vorbiscomment -l " + ShellQuote(file_.string()));
    ASSERT_EQ(list.ExitCode, 0) << list.Output;
    EXPECT_EQ(list.Output, "TITLE=Neuer Titel \xC3\xBC\xE2\x82\xAC\nARTIST=New Artist\nALBUM=" +
                               std::string(1000, 'a') + "\nREPLAYGAIN_TRACK_GAIN=-1.5 dB\n");

    auto oldPages = SplitPages(before);
    auto newPages = SplitPages(after);
    ASSERT_EQ(oldPages.size(), newPages.size());
    ASSERT_GE(newPages.size(), 3u);
    size_t consumed = 0;
    for (size_t i = 0; i < newPages.size(); ++i) {
        consumed += newPages[i].size();
        EXPECT_TRUE(PageCrcValid(newPages[i])) << i;
        if (i == 1) {
            EXPECT_NE(newPages[i], oldPages[i]);
            EXPECT_TRUE(std::equal(oldPages[i].begin(), oldPages[i].begin() + 22, newPages[i].begin()));
        } else {
            EXPECT_EQ(newPages[i], oldPages[i]) << i;
        }
    }
    EXPECT_EQ(consumed, after.size());
    EXPECT_EQ(DecodedMd5(), md5Before);

    if (HaveInteropTool(Tool::Mutagen)) {
        auto peer =
            RunCommand(std::string(kSystemPython) + " -c " +
                       ShellQuote("import sys, mutagen.oggvorbis\n"
                                  "f = mutagen.oggvorbis.OggVorbis(sys.argv[1])\n"
                                  "print(f['title'][0] == 'Neuer Titel \\u00fc\\u20ac', f['artist'],"
                                  " len(f['album'][0]), f.tags.vendor[:18], round(f.info.length, 3))\n") +
                       " " + ShellQuote(file_.string()));
        EXPECT_EQ(peer.ExitCode, 0) << peer.Output;
        EXPECT_EQ(peer.Output, "True ['New Artist'] 1000 Xiph.Org libVorbis 2.0\n");
    }
}

TEST_F(OggInterop, CommentSpanningPagesIsReadAndLeftAlone) {
    // A comment header larger than one page: the tool spreads it over several pages.
    fs::path tags = dir_ / "tags.txt";
    const std::string big(70000, 'z');
    WriteFileBytes(tags, ToBytes("TITLE=Big one\nBIG=" + big + "\n"));
    auto tag =
        RunCommand("vorbiscomment -w -c " + ShellQuote(tags.string()) + " " + ShellQuote(file_.string()));
    ASSERT_EQ(tag.ExitCode, 0) << tag.Output;
    const Bytes before = ReadFileBytes(file_);
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(file_));
    EXPECT_EQ(Last(o, "TITLE"), u"Big one");
    EXPECT_EQ(Last(o, "BIG"), std::u16string(big.begin(), big.end()));
    EXPECT_EQ(o.Samples, 88200);
    o.Fields = {TOggField("TITLE", u"x")};
    EXPECT_FALSE(o.SaveTag(file_));
    EXPECT_EQ(ReadFileBytes(file_), before);
    EXPECT_FALSE(fs::exists(file_.string() + "~"));
}

}  // namespace
}  // namespace covrilo::test
