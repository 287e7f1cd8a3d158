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

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ToolRun RunOrThrow(const std::string& what, const std::string& commandLine) {
    ToolRun run = RunSeparately(commandLine);
    if (run.exitCode != 0)
        throw InteropError(what + " failed (exit " + std::to_string(run.exitCode) + "): " + commandLine + "\n" +
                           run.err + run.out);
    return run;
}

void RequireTool(Tool tool) {
    if (!HaveInteropTool(tool))
        throw InteropError(ToolName(tool) + " is not available; start the test with INTEROP_REQUIRE");
}

std::string Q(const fs::path& p) { return ShellQuote(p.string()); }

std::string Python(const std::string& script) {
    return std::string(kSystemPython) + " " + Q(InteropToolsDir() / script);
}

JsonValue ParseDump(const std::string& what, const ToolRun& run) {
    try {
        return JsonValue::Parse(run.out);
    } catch (const JsonError& e) {
        throw InteropError(what + " printed no valid JSON: " + e.what() + "\n" + run.out + run.err);
    }
}

void PutLe(Bytes& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The format is given, not guessed from the file name, so any name will do.
void MakeImage(const fs::path& file, int width, int height, bool png) {
    if (width <= 0 || height <= 0) throw InteropError("MakeJpeg/MakePng: bad size");
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (HaveInteropTool(Tool::Ffmpeg)) {
        RunOrThrow("ffmpeg (picture)", "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=" + size +
                                           ":rate=1 -frames:v 1 -c:v " + (png ? "png" : "mjpeg") +
                                           " -f image2 -update 1 " + Q(file));
        return;
    }
    RequireTool(Tool::Pil);
    RunOrThrow("PIL (picture)", std::string(kSystemPython) +
                                    " -c 'import sys; from PIL import Image; "
                                    "w, h = int(sys.argv[2]), int(sys.argv[3]); "
                                    "im = Image.new(\"RGB\", (w, h)); "
                                    "im.putdata([(x * 255 // w, y * 255 // h, 128) for y in range(h) for x in range(w)]); "
                                    "im.save(sys.argv[1], sys.argv[4])' " +
                                    Q(file) + " " + std::to_string(width) + " " + std::to_string(height) +
                                    (png ? " PNG" : " JPEG"));
}

bool Match(const Bytes& data, uint64_t pos, std::string_view text) {
    if (pos > data.size() || text.size() > data.size() - pos) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (data[pos + i] != static_cast<uint8_t>(text[i])) return false;
    return true;
}

uint32_t Syncsafe(const Bytes& data, uint64_t pos) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 7) | (data[pos + i] & 0x7F);
    return value;
}

uint32_t Le32(const Bytes& data, uint64_t pos) {
    return uint32_t{data[pos]} | uint32_t{data[pos + 1]} << 8 | uint32_t{data[pos + 2]} << 16 |
           uint32_t{data[pos + 3]} << 24;
}

// One trailing block (ID3v1, APEv2, Lyrics3 v2/v1, appended ID3v2) ending at `end`, or 0.
uint64_t TrailingBlockSize(const Bytes& d, uint64_t begin, uint64_t end) {
    const uint64_t room = end - begin;
    if (room >= 128 && Match(d, end - 128, "TAG")) return 128;
    if (room >= 32 && Match(d, end - 32, "APETAGEX")) {
        uint64_t size = Le32(d, end - 32 + 12);
        if (Le32(d, end - 32 + 20) & 0x80000000u) size += 32;  // a header in front of the items
        if (size >= 32 && size <= room) return size;
    }
    if (room >= 15 && Match(d, end - 9, "LYRICS200")) {
        uint64_t size = 0;
        for (uint64_t i = end - 15; i < end - 9; ++i) {
            if (d[i] < '0' || d[i] > '9') return 0;
            size = size * 10 + (d[i] - '0');
        }
        if (size + 15 <= room && Match(d, end - 15 - size, "LYRICSBEGIN")) return size + 15;
    }
    if (room >= 20 && Match(d, end - 9, "LYRICSEND")) {
        // Lyrics3 v1 holds at most 5100 bytes of lyrics after "LYRICSBEGIN".
        const uint64_t lowest = room > 5100 + 20 ? end - 5100 - 20 : begin;
        for (uint64_t pos = end - 20;; --pos) {
            if (Match(d, pos, "LYRICSBEGIN")) return end - pos;
            if (pos == lowest) break;
        }
    }
    if (room >= 20 && Match(d, end - 10, "3DI")) {
        uint64_t size = uint64_t{Syncsafe(d, end - 4)} + 20;
        if (size <= room && Match(d, end - size, "ID3")) return size;
    }
    return 0;
}

