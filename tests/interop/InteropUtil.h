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

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

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
std::string ToolName(Tool Tool);
bool HaveInteropTool(Tool Tool);
// Empty when every tool is there; otherwise "missing: lame, taglib_dump (...)" for GTEST_SKIP.
std::string MissingTools(std::initializer_list<Tool> Tools);

// Skips the current test (with the reason) unless all the named tools are there.
#define INTEROP_REQUIRE(...)                                                              \
    do {                                                                                  \
        using ::covrilo::test::Tool;                                                      \
        const std::string interopMissing_ = ::covrilo::test::MissingTools({__VA_ARGS__}); \
        if (!interopMissing_.empty()) GTEST_SKIP() << interopMissing_;                    \
    } while (0)

// Where the Python tools live, and the interpreter that sees mutagen.
std::filesystem::path InteropToolsDir();
inline constexpr const char* kSystemPython = "/usr/bin/python3";

// Runs a shell command line with stdin from /dev/null and stdout and stderr captured apart
// (for programs whose stdout is data, such as the dumps or covrilo-cli).
struct ToolRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};
ToolRun RunSeparately(const std::string& CommandLine);

// ---- fixtures made by real encoders -------------------------------------------------------

enum class Encoder { Lame, Ffmpeg };

struct AudioOptions {
    double Seconds = 1.0;
    int SampleRate = 44100;
    int Channels = 2;
    int BitrateKbps = 128;            // MP3 only; constant bit rate
    Encoder Program = Encoder::Lame;  // the encoder that makes the file
    // More arguments for the encoder, placed before the file names (they win over ours):
    // {"--add-id3v2", "--tt", "Title"} lets lame write its own tag; {"-id3v2_version", "3",
    // "-metadata", "title=T"} does the same for ffmpeg; {"-T", "TITLE=x"} for flac and oggenc.
    std::vector<std::string> EncoderArgs;
};

// A 16-bit PCM WAV of a 440 Hz sine, written by us (the input of lame, flac and oggenc).
void MakeWav(const std::filesystem::path& File, const AudioOptions& Options = {});
// An MP3 without tags: lame from our WAV (lame adds its usual Info frame), or ffmpeg's
// libmp3lame from its sine source with no ID3 tag.
void MakeMp3(const std::filesystem::path& File, double Seconds, Encoder Program = Encoder::Lame);
void MakeMp3(const std::filesystem::path& File, const AudioOptions& Options);
// A FLAC file (flac) and an Ogg Vorbis file (oggenc), from our WAV; flac adds its vendor comment.
void MakeFlac(const std::filesystem::path& File, const AudioOptions& Options = {});
void MakeOggVorbis(const std::filesystem::path& File, const AudioOptions& Options = {});
// A WMA (ASF, WMAv2) file from ffmpeg's sine source; tags through EncoderArgs, e.g.
// {"-metadata", "title=T", "-metadata", "artist=A"} (ffmpeg writes both the content
// description and extended attributes).
void MakeWma(const std::filesystem::path& File, const AudioOptions& Options = {});
// A test-pattern picture of the given size: ffmpeg when there, else PIL. The format is the
// function's, whatever the file name says.
void MakeJpeg(const std::filesystem::path& File, int Width, int Height);
void MakePng(const std::filesystem::path& File, int Width, int Height);

// ---- peers ---------------------------------------------------------------------------------

// Writes tags with mutagen's own writers; specJson is the input of tools/mutagen_tag.py.
void MutagenTag(const std::filesystem::path& File, const std::string& SpecJson);
// What mutagen and TagLib read (the common schema of the README).
JsonValue MutagenDump(const std::filesystem::path& File);
JsonValue TaglibDump(const std::filesystem::path& File);
// ffmpeg decodes the file's first audio stream with nothing logged at level "error" (messages
// of its picture decoders about an attached picture aside); on failure the message holds
// ffmpeg's output.
::testing::AssertionResult FfmpegDecodesCleanly(const std::filesystem::path& File);
// ffmpeg finds an attached picture (its first video stream) and decodes it without errors.
::testing::AssertionResult FfmpegDecodesAttachedPicture(const std::filesystem::path& File);

// Runs tools/preservation_check.py: covrilo-cli (cli) applies each operation (ops: a comma
// list of its operation names, "" for all seven) to copies of the files in work, and mutagen,
// eyeD3 and TagLib check every result. Returns its report (see the script's description).
JsonValue RunPreservationCheck(const std::filesystem::path& Cli,
                               const std::vector<std::filesystem::path>& Files,
                               const std::filesystem::path& Cover, const std::filesystem::path& Work,
                               const std::string& Ops = "");

// The frames of a dump's ID3v2 tag with the given id, in order (empty when there is no tag).
std::vector<JsonValue> FramesWithId(const JsonValue& Dump, const std::string& Id);
// The ids of a dump's ID3v2 frames, in order.
std::vector<std::string> FrameIds(const JsonValue& Dump);

// ---- audio bytes ---------------------------------------------------------------------------

// Byte range of the MPEG audio in a file: after the ID3v2 tag(s) at the start, before the
// ID3v1 record, Lyrics3 (v1 and v2) block, APEv2 tag and appended ID3v2 tag at the end, in
// any order. Our own reading, independent of the library under test, so tests can check that
// a tag write left the audio untouched.
struct ByteRange {
    uint64_t Begin = 0;
    uint64_t End = 0;
    uint64_t Size() const { return End - Begin; }
};
ByteRange MpegAudioRange(const Bytes& File);
ByteRange MpegAudioRange(const std::filesystem::path& File);
Bytes MpegAudioBytes(const std::filesystem::path& File);

// Lower-case hex SHA-256 of bytes or of a file, to compare with the dumps' picture hashes.
std::string Sha256OfBytes(const Bytes& Data);
std::string Sha256OfFile(const std::filesystem::path& File);

}  // namespace covrilo::test
