// SPDX-License-Identifier: MIT
// The demo generator's output, checked from outside: peers play its MP3 files, read the tags
// our engine wrote into them and decode its cover at the size it claims.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "InteropUtil.h"

namespace covrilo::test {
namespace {
namespace fs = std::filesystem;

#ifdef COVRILO_MAKE_DEMO_FILES
constexpr const char* kMakeDemoFiles = COVRILO_MAKE_DEMO_FILES;
#else
constexpr const char* kMakeDemoFiles = "";
#endif

struct FrameWalk {
    int Frames = 0;
    uint64_t Bytes = 0;
    bool Mono = false;
    std::string Error;
};

// Walks MPEG-1 Layer III frame headers from the start of the audio range to its end; every
// byte must belong to a frame at 128 kbit/s, 44.1 kHz.
FrameWalk WalkFrames(const Bytes& Audio) {
    FrameWalk walk;
    uint64_t pos = 0;
    while (pos < Audio.size()) {
        if (4 > Audio.size() - pos) {
            walk.Error = "truncated header at " + std::to_string(pos);
            return walk;
        }
        const uint8_t* h = &Audio[pos];
        if (h[0] != 0xFF || (h[1] & 0xFE) != 0xFA || (h[2] & 0xFC) != 0x90) {
            walk.Error = "not a 128 kbit/s 44.1 kHz MPEG-1 Layer III header at " + std::to_string(pos);
            return walk;
        }
        const uint64_t size = 144 * 128000 / 44100 + ((h[2] >> 1) & 1);
        if (size > Audio.size() - pos) {
            walk.Error = "frame runs past the end at " + std::to_string(pos);
            return walk;
        }
        walk.Mono = (h[3] >> 6) == 3;
        walk.Frames++;
        pos += size;
    }
    walk.Bytes = pos;
    return walk;
}

class DemoFiles : public ::testing::Test {
   protected:
    void SetUp() override {
        if (std::string(kMakeDemoFiles).empty())
            GTEST_SKIP() << "make_demo_files is not built (libjpeg missing)";
        CommandResult r = RunCommand(ShellQuote(kMakeDemoFiles) + " " + ShellQuote(dir_.Path().string()));
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        for (const auto& entry : fs::directory_iterator(dir_.Path()))
            if (entry.path().extension() == ".mp3") mp3s_.push_back(entry.path());
        std::sort(mp3s_.begin(), mp3s_.end());
        ASSERT_GE(mp3s_.size(), 3u) << r.Output;
    }
    TempDir dir_;
    std::vector<fs::path> mp3s_;
};

TEST_F(DemoFiles, AudioIsWholeFramesAtExactly128Kbps) {
    bool sawMono = false;
    for (const auto& file : mp3s_) {
        SCOPED_TRACE(file.filename().string());
        EXPECT_FALSE(fs::exists(file.string() + ".part"));
        const Bytes audio = MpegAudioBytes(file);
        const FrameWalk walk = WalkFrames(audio);
        ASSERT_TRUE(walk.Error.empty()) << walk.Error;
        EXPECT_EQ(walk.Bytes, audio.size());
        // Padding keeps the stream at exactly 128 kbit/s: n frames hold floor(n * 417.96) bytes.
        EXPECT_EQ(walk.Bytes, uint64_t{144} * 128000 * static_cast<uint64_t>(walk.Frames) / 44100);
        sawMono = sawMono || walk.Mono;
    }
    EXPECT_TRUE(sawMono) << "the demo set includes a mono file";
}

TEST_F(DemoFiles, PeersPlayTheMp3Files) {
    INTEROP_REQUIRE(Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib);
    for (const auto& file : mp3s_) {
        SCOPED_TRACE(file.filename().string());
        EXPECT_TRUE(FfmpegDecodesCleanly(file));
        const FrameWalk walk = WalkFrames(MpegAudioBytes(file));
        const double expectedMs = walk.Frames * 1152 * 1000.0 / 44100;
        for (const JsonValue& dump : {MutagenDump(file), TaglibDump(file)}) {
            SCOPED_TRACE(dump["tool"].Str());
            ASSERT_FALSE(dump["audio"].IsNull()) << dump.Dump();
            EXPECT_EQ(dump["audio"]["sampleRate"].Int(), 44100);
            EXPECT_EQ(dump["audio"]["bitrate"].Int(), 128);
            EXPECT_EQ(dump["audio"]["channels"].Int(), walk.Mono ? 1 : 2);
            EXPECT_LE(std::abs(static_cast<double>(dump["audio"]["lengthMs"].Int()) - expectedMs), 30.0);
        }
    }
}

// The demo files are named "NN Title.mp3"; their tags, written by our engine, must say the same
// to both peers.
TEST_F(DemoFiles, PeersReadTheTagsOurEngineWrote) {
    INTEROP_REQUIRE(Tool::Mutagen, Tool::Taglib);
    std::set<std::string> versions;
    int untagged = 0;
    for (const auto& file : mp3s_) {
        const std::string name = file.stem().string();
        SCOPED_TRACE(name);
        ASSERT_GT(name.size(), 3u);
        const std::string number = name.substr(0, 2);
        const std::string title = name.substr(3);
        const JsonValue mutagen = MutagenDump(file);
        const JsonValue taglib = TaglibDump(file);
        if (mutagen["id3v2"].IsNull()) {
            EXPECT_TRUE(taglib["id3v2"].IsNull()) << taglib.Dump();
            ++untagged;
            continue;
        }
        versions.insert(mutagen["id3v2"]["version"].Str());
        for (const JsonValue& dump : {mutagen, taglib}) {
            SCOPED_TRACE(dump["tool"].Str());
            ASSERT_FALSE(dump["id3v2"].IsNull()) << dump.Dump();
            EXPECT_EQ(dump["id3v2"]["version"].Str(), mutagen["id3v2"]["version"].Str());
            auto titles = FramesWithId(dump, "TIT2");
            ASSERT_EQ(titles.size(), 1u) << dump.Dump();
            EXPECT_EQ(titles[0]["text"].Strings(), std::vector<std::string>{title});
            auto tracks = FramesWithId(dump, "TRCK");
            ASSERT_EQ(tracks.size(), 1u) << dump.Dump();
            EXPECT_EQ(tracks[0]["text"].Strings(),
                      std::vector<std::string>{std::to_string(std::stoi(number))});
            EXPECT_EQ(FramesWithId(dump, "TPE1").size(), 1u);
            EXPECT_EQ(FramesWithId(dump, "COMM").size(), 1u);
        }
        EXPECT_EQ(FrameIds(mutagen).size(), FrameIds(taglib).size());
    }
    EXPECT_EQ(versions, (std::set<std::string>{"2.3.0", "2.4.0"})) << "both versions the tool writes";
    EXPECT_GE(untagged, 1) << "and a file without a tag";
}

TEST_F(DemoFiles, CoverIsAJpegLargerThanTheDefaultLimits) {
    const fs::path cover = dir_ / "cover.jpg";
    const Bytes data = ReadFileBytes(cover);
    ASSERT_GE(data.size(), 4u);
    EXPECT_EQ(data[0], 0xFF);
    EXPECT_EQ(data[1], 0xD8);
    EXPECT_EQ(data[data.size() - 2], 0xFF);
    EXPECT_EQ(data[data.size() - 1], 0xD9);
    INTEROP_REQUIRE(Tool::Ffmpeg);
    CommandResult probe =
        RunCommand("ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 " +
                   ShellQuote(cover.string()));
    EXPECT_EQ(probe.Output, "mjpeg,1200,900\n");
    CommandResult decode =
        RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(cover.string()) + " -f null -");
    EXPECT_EQ(decode.ExitCode, 0);
    EXPECT_EQ(decode.Output, "") << "ffmpeg reported errors decoding the cover";
}

}  // namespace
}  // namespace covrilo::test
