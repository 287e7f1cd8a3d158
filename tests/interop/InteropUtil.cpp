// SPDX-License-Identifier: MIT
#include "InteropUtil.h"

#include <cmath>
#include <fstream>
#include <numbers>
#include <string_view>

#include "Sha256.h"

#ifndef COVRILO_TAGLIB_DUMP
#define COVRILO_TAGLIB_DUMP ""
#endif
#ifndef COVRILO_INTEROP_TOOLS_DIR
#define COVRILO_INTEROP_TOOLS_DIR ""
#endif

namespace covrilo::test {
namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& File) {
    std::ifstream in(File, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ToolRun RunOrThrow(const std::string& What, const std::string& CommandLine) {
    ToolRun run = RunSeparately(CommandLine);
    if (run.ExitCode != 0)
        throw InteropError(What + " failed (exit " + std::to_string(run.ExitCode) + "): " + CommandLine +
                           "\n" + run.Err + run.Out);
    return run;
}

void RequireTool(Tool Tool) {
    if (!HaveInteropTool(Tool))
        throw InteropError(ToolName(Tool) + " is not available; start the test with INTEROP_REQUIRE");
}

std::string Q(const fs::path& P) { return ShellQuote(P.string()); }

std::string Python(const std::string& Script) {
    return std::string(kSystemPython) + " " + Q(InteropToolsDir() / Script);
}

JsonValue ParseDump(const std::string& What, const ToolRun& Run) {
    try {
        return JsonValue::Parse(Run.Out);
    } catch (const JsonError& e) {
        throw InteropError(What + " printed no valid JSON: " + e.what() + "\n" + Run.Out + Run.Err);
    }
}

void PutLe(Bytes& Out, uint32_t Value, int Bytes) {
    for (int i = 0; i < Bytes; ++i) Out.push_back(static_cast<uint8_t>(Value >> (8 * i)));
}

// The format is given, not guessed from the file name, so any name will do.
void MakeImage(const fs::path& File, int Width, int Height, bool Png) {
    if (Width <= 0 || Height <= 0) throw InteropError("MakeJpeg/MakePng: bad size");
    const std::string size = std::to_string(Width) + "x" + std::to_string(Height);
    if (HaveInteropTool(Tool::Ffmpeg)) {
        RunOrThrow("ffmpeg (picture)", "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=" + size +
                                           ":rate=1 -frames:v 1 -c:v " + (Png ? "png" : "mjpeg") +
                                           " -f image2 -update 1 " + Q(File));
        return;
    }
    RequireTool(Tool::Pil);
    RunOrThrow("PIL (picture)",
               std::string(kSystemPython) +
                   " -c 'import sys; from PIL import Image; "
                   "w, h = int(sys.argv[2]), int(sys.argv[3]); "
                   "im = Image.new(\"RGB\", (w, h)); "
                   "im.putdata([(x * 255 // w, y * 255 // h, 128) for y in range(h) for x in range(w)]); "
                   "im.save(sys.argv[1], sys.argv[4])' " +
                   Q(File) + " " + std::to_string(Width) + " " + std::to_string(Height) +
                   (Png ? " PNG" : " JPEG"));
}

bool Match(const Bytes& Data, uint64_t Pos, std::string_view Text) {
    if (Pos > Data.size() || Text.size() > Data.size() - Pos) return false;
    for (size_t i = 0; i < Text.size(); ++i)
        if (Data[Pos + i] != static_cast<uint8_t>(Text[i])) return false;
    return true;
}

uint32_t Syncsafe(const Bytes& Data, uint64_t Pos) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 7) | (Data[Pos + i] & 0x7F);
    return value;
}

uint32_t Le32(const Bytes& Data, uint64_t Pos) {
    return uint32_t{Data[Pos]} | uint32_t{Data[Pos + 1]} << 8 | uint32_t{Data[Pos + 2]} << 16 |
           uint32_t{Data[Pos + 3]} << 24;
}

