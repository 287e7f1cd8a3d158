// SPDX-License-Identifier: MIT
// Helpers for interop tests: real encoders make the fixtures, real peers (mutagen, TagLib,
// ffmpeg) read back what we write. See tests/interop/README.md.
//
// A test first states the tools it needs; a missing tool skips the test with the reason:
//
//   TEST(Id3v2Interop, MutagenReadsOurPicture) {
//       INTEROP_REQUIRE(Tool::Lame, Tool::Mutagen);
//       TempDir dir;
//       MakeMp3(dir / "a.mp3", 1.0);
//       ...
//       JsonValue dump = MutagenDump(dir / "a.mp3");
//       EXPECT_EQ(dump["id3v2"]["frames"][0]["id"].Str(), "APIC");
//   }
//
// The helpers throw InteropError (with the tool's output) when a tool fails, which fails the test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "JsonValue.h"
#include "support/TestSupport.h"

namespace covrilo::test {

class InteropError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Tool {
    Lame,     // lame, MP3 encoder
    Ffmpeg,   // ffmpeg, encoder/decoder and image maker
    Flac,     // flac, FLAC encoder
    Oggenc,   // oggenc (vorbis-tools), Ogg Vorbis encoder
    Mutagen,  // /usr/bin/python3 with python3-mutagen
    Pil,      // /usr/bin/python3 with python3-pil
    Taglib,   // our taglib_dump checker (built when libtag1-dev is found)
    EyeD3,    // /usr/bin/python3 with python3-eyed3
};

// Name of the tool for messages ("lame", "mutagen (python3-mutagen)", ...).
std::string ToolName(Tool tool);
bool HaveInteropTool(Tool tool);
// Empty when every tool is there; otherwise "missing: lame, taglib_dump (...)" for GTEST_SKIP.
std::string MissingTools(std::initializer_list<Tool> tools);

// Skips the current test (with the reason) unless all the named tools are there.
#define INTEROP_REQUIRE(...)                                                                        \
    do {                                                                                            \
        using ::covrilo::test::Tool;                                                                \
        const std::string interopMissing_ = ::covrilo::test::MissingTools({__VA_ARGS__});           \
        if (!interopMissing_.empty()) GTEST_SKIP() << interopMissing_;                              \
    } while (0)

// Where the Python tools live, and the interpreter that sees mutagen.
std::filesystem::path InteropToolsDir();
inline constexpr const char* kSystemPython = "/usr/bin/python3";

// Runs a shell command line with stdin from /dev/null and stdout and stderr captured apart
// (for programs whose stdout is data, such as the dumps or covrilo-cli).
struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};
ToolRun RunSeparately(const std::string& commandLine);

// ---- fixtures made by real encoders -------------------------------------------------------

enum class Encoder { Lame, Ffmpeg };

struct AudioOptions {
    double seconds = 1.0;
    int sampleRate = 44100;
    int channels = 2;
    int bitrateKbps = 128;  // MP3 only; constant bit rate
    Encoder encoder = Encoder::Lame;
    // More arguments for the encoder, placed before the file names (they win over ours):
    // {"--add-id3v2", "--tt", "Title"} lets lame write its own tag; {"-id3v2_version", "3",
    // "-metadata", "title=T"} does the same for ffmpeg; {"-T", "TITLE=x"} for flac and oggenc.
    std::vector<std::string> encoderArgs;
};

// A 16-bit PCM WAV of a 440 Hz sine, written by us (the input of lame, flac and oggenc).
void MakeWav(const std::filesystem::path& file, const AudioOptions& options = {});
// An MP3 without tags: lame from our WAV (lame adds its usual Info frame), or ffmpeg's
// libmp3lame from its sine source with no ID3 tag.
void MakeMp3(const std::filesystem::path& file, double seconds, Encoder encoder = Encoder::Lame);
void MakeMp3(const std::filesystem::path& file, const AudioOptions& options);
// A FLAC file (flac) and an Ogg Vorbis file (oggenc), from our WAV; flac adds its vendor comment.
void MakeFlac(const std::filesystem::path& file, const AudioOptions& options = {});
void MakeOggVorbis(const std::filesystem::path& file, const AudioOptions& options = {});
// A WMA (ASF, WMAv2) file from ffmpeg's sine source; tags through encoderArgs, e.g.
// {"-metadata", "title=T", "-metadata", "artist=A"} (ffmpeg writes both the content
// description and extended attributes).
void MakeWma(const std::filesystem::path& file, const AudioOptions& options = {});
// A test-pattern picture of the given size: ffmpeg when there, else PIL. The format is the
// function's, whatever the file name says.
void MakeJpeg(const std::filesystem::path& file, int width, int height);
void MakePng(const std::filesystem::path& file, int width, int height);

// ---- peers ---------------------------------------------------------------------------------

// Writes tags with mutagen's own writers; specJson is the input of tools/mutagen_tag.py.
void MutagenTag(const std::filesystem::path& file, const std::string& specJson);
// What mutagen and TagLib read (the common schema of the README).
JsonValue MutagenDump(const std::filesystem::path& file);
JsonValue TaglibDump(const std::filesystem::path& file);
// ffmpeg decodes the file's first audio stream with nothing logged at level "error" (messages
// of its picture decoders about an attached picture aside); on failure the message holds
// ffmpeg's output.
::testing::AssertionResult FfmpegDecodesCleanly(const std::filesystem::path& file);
// ffmpeg finds an attached picture (its first video stream) and decodes it without errors.
::testing::AssertionResult FfmpegDecodesAttachedPicture(const std::filesystem::path& file);

// Runs tools/preservation_check.py: covrilo-cli (cli) applies each operation (ops: a comma
// list of its operation names, "" for all seven) to copies of the files in work, and mutagen,
// eyeD3 and TagLib check every result. Returns its report (see the script's description).
JsonValue RunPreservationCheck(const std::filesystem::path& cli, const std::vector<std::filesystem::path>& files,
                               const std::filesystem::path& cover, const std::filesystem::path& work,
                               const std::string& ops = "");

// The frames of a dump's ID3v2 tag with the given id, in order (empty when there is no tag).
std::vector<JsonValue> FramesWithId(const JsonValue& dump, const std::string& id);
// The ids of a dump's ID3v2 frames, in order.
std::vector<std::string> FrameIds(const JsonValue& dump);

// ---- audio bytes ---------------------------------------------------------------------------

// Byte range of the MPEG audio in a file: after the ID3v2 tag(s) at the start, before the
// ID3v1 record, Lyrics3 (v1 and v2) block, APEv2 tag and appended ID3v2 tag at the end, in
// any order. Our own reading, independent of the library under test, so tests can check that
// a tag write left the audio untouched.
struct ByteRange {
    uint64_t begin = 0;
    uint64_t end = 0;
    uint64_t size() const { return end - begin; }
};
ByteRange MpegAudioRange(const Bytes& file);
ByteRange MpegAudioRange(const std::filesystem::path& file);
Bytes MpegAudioBytes(const std::filesystem::path& file);

// Lower-case hex SHA-256 of bytes or of a file, to compare with the dumps' picture hashes.
std::string Sha256OfBytes(const Bytes& data);
std::string Sha256OfFile(const std::filesystem::path& file);

}  // namespace covrilo::test
