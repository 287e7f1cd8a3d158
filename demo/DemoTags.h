// SPDX-License-Identifier: MIT
// What the demo files carry as tags, and the one place where they are written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace covrilo::demo {

struct DemoTrack {
    std::string FileName;  // "01 Morning Light.mp3": track number, then the title
    std::string Title;     // UTF-8
    std::string Artist;
    std::string Album;
    std::string Year;
    int TrackNo = 0;
    double Seconds = 3.0;
    bool Mono = false;
    uint16_t Id3Version = 0x0300;  // version word of the tag to write; 0 leaves the file untagged
};

// Writes the track's title, artist, album, track number, year and a comment into the finished
// audio file as an ID3v2 tag through our engine (UTF-16 text for 2.3, UTF-8 for 2.4).
// Answers whether a tag was written; raises what the engine raises.
bool TagDemoFile(const std::filesystem::path& File, const DemoTrack& Track);

}  // namespace covrilo::demo
