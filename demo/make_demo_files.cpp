// SPDX-License-Identifier: MIT
// make_demo_files [OUTDIR]: writes a handful of small MP3 files of silent MPEG-1 Layer III
// audio, most with an ID3v2 tag written by our engine, and a cover JPEG larger than the
// default size limits into OUTDIR (default "build/demo"), for trying the tool without music
// of one's own.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "DemoCover.h"
#include "DemoMp3.h"
#include "DemoTags.h"

namespace fs = std::filesystem;
using namespace covrilo::demo;

namespace {

const std::vector<DemoTrack>& Tracks() {
    // Both tag versions the tool writes, non-ASCII text, a mono file and an untagged one.
    static const std::vector<DemoTrack> tracks = {
        {"01 Morning Light.mp3", "Morning Light", "The Demo Ensemble", "Covrilo Demo", "2024", 1, 4.0, false,
         0x0300},
        {"02 Caf\xC3\xA9 Stra\xC3\x9F"
         "e.mp3",
         "Caf\xC3\xA9 Stra\xC3\x9F"
         "e",
         "The Demo Ensemble", "Covrilo Demo", "2024", 2, 3.0, false, 0x0300},
        {"03 Long Walk.mp3", "Long Walk", "The Demo Ensemble", "Covrilo Demo", "2024", 3, 8.0, false, 0x0400},
        {"04 Mono Sketch.mp3", "Mono Sketch", "Solo Demo", "Covrilo Demo", "2024", 4, 2.0, true, 0x0400},
        {"05 Short.mp3", "Short", "The Demo Ensemble", "Covrilo Demo", "2024", 5, 0.5, false, 0},
    };
    return tracks;
}

// Writes next to the target and renames, so that an interrupted run leaves no half file.
void WriteFile(const fs::path& File, const std::vector<uint8_t>& Data) {
    const fs::path part = File.string() + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(part, ignored);
            throw std::runtime_error("cannot write " + part.string());
        }
    }
    fs::rename(part, File);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h"))) {
        std::fprintf(stderr, "usage: make_demo_files [OUTDIR]   (default build/demo)\n");
        return argc > 2 ? 2 : 0;
    }
    const fs::path outDir = argc == 2 ? fs::path(argv[1]) : fs::path("build/demo");
    try {
        fs::create_directories(outDir);
        const fs::path cover = outDir / "cover.jpg";
        WriteFile(cover, MakeCoverJpeg(kCoverWidth, kCoverHeight));
        std::printf("%s (%d x %d)\n", cover.string().c_str(), kCoverWidth, kCoverHeight);
        for (const DemoTrack& track : Tracks()) {
            const fs::path file = outDir / track.FileName;
            WriteFile(file, MakeSilentMpegAudio(FramesForSeconds(track.Seconds), track.Mono));
            const bool tagged = TagDemoFile(file, track);
            if (track.Id3Version != 0 && !tagged) throw std::runtime_error("cannot tag " + file.string());
            std::printf("%s (%.1f s%s, %s)\n", file.string().c_str(), track.Seconds,
                        track.Mono ? ", mono" : "",
                        tagged ? (track.Id3Version >= 0x0400 ? "ID3v2.4" : "ID3v2.3") : "untagged");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_demo_files: %s\n", e.what());
        return 1;
    }
    return 0;
}