bool PythonImports(const std::string& module) {
    return fs::exists(kSystemPython) && RunSeparately(std::string(kSystemPython) + " -c 'import " + module + "'").exitCode == 0;
}

std::string ExtraArgs(const AudioOptions& options) {
    std::string args;
    for (const std::string& arg : options.encoderArgs) args += " " + ShellQuote(arg);
    return args;
}

}  // namespace

ToolRun RunSeparately(const std::string& commandLine) {
    TempDir scratch;
    const fs::path out = scratch / "stdout";
    const fs::path err = scratch / "stderr";
    // The outer group keeps RunCommand's own "2>&1" from folding stderr back into stdout.
    CommandResult r = RunCommand("{ { " + commandLine + "\n} </dev/null >" + ShellQuote(out.string()) + " 2>" +
                                 ShellQuote(err.string()) + "; }");
    return ToolRun{r.exitCode, ReadText(out), ReadText(err)};
}

std::string ToolName(Tool tool) {
    switch (tool) {
        case Tool::Lame: return "lame";
        case Tool::Ffmpeg: return "ffmpeg";
        case Tool::Flac: return "flac";
        case Tool::Oggenc: return "oggenc (vorbis-tools)";
        case Tool::Mutagen: return "mutagen (python3-mutagen for /usr/bin/python3)";
        case Tool::Pil: return "PIL (python3-pil for /usr/bin/python3)";
        case Tool::Taglib: return "taglib_dump (built when libtag1-dev is installed)";
        case Tool::EyeD3: return "eyeD3 (python3-eyed3 for /usr/bin/python3)";
    }
    return "unknown tool";
}

