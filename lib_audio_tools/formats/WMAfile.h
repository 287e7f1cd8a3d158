// SPDX-License-Identifier: MIT
// Read-only access to WMA (ASF) files: stream parameters from the file and stream properties,
// and the text tags of the content description and extended content description objects.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace covrilo {

class TStream;

class TWMAfile {
   public:
    TWMAfile();
    void ResetData();
    // False when the file could not be opened or read; Valid tells whether it is a plausible
    // WMA file, and only then are the other fields filled.
    bool ReadFromFile(const std::filesystem::path& FileName);
    // The same over an open stream, read from its start.
    bool ReadFromStream(TStream& Stream);

    bool Valid = false;
    int64_t FileSize = 0;
    uint8_t ChannelModeID = 0;  // number of channels
    int SampleRate = 0;         // Hz
    double Duration = 0;        // seconds
    int BitRate = 0;            // kbit/s
    std::u16string Title;
    std::u16string Artist;
    std::u16string Album;
    int TrackNo = 0;
    std::u16string Year;
    std::u16string Genre;
    std::u16string Comment;
};

}  // namespace covrilo