// One trailing block (ID3v1, APEv2, Lyrics3 v2/v1, appended ID3v2) ending at `end`, or 0.
uint64_t TrailingBlockSize(const Bytes& D, uint64_t Begin, uint64_t End) {
    const uint64_t room = End - Begin;
    if (room >= 128 && Match(D, End - 128, "TAG")) return 128;
    if (room >= 32 && Match(D, End - 32, "APETAGEX")) {
        uint64_t size = Le32(D, End - 32 + 12);
        if (Le32(D, End - 32 + 20) & 0x80000000u) size += 32;  // a header in front of the items
        if (size >= 32 && size <= room) return size;
    }
    if (room >= 15 && Match(D, End - 9, "LYRICS200")) {
        uint64_t size = 0;
        for (uint64_t i = End - 15; i < End - 9; ++i) {
            if (D[i] < '0' || D[i] > '9') return 0;
            size = size * 10 + (D[i] - '0');
        }
        if (size + 15 <= room && Match(D, End - 15 - size, "LYRICSBEGIN")) return size + 15;
    }
    if (room >= 20 && Match(D, End - 9, "LYRICSEND")) {
        // Lyrics3 v1 holds at most 5100 bytes of lyrics after "LYRICSBEGIN".
        const uint64_t lowest = room > 5100 + 20 ? End - 5100 - 20 : Begin;
        for (uint64_t pos = End - 20;; --pos) {
            if (Match(D, pos, "LYRICSBEGIN")) return End - pos;
            if (pos == lowest) break;
        }
    }
    if (room >= 20 && Match(D, End - 10, "3DI")) {
        uint64_t size = uint64_t{Syncsafe(D, End - 4)} + 20;
        if (size <= room && Match(D, End - size, "ID3")) return size;
    }
    return 0;
}

bool PythonImports(const std::string& Module) {
    return fs::exists(kSystemPython) &&
           RunSeparately(std::string(kSystemPython) + " -c 'import " + Module + "'").ExitCode == 0;
}

std::string ExtraArgs(const AudioOptions& Options) {
    std::string args;
    for (const std::string& arg : Options.EncoderArgs) args += " " + ShellQuote(arg);
    return args;
}

}  // namespace

ToolRun RunSeparately(const std::string& CommandLine) {
    TempDir scratch;
    const fs::path out = scratch / "stdout";
    const fs::path err = scratch / "stderr";
    // The outer group keeps RunCommand's own "2>&1" from folding stderr back into stdout.
    CommandResult r = RunCommand("{ { " + CommandLine + "\n} </dev/null >" + ShellQuote(out.string()) +
                                 " 2>" + ShellQuote(err.string()) + "; }");
    return ToolRun{r.ExitCode, ReadText(out), ReadText(err)};
}

std::string ToolName(Tool Tool) {
    switch (Tool) {
        case Tool::Lame:
            return "lame";
        case Tool::Ffmpeg:
            return "ffmpeg";
        case Tool::Flac:
            return "flac";
        case Tool::Oggenc:
            return "oggenc (vorbis-tools)";
        case Tool::Mutagen:
            return "mutagen (python3-mutagen for /usr/bin/python3)";
        case Tool::Pil:
            return "PIL (python3-pil for /usr/bin/python3)";
        case Tool::Taglib:
            return "taglib_dump (built when libtag1-dev is installed)";
        case Tool::EyeD3:
            return "eyeD3 (python3-eyed3 for /usr/bin/python3)";
    }
    return "unknown tool";
}

