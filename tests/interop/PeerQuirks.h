// SPDX-License-Identifier: MIT
// Small MP3 files whose ID3v2 tags are written the way other taggers write them, quirks and
// all: iTunes' plain 2.4 frame sizes and non-standard 2.2 identifiers, a frame named "Date",
// 2.2 names in a 2.3 tag, a length indicator its frame cannot hold, a stray extended-header
// flag, extended headers with a CRC, chapters, frames with an encoding byte the engine does
// not model, the 2.3 and 2.4 dates, duplicate frames, a genre number without a name, picture
// types beyond the table, a comment's language, compressed frames, junk padding, frames
// without content, and tags whose frames cannot all be read. Each is built byte by byte here;
// the audio is a real encoder's.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace covrilo::test {

struct PeerQuirk {
    std::string Name;  // also the file name, with ".mp3"
    Bytes Tag;         // the ID3v2 tag, header included
    bool WithID3v1 = false;
    // What a save may do with it: "" every operation keeps it; "refused" every one is refused;
    // "refused-2.3" the saves as 2.3 are refused, the others keep it.
    std::string Refusal = {};
};

std::vector<PeerQuirk> PeerQuirks();

// The picture every quirk file that holds one uses (a small JFIF JPEG), and a second one.
Bytes QuirkJpeg(uint8_t Seed);

// Writes every quirk into Folder as NAME.mp3: the tag, then Audio (an MP3 stream), then an
// ID3v1 record where the quirk asks for one. Returns the paths in order.
std::vector<std::filesystem::path> WritePeerQuirks(const std::filesystem::path& Folder, const Bytes& Audio);

}  // namespace covrilo::test
