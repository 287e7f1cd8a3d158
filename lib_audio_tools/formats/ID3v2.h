// SPDX-License-Identifier: MIT
// A small read-only ID3v2 reader: the whole size of a tag at the start of a file, and up to
// 17 common text frames of a 2.2, 2.3 or 2.4 tag as one-byte strings in the system code page.
// Used to skip a tag in front of FLAC audio and to read tags the full engine does not take.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace covrilo {

class TStream;

class TID3v2 {
   public:
    TID3v2();
    void ResetData();
    // False only when the first 10 bytes cannot be read; Exists tells whether a tag was found.
    bool ReadFromFile(const std::filesystem::path& FileName);
    // The same over an open stream, read from its start.
    bool ReadFromStream(TStream& Stream);

    bool Exists = false;
    uint8_t VersionID = 0;  // major version, header byte 3
    int Size = 0;           // whole tag with header and footer; 0 when it would exceed the file
    std::string Title;
    std::string Artist;
    std::string Album;
    uint16_t TrackNo = 0;
    std::string TrackString;
    std::string Year;
    std::string Genre;
    std::string Comment;
    std::string Composer;
    std::string EncodedBy;
    std::string Copyright;
    std::string Language;
    std::string URL;
    std::string SizeText;
};

}  // namespace covrilo
