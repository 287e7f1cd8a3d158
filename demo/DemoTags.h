// SPDX-License-Identifier: MIT
// What the demo files carry as tags, and the one place where they are written.
#pragma once

#include <filesystem>
#include <string>

namespace covrilo::demo {

struct DemoTrack {
    std::string fileName;  // "01 Demo Track.mp3"
    std::string title;     // UTF-8
    std::string artist;
    std::string album;
    std::string year;
    int trackNo = 0;
    double seconds = 3.0;
    bool mono = false;
};

// Writes the track's tags into the finished audio file. Answers whether a tag was written.
// The files stay untagged until the ID3v2 engine can save tags; this is the only function
// that changes then.
bool TagDemoFile(const std::filesystem::path& file, const DemoTrack& track);

}  // namespace covrilo::demo
