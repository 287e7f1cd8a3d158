// SPDX-License-Identifier: MIT
// APE tags on real MP3 files from lame: what we write is read by mutagen and TagLib with
// the same items, what mutagen writes is read by us, and the audio decodes unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "formats/APETag.h"
#include "formats/APETestUtil.h"
#include "formats/PeerTools.h"

namespace covrilo {
namespace {

using namespace covrilo::test;

std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Items as mutagen sees them: key=value (values of several parts joined by "|").
constexpr const char* kMutagenApeDump = R"(
import sys
from mutagen.apev2 import APEv2, BINARY
tag = APEv2(sys.argv[1])
out = []
for key, value in tag.items():
    if value.kind == BINARY:
        out.append('%s=<binary %d>' % (key, len(value.value)))
    else:
        out.append('%s=%s' % (key, '|'.join(list(value))))
sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))
)";

class APETagInterop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("lame") || !HaveTool("ffmpeg")) GTEST_SKIP() << "lame or ffmpeg missing";
        if (!HaveMutagen()) GTEST_SKIP() << "python3-mutagen missing under /usr/bin/python3";
    }
    TempDir dir_;
};

TEST_F(APETagInterop, PeersReadWhatWeWrite) {
    struct Case {
        const char* what;
        std::string lameArgs;
    } cases[] = {
        {"plain mp3", ""},
        {"mp3 with an ID3v1 record from lame", "--id3v1-only --tt 'Lame title' --ta 'Lame artist'"},
    };
    const std::string comment = "A comment longer than two hundred and fifty bytes: " + std::string(260, 'c');
    const std::vector<std::pair<std::string, std::string>> items = {
        {"ARTIST", "Bj\xC3\xB6rk"},  // values are UTF-8 on disk
        {"TITLE", "J\xC3\xB3ga"},     {"ALBUM", "Homogenic"}, {"TRACK", "3/10"}, {"YEAR", "1997"},
        {"GENRE", "Electronic"},      {"COMMENT", comment},   {"WWW", ""},      {"ENCODEDBY", "covrilo"},
    };
    for (const Case& c : cases) {
        const auto mp3 = dir_ / "a.mp3";
        ASSERT_EQ(MakeMp3WithLame(mp3, c.lameArgs), "") << c.what;
        const std::string md5 = DecodedAudioMd5(mp3);
        ASSERT_FALSE(md5.empty()) << c.what;

        // Written twice: the second save must replace the first tag, not add another.
        for (int round = 0; round < 2; ++round) {
            TAPETag tag;
            for (const auto& [k, v] : items) tag.AppendField(k, v);
            ASSERT_TRUE(tag.SaveTag(mp3)) << c.what;
        }

        std::vector<std::string> expected;
        for (const auto& [k, v] : items) expected.push_back(k + "=" + v);
        std::sort(expected.begin(), expected.end());

        CommandResult m = RunMutagen(kMutagenApeDump, mp3);
        ASSERT_EQ(m.exitCode, 0) << m.output;
        EXPECT_EQ(SortedLines(m.output), expected) << c.what;

        if (auto checker = TagLibChecker()) {
            CommandResult t = RunCommand(ShellQuote(checker->string()) + " ape " + ShellQuote(mp3.string()));
            ASSERT_EQ(t.exitCode, 0) << t.output;
            EXPECT_EQ(SortedLines(t.output), expected) << c.what;  // our keys are upper case already
            if (!c.lameArgs.empty()) {
                CommandResult v1 = RunCommand(ShellQuote(checker->string()) + " id3v1 " + ShellQuote(mp3.string()));
                ASSERT_EQ(v1.exitCode, 0) << v1.output;
                EXPECT_EQ(v1.output.substr(0, v1.output.find('\n')), "Lame title") << c.what;
            }
        } else {
            ADD_FAILURE() << "TagLib checker could not be built (libtag1-dev and c++ are expected)";
        }

        // The ID3v1 record stays the last 128 bytes.
        if (!c.lameArgs.empty()) {
            const Bytes file = ReadFileBytes(mp3);
            EXPECT_EQ(std::string(file.end() - 128, file.end() - 115), "TAGLame title") << c.what;
        }
        EXPECT_EQ(DecodedAudioMd5(mp3), md5) << c.what;
    }
}

TEST_F(APETagInterop, WeReadWhatMutagenWrites) {
    const auto mp3 = dir_ / "m.mp3";
    ASSERT_EQ(MakeMp3WithLame(mp3), "");
    const std::string write = R"(
import sys
from mutagen.apev2 import APEv2, APEValue, BINARY
tag = APEv2()
tag['Artist'] = 'Bj\u00f6rk'
tag['Title'] = 'Hyperballad'
tag['Multi'] = ['one', 'two']
tag['Lyrics'] = 'x' * 400
tag['Cover Art (Front)'] = APEValue(b'cover.jpg\x00\xff\xd8\xff\xe0', BINARY)
tag['Year'] = '1995'
tag.save(sys.argv[1])
)";
    CommandResult w = RunMutagen(write, mp3);
    ASSERT_EQ(w.exitCode, 0) << w.output;

    TAPETag tag;
    ASSERT_TRUE(tag.ReadFromFile(mp3));
    ASSERT_TRUE(tag.Exists);
    EXPECT_EQ(tag.Version, 2000u);
    std::map<std::string, std::string> got(tag.Fields.begin(), tag.Fields.end());
    const std::map<std::string, std::string> expected = {
        {"Artist", "Bj\xC3\xB6rk"}, {"Title", "Hyperballad"}, {"Multi", std::string("one\0two", 7)},
        {"Lyrics", std::string(400, 'x')}, {"Cover Art (Front)", ""}, {"Year", "1995"},
    };
    EXPECT_EQ(got, expected);
    EXPECT_EQ(tag.GetValue("ARTIST"), "Bj\xC3\xB6rk");

    // Replacing it leaves mutagen with our items only, and a tag TagLib still reads.
    TAPETag ours;
    ours.AppendField("TITLE", "Isobel");
    ASSERT_TRUE(ours.SaveTag(mp3));
    CommandResult m = RunMutagen(kMutagenApeDump, mp3);
    ASSERT_EQ(m.exitCode, 0) << m.output;
    EXPECT_EQ(m.output, "TITLE=Isobel\n");
}

}  // namespace
}  // namespace covrilo
