// SPDX-License-Identifier: MIT
// Recognising MPEG audio behind a tag: frame headers, the two-frame rule, trailing tags, and
// every real MP3 of the shared corpus of other projects' test files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "formats/MpegAudio.h"
#include "id3v2/ID3v2Class.h"
#include "io/EnhancedStreams.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using namespace test;
namespace fs = std::filesystem;

Bytes Slice(const Bytes& B, size_t From, size_t Length) {
    return Bytes(B.begin() + static_cast<std::ptrdiff_t>(From),
                 B.begin() + static_cast<std::ptrdiff_t>(From + Length));
}

// N frames with the header bytes B1, B2 (after FF), each FrameLength long.
Bytes Frames(int N, uint8_t B1, uint8_t B2, size_t FrameLength) {
    Bytes out;
    for (int i = 0; i < N; ++i) {
        Bytes frame(FrameLength, 0x11);
        frame[0] = 0xFF;
        frame[1] = B1;
        frame[2] = B2;
        frame[3] = 0x00;
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

TEST(MpegAudio, FrameHeaders) {
    struct Case {
        Bytes Header;
        int Version, Layer, Bitrate, Rate, Length;  // version 0: not a header
    };
    const Case cases[] = {
        {{0xFF, 0xFB, 0x90, 0x00}, 1, 3, 128, 44100, 417},
        {{0xFF, 0xFB, 0x92, 0x00}, 1, 3, 128, 44100, 418},   // padded
        {{0xFF, 0xFD, 0xE4, 0x00}, 1, 2, 384, 48000, 1152},  // layer II
        {{0xFF, 0xFF, 0x10, 0x00}, 1, 1, 32, 44100, 32},     // layer I: 4-byte slots
        {{0xFF, 0xF3, 0x84, 0x00}, 2, 3, 64, 24000, 192},    // MPEG-2 layer III: 72 x
        {{0xFF, 0xE3, 0x18, 0x00}, 25, 3, 8, 8000, 72},      // MPEG 2.5
        {{0xFF, 0xFB, 0x00, 0x00}, 1, 3, 0, 44100, 0},       // free format
        {{0xFF, 0xEB, 0x90, 0x00}, 0, 0, 0, 0, 0},           // reserved version
        {{0xFF, 0xF9, 0x90, 0x00}, 0, 0, 0, 0, 0},           // reserved layer (ADTS AAC)
        {{0xFF, 0xFB, 0xF0, 0x00}, 0, 0, 0, 0, 0},           // bad bitrate
        {{0xFF, 0xFB, 0x9C, 0x00}, 0, 0, 0, 0, 0},           // reserved sample rate
        {{0xFF, 0x1B, 0x90, 0x00}, 0, 0, 0, 0, 0},           // no sync
        {{0xFF, 0xFB, 0x90}, 0, 0, 0, 0, 0},                 // cut short
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.Header));
        const auto h = ParseMpegFrameHeader(c.Header);
        ASSERT_EQ(h.has_value(), c.Version != 0);
        if (!h) continue;
        EXPECT_EQ(h->Version, c.Version);
        EXPECT_EQ(h->Layer, c.Layer);
        EXPECT_EQ(h->Bitrate, c.Bitrate);
        EXPECT_EQ(h->SampleRate, c.Rate);
        EXPECT_EQ(h->FrameLength, c.Length);
    }
}

TEST(MpegAudio, TwoFramesInARowMakeAudio) {
    Bytes junkThenAudio(3000, 0x42);
    const Bytes audio = Frames(3, 0xFB, 0x90, 417);
    junkThenAudio.insert(junkThenAudio.end(), audio.begin(), audio.end());
    Bytes lone = Frames(1, 0xFB, 0x90, 417);
    lone.resize(lone.size() + 100, 0x42);
    Bytes mixed = Frames(1, 0xFB, 0x90, 417);
    const Bytes other = Frames(1, 0xF3, 0x84, 192);  // another stream's header at the frame end
    mixed.insert(mixed.end(), other.begin(), other.end());
    Bytes freeFormat;
    for (int i = 0; i < 3; ++i) {
        Bytes frame(700, 0x22);
        frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x00;
        freeFormat.insert(freeFormat.end(), frame.begin(), frame.end());
    }
    EXPECT_TRUE(ContainsMpegAudio(audio, false));
    EXPECT_TRUE(ContainsMpegAudio(junkThenAudio, false));
    EXPECT_TRUE(ContainsMpegAudio(freeFormat, false));
    EXPECT_FALSE(ContainsMpegAudio(lone, false));
    EXPECT_FALSE(ContainsMpegAudio(mixed, false));
    EXPECT_FALSE(ContainsMpegAudio(ToBytes("hello world"), true));
    EXPECT_FALSE(ContainsMpegAudio(Bytes(100000, 0xFF), false));
    // A file of exactly one frame, or cut short inside its frame; not so in the middle.
    EXPECT_TRUE(ContainsMpegAudio(Frames(1, 0xFB, 0x90, 417), true));
    EXPECT_TRUE(ContainsMpegAudio(Slice(Frames(1, 0xFB, 0x90, 417), 0, 100), true));
    EXPECT_FALSE(ContainsMpegAudio(Frames(1, 0xFB, 0x90, 417), false));
    // Audio that starts beyond the first 64 KiB is not looked for.
    Bytes late(70000, 0x42);
    late.insert(late.end(), audio.begin(), audio.end());
    EXPECT_FALSE(ContainsMpegAudio(late, false));
}