bool HaveInteropTool(Tool Tool) {
    switch (Tool) {
        case Tool::Lame:
            return HaveTool("lame");
        case Tool::Ffmpeg:
            return HaveTool("ffmpeg");
        case Tool::Flac:
            return HaveTool("flac");
        case Tool::Oggenc:
            return HaveTool("oggenc");
        case Tool::Mutagen: {
            // Starting the interpreter costs a tenth of a second; the answer cannot change.
            static const bool have = PythonImports("mutagen");
            return have;
        }
        case Tool::Pil: {
            static const bool have = PythonImports("PIL.Image");
            return have;
        }
        case Tool::Taglib: {
            const std::string dump = COVRILO_TAGLIB_DUMP;
            return !dump.empty() && fs::exists(dump);
        }
        case Tool::EyeD3: {
            static const bool have = PythonImports("eyed3");
            return have;
        }
    }
    return false;
}

std::string MissingTools(std::initializer_list<Tool> Tools) {
    std::string missing;
    for (Tool tool : Tools) {
        if (HaveInteropTool(tool)) continue;
        missing += missing.empty() ? "missing: " : ", ";
        missing += ToolName(tool);
    }
    return missing;
}

fs::path InteropToolsDir() { return COVRILO_INTEROP_TOOLS_DIR; }

JsonValue RunPreservationCheck(const fs::path& Cli, const std::vector<fs::path>& Files, const fs::path& Cover,
                               const fs::path& Work, const std::string& Ops) {
    RequireTool(Tool::Mutagen);
    RequireTool(Tool::EyeD3);
    RequireTool(Tool::Taglib);
    fs::create_directories(Work);
    std::string list;
    for (const fs::path& file : Files) list += file.string() + "\n";
    WriteFileBytes(Work / "files.txt", Bytes(list.begin(), list.end()));
    std::string command = Python("preservation_check.py") + " --cli " + Q(Cli) + " --taglib-dump " +
                          ShellQuote(COVRILO_TAGLIB_DUMP) + " --cover " + Q(Cover) + " --work " +
                          Q(Work / "runs") + " --list " + Q(Work / "files.txt");
    if (!Ops.empty()) command += " --ops " + ShellQuote(Ops);
    const ToolRun run = RunSeparately(command);
    // Exit 1 only says that some result is a problem: the report says which.
    if (run.ExitCode != 0 && run.ExitCode != 1)
        throw InteropError("preservation_check.py failed (exit " + std::to_string(run.ExitCode) + ")\n" +
                           run.Err);
    return ParseDump("preservation_check.py", run);
}

void MakeWav(const fs::path& File, const AudioOptions& Options) {
    if (Options.Seconds <= 0 || Options.SampleRate <= 0 || Options.Channels < 1 || Options.Channels > 2)
        throw InteropError("MakeWav: bad options");
    const auto frames = static_cast<uint32_t>(std::lround(Options.Seconds * Options.SampleRate));
    const auto channels = static_cast<uint32_t>(Options.Channels);
    const uint32_t dataSize = frames * channels * 2;
    Bytes wav;
    wav.reserve(44 + dataSize);
    for (char c : std::string_view("RIFF")) wav.push_back(static_cast<uint8_t>(c));
    PutLe(wav, 36 + dataSize, 4);
    for (char c : std::string_view("WAVEfmt ")) wav.push_back(static_cast<uint8_t>(c));
    PutLe(wav, 16, 4);
    PutLe(wav, 1, 2);  // PCM
    PutLe(wav, channels, 2);
    PutLe(wav, static_cast<uint32_t>(Options.SampleRate), 4);
    PutLe(wav, static_cast<uint32_t>(Options.SampleRate) * channels * 2, 4);
    PutLe(wav, channels * 2, 2);
    PutLe(wav, 16, 2);
    for (char c : std::string_view("data")) wav.push_back(static_cast<uint8_t>(c));
    PutLe(wav, dataSize, 4);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / Options.SampleRate;
        const auto sample =
            static_cast<int16_t>(std::lround(9000.0 * std::sin(2 * std::numbers::pi * 440.0 * t)));
        for (uint32_t c = 0; c < channels; ++c) PutLe(wav, static_cast<uint16_t>(sample), 2);
    }
    WriteFileBytes(File, wav);
}

