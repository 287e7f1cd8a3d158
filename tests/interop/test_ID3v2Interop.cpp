// SPDX-License-Identifier: MIT
// The probe against tags written by a real peer (mutagen) on an MP3 made by a real encoder.
#include <gtest/gtest.h>

#include "InteropUtil.h"
#include "formats/ID3v2.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using test::RunCommand;
using test::ShellQuote;
using test::Tool;

TEST(ID3v2ProbeInterop, ReadsMutagenTag23) {
    INTEROP_REQUIRE(Tool::Ffmpeg, Tool::Mutagen);
    test::TempDir dir;
    const std::string mp3 = (dir / "sine.mp3").string();
    auto made =
        RunCommand("ffmpeg -v error -y -f lavfi -i sine=d=1 -c:a libmp3lame -b:a 64k " + ShellQuote(mp3));
    ASSERT_EQ(made.ExitCode, 0) << made.Output;
    const std::string script =
        "import sys\n"
        "from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, TYER, TCON, COMM, WXXX, TENC\n"
        "t = ID3()\n"
        "t.add(TIT2(encoding=1, text='Caf\\u00e9 Title'))\n"
        "t.add(TPE1(encoding=1, text='Artist \\u20ac'))\n"
        "t.add(TALB(encoding=0, text='Album'))\n"
        "t.add(TRCK(encoding=0, text='4/9'))\n"
        "t.add(TYER(encoding=0, text='2001'))\n"
        "t.add(TCON(encoding=0, text='(17)Rock'))\n"
        "t.add(COMM(encoding=1, lang='eng', desc='X', text='A comment'))\n"
        "t.add(WXXX(encoding=1, desc='site', url='http://peer.test/'))\n"
        "t.add(TENC(encoding=1, text='Encoder'))\n"
        "t.save(sys.argv[1], v2_version=3)\n"
        "print(ID3(sys.argv[1]).size)\n";
    auto tagged =
        RunCommand(std::string(test::kSystemPython) + " -c " + ShellQuote(script) + " " + ShellQuote(mp3));
    ASSERT_EQ(tagged.ExitCode, 0) << tagged.Output;

    TID3v2 p;
    ASSERT_TRUE(p.ReadFromFile(mp3));
    EXPECT_TRUE(p.Exists);
    EXPECT_EQ(p.VersionID, 3);
    EXPECT_EQ(p.Size, std::stoi(tagged.Output));
    EXPECT_EQ(p.Title, "Caf\xE9 Title");
    EXPECT_EQ(p.Artist, "Artist \x80");
    EXPECT_EQ(p.Album, "Album");
    EXPECT_EQ(p.TrackNo, 4);
    EXPECT_EQ(p.Year, "2001");
    EXPECT_EQ(p.Genre, "Rock");
    EXPECT_EQ(p.Comment, "A comment");
    EXPECT_EQ(p.URL, "http://peer.test/");
    EXPECT_EQ(p.EncodedBy, "Encoder");
}

}  // namespace
}  // namespace covrilo
