// SPDX-License-Identifier: MIT
// ID3v1 records and Lyrics3 blocks on real MP3 files from lame: lame's records are read
// right by us, ours are read right by mutagen and TagLib, and the audio decodes unchanged.
#include <gtest/gtest.h>

#include <sstream>

#include "formats/PeerTools.h"
#include "id3v1/ID3v1.h"

namespace covrilo {
namespace {

using namespace covrilo::test;

// The ID3v1 values as mutagen converts them, one "ID=value" per line.
constexpr const char* kMutagenId3v1Dump = R"(
import sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
out = []
for k in ['TIT2', 'TPE1', 'TALB', 'TDRC', 'TRCK']:
    out.append('%s=%s' % (k, str(t[k]) if k in t else ''))
out.append('TCON=%s' % (t['TCON'].genres[0] if 'TCON' in t else ''))
comm = t.getall('COMM')
out.append('COMM=%s' % (str(comm[0]) if comm else ''))
sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))
)";

// Independent check of the published Lyrics3 v2.00 layout right before the record:
// returns the field ids in order.
std::vector<std::string> Lyrics3FieldIds(const Bytes& file) {
    std::vector<std::string> ids;
    const std::string tail(file.end() - 143, file.end() - 128);
    if (tail.substr(6) != "LYRICS200") return ids;
    const size_t size = std::stoul(tail.substr(0, 6));
    if (size + 143 > file.size()) return ids;
    const std::string block(file.end() - 143 - static_cast<long>(size), file.end() - 143);
    if (block.rfind("LYRICSBEGIN", 0) != 0) return ids;
    for (size_t pos = 11; block.size() - pos >= 8;) {
        ids.push_back(block.substr(pos, 3));
        pos += 8 + std::stoul(block.substr(pos + 3, 5));
        if (pos > block.size()) return {};
    }
    return ids;
}

class ID3v1Interop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("lame") || !HaveTool("ffmpeg")) GTEST_SKIP() << "lame or ffmpeg missing";
        if (!HaveMutagen()) GTEST_SKIP() << "python3-mutagen missing under /usr/bin/python3";
    }
    TempDir dir_;
};

TEST_F(ID3v1Interop, WeReadLameRecords) {
    struct Case {
        std::string lameArgs;
        uint8_t version, track;
        std::string comment;
    } cases[] = {
        {"--tn 7 --tc 'With track'", 2, 7, "With track"},
        {"--tc 'No track here so thirty chars!'", 1, 0, "No track here so thirty chars!"},
    };
    for (const Case& c : cases) {
        const auto mp3 = dir_ / "lame.mp3";
        ASSERT_EQ(MakeMp3WithLame(mp3, "--id3v1-only --tt 'Lame title' --ta 'Lame artist' --tl 'Lame album' "
                                       "--ty 2003 --tg 'Hard Rock' " + c.lameArgs),
                  "");
        TID3v1 tag;
        ASSERT_TRUE(tag.ReadFromFile(mp3));
        EXPECT_TRUE(tag.Exists);
        EXPECT_FALSE(tag.Lyrics3Exists);
        EXPECT_EQ(tag.GetTitle(), "Lame title");
        EXPECT_EQ(tag.GetArtist(), "Lame artist");
        EXPECT_EQ(tag.GetAlbum(), "Lame album");
        EXPECT_EQ(tag.Year, "2003");
        EXPECT_EQ(tag.GetComment(), c.comment);
        EXPECT_EQ(tag.VersionID, c.version);
        EXPECT_EQ(tag.TrackNo, c.track);
        EXPECT_EQ(tag.GetGenreName(), "Hard Rock");
    }
}

TEST_F(ID3v1Interop, PeersReadWhatWeWrite) {
    const auto mp3 = dir_ / "a.mp3";
    // The file starts with lame's own record, which our save must replace.
    ASSERT_EQ(MakeMp3WithLame(mp3, "--id3v1-only --tt 'Old title' --tn 1"), "");
    const std::string md5 = DecodedAudioMd5(mp3);
    ASSERT_FALSE(md5.empty());

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

    const Bytes file = ReadFileBytes(mp3);
    EXPECT_EQ(Lyrics3FieldIds(file), (std::vector<std::string>{"IND", "ETT", "AUT", "LYR"}));

    CommandResult m = RunMutagen(kMutagenId3v1Dump, mp3);
    ASSERT_EQ(m.exitCode, 0) << m.output;
    EXPECT_EQ(m.output,
              "TIT2=Caf\xC3\xA9 title that needs more tha\n"
              "TPE1=Artist\nTALB=Album\nTDRC=2011\nTRCK=12\nTCON=Synthpop\nCOMM=Comment\n");

    if (auto checker = TagLibChecker()) {
        CommandResult t = RunCommand(ShellQuote(checker->string()) + " id3v1 " + ShellQuote(mp3.string()));
        ASSERT_EQ(t.exitCode, 0) << t.output;
        EXPECT_EQ(t.output, "Caf\xC3\xA9 title that needs more tha\nArtist\nAlbum\n2011\nComment\n12\nSynthpop\n");
    } else {
        ADD_FAILURE() << "TagLib checker could not be built (libtag1-dev and c++ are expected)";
    }
    EXPECT_EQ(DecodedAudioMd5(mp3), md5);

    // Our reader gets the full values back from the block.
    TID3v1 back;
    ASSERT_TRUE(back.ReadFromFile(mp3));
    EXPECT_EQ(back.GetTitle(), longTitle);
    EXPECT_EQ(back.Lyrics, tag.Lyrics);
    EXPECT_EQ(back.Author, "Lyricist");
    EXPECT_EQ(back.TrackNo, 12);

    // Removing everything gives the bare lame audio back.
    ASSERT_TRUE(back.RemoveFromFile(mp3, false));
    CommandResult none = RunMutagen("import sys\nfrom mutagen.id3 import ID3\ntry:\n    ID3(sys.argv[1])\n"
                                    "    print('tag')\nexcept Exception:\n    print('none')\n",
                                    mp3);
    EXPECT_EQ(none.output, "none\n");
    EXPECT_EQ(DecodedAudioMd5(mp3), md5);
}

}  // namespace
}  // namespace covrilo