void MakeMp3(const fs::path& File, double Seconds, Encoder Program) {
    AudioOptions options;
    options.Seconds = Seconds;
    options.Program = Program;
    MakeMp3(File, options);
}

void MakeMp3(const fs::path& File, const AudioOptions& Options) {
    const std::string kbps = std::to_string(Options.BitrateKbps);
    if (Options.Program == Encoder::Lame) {
        RequireTool(Tool::Lame);
        TempDir scratch;
        MakeWav(scratch / "in.wav", Options);
        RunOrThrow("lame", "lame --quiet -b " + kbps + (Options.Channels == 1 ? " -m m" : "") +
                               ExtraArgs(Options) + " " + Q(scratch / "in.wav") + " " + Q(File));
        return;
    }
    RequireTool(Tool::Ffmpeg);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", Options.Seconds);
    RunOrThrow("ffmpeg (mp3)", "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:sample_rate=" +
                                   std::to_string(Options.SampleRate) + ":duration=" + seconds + " -ac " +
                                   std::to_string(Options.Channels) + " -c:a libmp3lame -b:a " + kbps +
                                   "k -map_metadata -1 -id3v2_version 0 -write_id3v1 0" + ExtraArgs(Options) +
                                   " -f mp3 " + Q(File));
}

void MakeFlac(const fs::path& File, const AudioOptions& Options) {
    RequireTool(Tool::Flac);
    TempDir scratch;
    MakeWav(scratch / "in.wav", Options);
    RunOrThrow("flac",
               "flac --silent --force" + ExtraArgs(Options) + " -o " + Q(File) + " " + Q(scratch / "in.wav"));
}

void MakeOggVorbis(const fs::path& File, const AudioOptions& Options) {
    RequireTool(Tool::Oggenc);
    TempDir scratch;
    MakeWav(scratch / "in.wav", Options);
    RunOrThrow("oggenc",
               "oggenc --quiet" + ExtraArgs(Options) + " -o " + Q(File) + " " + Q(scratch / "in.wav"));
}

void MakeWma(const fs::path& File, const AudioOptions& Options) {
    RequireTool(Tool::Ffmpeg);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", Options.Seconds);
    RunOrThrow("ffmpeg (wma)", "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:sample_rate=" +
                                   std::to_string(Options.SampleRate) + ":duration=" + seconds + " -ac " +
                                   std::to_string(Options.Channels) + " -c:a wmav2 -b:a " +
                                   std::to_string(Options.BitrateKbps) + "k -map_metadata -1" +
                                   ExtraArgs(Options) + " -f asf " + Q(File));
}

void MakeJpeg(const fs::path& File, int Width, int Height) { MakeImage(File, Width, Height, false); }
void MakePng(const fs::path& File, int Width, int Height) { MakeImage(File, Width, Height, true); }

void MutagenTag(const fs::path& File, const std::string& SpecJson) {
    RequireTool(Tool::Mutagen);
    TempDir scratch;
    WriteFileBytes(scratch / "tags.json", ToBytes(SpecJson));
    RunOrThrow("mutagen_tag.py", Python("mutagen_tag.py") + " " + Q(File) + " " + Q(scratch / "tags.json"));
}

JsonValue MutagenDump(const fs::path& File) {
    RequireTool(Tool::Mutagen);
    return ParseDump("mutagen_dump.py",
                     RunOrThrow("mutagen_dump.py", Python("mutagen_dump.py") + " " + Q(File)));
}

JsonValue TaglibDump(const fs::path& File) {
    RequireTool(Tool::Taglib);
    return ParseDump("taglib_dump",
                     RunOrThrow("taglib_dump", ShellQuote(COVRILO_TAGLIB_DUMP) + std::string(" ") + Q(File)));
}