bool HaveInteropTool(Tool tool) {
    switch (tool) {
        case Tool::Lame: return HaveTool("lame");
        case Tool::Ffmpeg: return HaveTool("ffmpeg");
        case Tool::Flac: return HaveTool("flac");
        case Tool::Oggenc: return HaveTool("oggenc");
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

std::string MissingTools(std::initializer_list<Tool> tools) {
    std::string missing;
    for (Tool tool : tools) {
        if (HaveInteropTool(tool)) continue;
        missing += missing.empty() ? "missing: " : ", ";
        missing += ToolName(tool);
    }
    return missing;
}

fs::path InteropToolsDir() { return COVRILO_INTEROP_TOOLS_DIR; }

JsonValue RunPreservationCheck(const fs::path& cli, const std::vector<fs::path>& files, const fs::path& cover,
                               const fs::path& work, const std::string& ops) {
    RequireTool(Tool::Mutagen);
    RequireTool(Tool::EyeD3);
    RequireTool(Tool::Taglib);
    fs::create_directories(work);
    std::string list;
    for (const fs::path& file : files) list += file.string() + "\n";
    WriteFileBytes(work / "files.txt", Bytes(list.begin(), list.end()));
    std::string command = Python("preservation_check.py") + " --cli " + Q(cli) + " --taglib-dump " +
                          ShellQuote(COVRILO_TAGLIB_DUMP) + " --cover " + Q(cover) + " --work " + Q(work / "runs") +
                          " --list " + Q(work / "files.txt");
    if (!ops.empty()) command += " --ops " + ShellQuote(ops);
    const ToolRun run = RunSeparately(command);
    // Exit 1 only says that some result is a problem: the report says which.
    if (run.exitCode != 0 && run.exitCode != 1)
        throw InteropError("preservation_check.py failed (exit " + std::to_string(run.exitCode) + ")\n" + run.err);
    return ParseDump("preservation_check.py", run);
}

void MakeWav(const fs::path& file, const AudioOptions& options) {
    if (options.seconds <= 0 || options.sampleRate <= 0 || options.channels < 1 || options.channels > 2)
        throw InteropError("MakeWav: bad options");
    const auto frames = static_cast<uint32_t>(std::lround(options.seconds * options.sampleRate));
    const auto channels = static_cast<uint32_t>(options.channels);
    const uint32_t dataSize = frames * channels * 2;
    Bytes wav;
    wav.reserve(44 + dataSize);
    for (char c : std::string_view("RIFF")) wav.push_back(static_cast<uint8_t>(c));
    PutLe(wav, 36 + dataSize, 4);
    for (char c : std::string_view("WAVEfmt ")) wav.push_back(static_cast<uint8_t>(c));
    PutLe(wav, 16, 4);
    PutLe(wav, 1, 2);  // PCM
    PutLe(wav, channels, 2);
    PutLe(wav, static_cast<uint32_t>(options.sampleRate), 4);
    PutLe(wav, static_cast<uint32_t>(options.sampleRate) * channels * 2, 4);
    PutLe(wav, channels * 2, 2);
    PutLe(wav, 16, 2);
    for (char c : std::string_view("data")) wav.push_back(static_cast<uint8_t>(c));
    PutLe(wav, dataSize, 4);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / options.sampleRate;
        const auto sample = static_cast<int16_t>(std::lround(9000.0 * std::sin(2 * std::numbers::pi * 440.0 * t)));
        for (uint32_t c = 0; c < channels; ++c) PutLe(wav, static_cast<uint16_t>(sample), 2);
    }
    WriteFileBytes(file, wav);
}

void MakeMp3(const fs::path& file, double seconds, Encoder encoder) {
    AudioOptions options;
    options.seconds = seconds;
    options.encoder = encoder;
    MakeMp3(file, options);
}

void MakeMp3(const fs::path& file, const AudioOptions& options) {
    const std::string kbps = std::to_string(options.bitrateKbps);
    if (options.encoder == Encoder::Lame) {
        RequireTool(Tool::Lame);
        TempDir scratch;
        MakeWav(scratch / "in.wav", options);
        RunOrThrow("lame", "lame --quiet -b " + kbps + (options.channels == 1 ? " -m m" : "") + ExtraArgs(options) +
                               " " + Q(scratch / "in.wav") + " " + Q(file));
        return;
    }
    RequireTool(Tool::Ffmpeg);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", options.seconds);
    RunOrThrow("ffmpeg (mp3)", "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:sample_rate=" +
                                   std::to_string(options.sampleRate) + ":duration=" + seconds + " -ac " +
                                   std::to_string(options.channels) + " -c:a libmp3lame -b:a " + kbps +
                                   "k -map_metadata -1 -id3v2_version 0 -write_id3v1 0" + ExtraArgs(options) + " -f mp3 " +
                                   Q(file));
}

void MakeFlac(const fs::path& file, const AudioOptions& options) {
    RequireTool(Tool::Flac);
    TempDir scratch;
    MakeWav(scratch / "in.wav", options);
    RunOrThrow("flac", "flac --silent --force" + ExtraArgs(options) + " -o " + Q(file) + " " + Q(scratch / "in.wav"));
}

void MakeOggVorbis(const fs::path& file, const AudioOptions& options) {
    RequireTool(Tool::Oggenc);
    TempDir scratch;
    MakeWav(scratch / "in.wav", options);
    RunOrThrow("oggenc", "oggenc --quiet" + ExtraArgs(options) + " -o " + Q(file) + " " + Q(scratch / "in.wav"));
}

void MakeWma(const fs::path& file, const AudioOptions& options) {
    RequireTool(Tool::Ffmpeg);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", options.seconds);
    RunOrThrow("ffmpeg (wma)", "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:sample_rate=" +
                                   std::to_string(options.sampleRate) + ":duration=" + seconds + " -ac " +
                                   std::to_string(options.channels) + " -c:a wmav2 -b:a " +
                                   std::to_string(options.bitrateKbps) + "k -map_metadata -1" +
                                   ExtraArgs(options) + " -f asf " + Q(file));
}

void MakeJpeg(const fs::path& file, int width, int height) { MakeImage(file, width, height, false); }
void MakePng(const fs::path& file, int width, int height) { MakeImage(file, width, height, true); }

void MutagenTag(const fs::path& file, const std::string& specJson) {
    RequireTool(Tool::Mutagen);
    TempDir scratch;
    WriteFileBytes(scratch / "tags.json", ToBytes(specJson));
    RunOrThrow("mutagen_tag.py", Python("mutagen_tag.py") + " " + Q(file) + " " + Q(scratch / "tags.json"));
}

JsonValue MutagenDump(const fs::path& file) {
    RequireTool(Tool::Mutagen);
    return ParseDump("mutagen_dump.py", RunOrThrow("mutagen_dump.py", Python("mutagen_dump.py") + " " + Q(file)));
}

JsonValue TaglibDump(const fs::path& file) {
    RequireTool(Tool::Taglib);
    return ParseDump("taglib_dump",
                     RunOrThrow("taglib_dump", ShellQuote(COVRILO_TAGLIB_DUMP) + std::string(" ") + Q(file)));
}

::testing::AssertionResult FfmpegDecodesCleanly(const fs::path& file) {
    if (!HaveInteropTool(Tool::Ffmpeg)) return ::testing::AssertionFailure() << "ffmpeg is not available";
    ToolRun run = RunSeparately("ffmpeg -nostdin -v error -i " + Q(file) + " -map 0:a:0 -f null -");
    // ffmpeg decodes an attached picture while probing the file, even when only audio is asked
    // for; what its picture decoders say is about the picture, which has its own check.
    std::string audioMessages;
    size_t start = 0;
    while (start < run.err.size()) {
        size_t end = run.err.find('\n', start);
        if (end == std::string::npos) end = run.err.size() - 1;
        const std::string line = run.err.substr(start, end + 1 - start);
        bool picture = false;
        for (const char* decoder : {"[mjpeg @", "[png @", "[bmp @", "[gif @", "[webp @", "[tiff @"})
            picture = picture || line.starts_with(decoder);
        if (!picture) audioMessages += line;
        start = end + 1;
    }
    if (run.exitCode == 0 && audioMessages.empty() && run.out.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ffmpeg (exit " << run.exitCode << ") on " << file << ":\n"
                                         << run.err << run.out;
}

::testing::AssertionResult FfmpegDecodesAttachedPicture(const fs::path& file) {
    if (!HaveInteropTool(Tool::Ffmpeg)) return ::testing::AssertionFailure() << "ffmpeg is not available";
    ToolRun run = RunSeparately("ffmpeg -nostdin -v error -i " + Q(file) + " -map 0:v:0 -f null -");
    if (run.exitCode == 0 && run.err.empty() && run.out.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ffmpeg (exit " << run.exitCode << ") on the picture of " << file
                                         << ":\n" << run.err << run.out;
}

std::vector<JsonValue> FramesWithId(const JsonValue& dump, const std::string& id) {
    std::vector<JsonValue> frames;
    if (dump["id3v2"].IsNull()) return frames;
    for (const JsonValue& frame : dump["id3v2"]["frames"].Arr())
        if (frame["id"].Str() == id) frames.push_back(frame);
    return frames;
}

std::vector<std::string> FrameIds(const JsonValue& dump) {
    std::vector<std::string> ids;
    if (dump["id3v2"].IsNull()) return ids;
    for (const JsonValue& frame : dump["id3v2"]["frames"].Arr()) ids.push_back(frame["id"].Str());
    return ids;
}

ByteRange MpegAudioRange(const Bytes& d) {
    uint64_t begin = 0;
    // Leading ID3v2 tags; some files carry more than one.
    while (d.size() - begin >= 10 && Match(d, begin, "ID3") && d[begin + 3] < 0xFF && d[begin + 4] < 0xFF) {
        uint64_t size = uint64_t{Syncsafe(d, begin + 6)} + 10;
        if (d[begin + 3] == 4 && (d[begin + 5] & 0x10)) size += 10;  // footer
        if (size > d.size() - begin) break;
        begin += size;
    }
    uint64_t end = d.size();
    while (end > begin) {
        uint64_t block = TrailingBlockSize(d, begin, end);
        if (block == 0) break;
        end -= block;
    }
    return ByteRange{begin, end};
}

ByteRange MpegAudioRange(const fs::path& file) { return MpegAudioRange(ReadFileBytes(file)); }

Bytes MpegAudioBytes(const fs::path& file) {
    Bytes data = ReadFileBytes(file);
    ByteRange range = MpegAudioRange(data);
    return Bytes(data.begin() + static_cast<std::ptrdiff_t>(range.begin),
                 data.begin() + static_cast<std::ptrdiff_t>(range.end));
}

std::string Sha256OfBytes(const Bytes& data) { return Sha256Hex(data); }
std::string Sha256OfFile(const fs::path& file) { return Sha256Hex(ReadFileBytes(file)); }

}  // namespace covrilo::test