TEST(MpegAudio, TheCheckLooksBehindTheTagAndBeforeTrailingTags) {
    const Bytes audio = Frames(4, 0xFB, 0x90, 417);
    Bytes record(128, 0);
    record[0] = 'T', record[1] = 'A', record[2] = 'G';
    Bytes ape(32, 0);
    std::copy_n("APETAGEX", 8, ape.begin());
    ape[8] = 0xD0, ape[9] = 0x07;  // version 2000
    ape[12] = 32;                  // tag size: the footer only
    Bytes second = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
    second.resize(30, 0);
    struct Case {
        const char* Name;
        Bytes File;
        int64_t Start;
        TMpegAudioCheck Expected;
    };
    auto cat = [](std::initializer_list<Bytes> Parts) {
        Bytes out;
        for (const Bytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const Bytes tag(100, 0x33);
    const Case cases[] = {
        {"audio", cat({tag, audio}), 100, TMpegAudioCheck::Audio},
        {"audio and ID3v1", cat({tag, audio, record}), 100, TMpegAudioCheck::Audio},
        {"a second tag before the audio", cat({tag, second, audio}), 100, TMpegAudioCheck::Audio},
        {"nothing behind the tag", tag, 100, TMpegAudioCheck::NothingAfter},
        {"only ID3v1 behind it", cat({tag, record}), 100, TMpegAudioCheck::NothingAfter},
        {"only APE and ID3v1", cat({tag, ape, record}), 100, TMpegAudioCheck::NothingAfter},
        {"zeros", cat({tag, Bytes(300, 0)}), 100, TMpegAudioCheck::NothingAfter},
        {"text", cat({tag, ToBytes("plain text, no audio")}), 100, TMpegAudioCheck::NotMpeg},
        {"text and ID3v1", cat({tag, ToBytes("plain text, no audio"), record}), 100,
         TMpegAudioCheck::NotMpeg},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream stream(c.File);
        EXPECT_EQ(CheckMpegAudio(stream, c.Start), c.Expected);
    }
}

// ---- the shared corpus --------------------------------------------------------------------

fs::path CorpusDir() {
    if (const char* dir = std::getenv("COVRILO_CORPUS"); dir != nullptr && *dir != '\0') return dir;
    return SourceDir().parent_path() / "shared" / "corpus";
}

// Files of the corpus that carry an MP3 name without being MP3 audio, and why. Every other
// .mp3/.mp2 file there must be accepted.
const std::map<std::string, std::string> kNotAudio = {
    {"tinytag__id3v1-latin1.mp3", "128 bytes of 0x55 filler in front of an ID3v1 record, no MPEG frame"},
    {"tinytag__incomplete.mp3", "3 bytes (c2 03 8b), nothing of MPEG audio"},
    {"jaudiotagger__Issue81.mp3", "82 bytes of a Mac resource header (\"MPG3hook\"), no audio"},
    {"jaudiotagger__Issue80.id3",
     "a bare tag whose last frame runs 417 bytes past its header's size: no audio"},
};

TEST(MpegAudio, EveryRealMp3OfTheCorpusIsAccepted) {
    const fs::path corpus = CorpusDir();
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus << " (set COVRILO_CORPUS)";
    int accepted = 0, tagOnly = 0, unreadable = 0;
    std::vector<std::string> refused;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".mp3" && ext != ".mp2" && ext != ".id3")) continue;
        const std::string name = entry.path().filename().string();
        // Where the facade looks: behind the tag as the engine reads it.
        int64_t start = 0;
        try {
            TID3v2Class tag(entry.path());
            if (tag.TagExists) start = int64_t{tag.TagSize} + 10 + ((tag.TagFlags & tfFooter) ? 10 : 0);
        } catch (const std::exception&) {
            ++unreadable;  // a tag the engine does not read is never written, audio or not
            continue;
        }
        TUnicodeFileStream stream(entry.path(), fmOpenRead | fmShareDenyNone);
        const TMpegAudioCheck check = CheckMpegAudio(stream, start);
        if (check == TMpegAudioCheck::Audio) ++accepted;
        if (check == TMpegAudioCheck::NothingAfter) ++tagOnly;
        if (check != TMpegAudioCheck::NotMpeg) continue;
        refused.push_back(name);
        EXPECT_TRUE(kNotAudio.contains(name)) << name << " is refused as not an MPEG audio file";
    }
    std::cout << "[ corpus  ] " << accepted << " with MPEG audio, " << tagOnly
              << " with nothing behind the tag, " << refused.size() << " refused as not MPEG audio, "
              << unreadable << " whose tag the engine does not read\n";
    for (const std::string& name : refused)
        if (kNotAudio.contains(name))
            std::cout << "[ corpus  ] refused: " << name << ": " << kNotAudio.at(name) << "\n";
}

}  // namespace
}  // namespace covrilo
