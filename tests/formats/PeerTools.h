// SPDX-License-Identifier: MIT
// Real encoders and peer tag readers used as oracles by the interop tests: lame makes the
// MP3 fixtures, mutagen (under /usr/bin/python3) and TagLib read back what we write, and
// ffmpeg decodes the audio to show that it was left alone.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "support/TestSupport.h"

namespace covrilo::test {

inline const char* kSystemPython = "/usr/bin/python3";

inline bool HaveMutagen() {
    return HaveTool(kSystemPython) && RunCommand(std::string(kSystemPython) + " -c 'import mutagen'").exitCode == 0;
}

// A short real MP3 made by lame from a generated tone. extraLameArgs may add tags.
// Returns an error text, empty on success.
inline std::string MakeMp3WithLame(const std::filesystem::path& mp3, const std::string& extraLameArgs = "") {
    const std::filesystem::path wav = mp3.string() + ".wav";
    CommandResult r = RunCommand("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=1 -ac 1 -ar 44100 " +
                                 ShellQuote(wav.string()));
    if (r.exitCode != 0) return "ffmpeg: " + r.output;
    r = RunCommand("lame --quiet -b 64 " + extraLameArgs + " " + ShellQuote(wav.string()) + " " +
                   ShellQuote(mp3.string()));
    std::filesystem::remove(wav);
    if (r.exitCode != 0) return "lame: " + r.output;
    return {};
}

// MD5 of the decoded PCM, or empty when ffmpeg fails. Gapless trimming is left out: ffmpeg
// stops trimming the encoder's end padding as soon as any tag follows the audio (also
// after mutagen writes one), which would hide whether the frames themselves are intact.
inline std::string DecodedAudioMd5(const std::filesystem::path& file) {
    CommandResult r =
        RunCommand("ffmpeg -v error -flags2 +skip_manual -i " + ShellQuote(file.string()) + " -map 0:a -f md5 -");
    if (r.exitCode != 0) return {};
    const auto at = r.output.find("MD5=");
    return at == std::string::npos ? std::string() : r.output.substr(at, 36);
}

// Runs a Python snippet under the system interpreter with the file name as sys.argv[1].
inline CommandResult RunMutagen(const std::string& script, const std::filesystem::path& file) {
    return RunCommand(std::string(kSystemPython) + " -c " + ShellQuote(script) + " " + ShellQuote(file.string()));
}

// A tiny TagLib reader built once per test program: "ape FILE" prints the APE items of an
// MPEG file as KEY=VALUE lines (TagLib upper-cases keys; binary items print as
// KEY=<binary N>), "id3v1 FILE" prints the ID3v1 fields one per line.
inline std::optional<std::filesystem::path> TagLibChecker() {
    static TempDir dir;
    static std::optional<std::filesystem::path> built = [&]() -> std::optional<std::filesystem::path> {
        if (!HaveTool("c++") || RunCommand("pkg-config --exists taglib").exitCode != 0) return std::nullopt;
        const std::filesystem::path src = dir / "taglib_check.cpp";
        const std::filesystem::path exe = dir / "taglib_check";
        const std::string code = R"(
#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/id3v1tag.h>
#include <taglib/mpegfile.h>
#include <iostream>
#include <string>
int main(int argc, char** argv) {
    if (argc != 3) return 2;
    TagLib::MPEG::File f(argv[2], false);
    if (!f.isValid()) return 3;
    const std::string mode = argv[1];
    if (mode == "ape") {
        TagLib::APE::Tag* t = f.APETag(false);
        if (!t) return 4;
        for (const auto& kv : t->itemListMap()) {
            std::cout << kv.first.to8Bit(true) << "=";
            if (kv.second.type() == TagLib::APE::Item::Binary)
                std::cout << "<binary " << kv.second.binaryData().size() << ">";
            else
                std::cout << kv.second.values().toString("|").to8Bit(true);
            std::cout << "\n";
        }
    } else {
        TagLib::ID3v1::Tag* t = f.ID3v1Tag(false);
        if (!t) return 4;
        std::cout << t->title().to8Bit(true) << "\n" << t->artist().to8Bit(true) << "\n"
                  << t->album().to8Bit(true) << "\n" << t->year() << "\n" << t->comment().to8Bit(true) << "\n"
                  << t->track() << "\n" << t->genre().to8Bit(true) << "\n";
    }
    return 0;
}
)";
        WriteFileBytes(src, ToBytes(code));
        CommandResult r = RunCommand("c++ -std=c++17 -O0 -o " + ShellQuote(exe.string()) + " " +
                                     ShellQuote(src.string()) + " $(pkg-config --cflags --libs taglib)");
        if (r.exitCode != 0) return std::nullopt;
        return exe;
    }();
    return built;
}

}  // namespace covrilo::test