::testing::AssertionResult FfmpegDecodesCleanly(const fs::path& File) {
    if (!HaveInteropTool(Tool::Ffmpeg)) return ::testing::AssertionFailure() << "ffmpeg is not available";
    ToolRun run = RunSeparately("ffmpeg -nostdin -v error -i " + Q(File) + " -map 0:a:0 -f null -");
    // ffmpeg decodes an attached picture while probing the file, even when only audio is asked
    // for; what its picture decoders say is about the picture, which has its own check.
    std::string audioMessages;
    size_t start = 0;
    while (start < run.Err.size()) {
        size_t end = run.Err.find('\n', start);
        if (end == std::string::npos) end = run.Err.size() - 1;
        const std::string line = run.Err.substr(start, end + 1 - start);
        bool picture = false;
        for (const char* decoder : {"[mjpeg @", "[png @", "[bmp @", "[gif @", "[webp @", "[tiff @"})
            picture = picture || line.starts_with(decoder);
        if (!picture) audioMessages += line;
        start = end + 1;
    }
    if (run.ExitCode == 0 && audioMessages.empty() && run.Out.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ffmpeg (exit " << run.ExitCode << ") on " << File << ":\n"
                                         << run.Err << run.Out;
}

::testing::AssertionResult FfmpegDecodesAttachedPicture(const fs::path& File) {
    if (!HaveInteropTool(Tool::Ffmpeg)) return ::testing::AssertionFailure() << "ffmpeg is not available";
    ToolRun run = RunSeparately("ffmpeg -nostdin -v error -i " + Q(File) + " -map 0:v:0 -f null -");
    if (run.ExitCode == 0 && run.Err.empty() && run.Out.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "ffmpeg (exit " << run.ExitCode << ") on the picture of " << File << ":\n"
           << run.Err << run.Out;
}

std::vector<JsonValue> FramesWithId(const JsonValue& Dump, const std::string& Id) {
    std::vector<JsonValue> frames;
    if (Dump["id3v2"].IsNull()) return frames;
    for (const JsonValue& frame : Dump["id3v2"]["frames"].Arr())
        if (frame["id"].Str() == Id) frames.push_back(frame);
    return frames;
}

std::vector<std::string> FrameIds(const JsonValue& Dump) {
    std::vector<std::string> ids;
    if (Dump["id3v2"].IsNull()) return ids;
    for (const JsonValue& frame : Dump["id3v2"]["frames"].Arr()) ids.push_back(frame["id"].Str());
    return ids;
}

ByteRange MpegAudioRange(const Bytes& D) {
    uint64_t begin = 0;
    // Leading ID3v2 tags; some files carry more than one.
    while (D.size() - begin >= 10 && Match(D, begin, "ID3") && D[begin + 3] < 0xFF && D[begin + 4] < 0xFF) {
        uint64_t size = uint64_t{Syncsafe(D, begin + 6)} + 10;
        if (D[begin + 3] == 4 && (D[begin + 5] & 0x10)) size += 10;  // footer
        if (size > D.size() - begin) break;
        begin += size;
    }
    uint64_t end = D.size();
    while (end > begin) {
        uint64_t block = TrailingBlockSize(D, begin, end);
        if (block == 0) break;
        end -= block;
    }
    return ByteRange{begin, end};
}

ByteRange MpegAudioRange(const fs::path& File) { return MpegAudioRange(ReadFileBytes(File)); }

Bytes MpegAudioBytes(const fs::path& File) {
    Bytes data = ReadFileBytes(File);
    ByteRange range = MpegAudioRange(data);
    return Bytes(data.begin() + static_cast<std::ptrdiff_t>(range.Begin),
                 data.begin() + static_cast<std::ptrdiff_t>(range.End));
}

std::string Sha256OfBytes(const Bytes& Data) { return Sha256Hex(Data); }
std::string Sha256OfFile(const fs::path& File) { return Sha256Hex(ReadFileBytes(File)); }

}  // namespace covrilo::test
