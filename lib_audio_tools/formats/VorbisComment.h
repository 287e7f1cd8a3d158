// SPDX-License-Identifier: MIT
// The Vorbis comment block, shared by FLAC (metadata block type 4) and Ogg Vorbis (the
// comment packet after its "\x03vorbis" type):
//   vendor length (LE32), vendor bytes, entry count (LE32), then per entry its length
//   (LE32) and "NAME=value" (name ASCII, value UTF-8).
// Ogg adds a framing byte after the entries; the block itself does not hold it, so
// each container keeps or supplies it. What an entry means (case of names, duplicates,
// pictures, entries without "=") is left to the container: this unit only frames bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace covrilo {

// What a parse found. The views point into the parsed bytes.
struct TVorbisComment {
    std::optional<std::string_view> Vendor;  // the vendor bytes, when its length and bytes fit
    std::optional<uint32_t> Count;           // the announced entry count, read after the vendor
    std::vector<std::string_view> Entries;   // the entries read, in order, as stored
    bool Complete = false;                   // every announced entry was read
    size_t End = 0;                          // offset just after the count or the last entry read
};

// Reads as far as the data allows; never past its end. A count larger than the data can
// hold ends with the data (every entry takes at least its 4-byte length).
TVorbisComment ParseVorbisComment(std::span<const uint8_t> Data);

// One entry split at its first "=": the name upper-cased (ASCII only) and the value as
// stored. nullopt for an entry without "=".
struct TVorbisEntry {
    std::string Name;
    std::string_view Value;
};
std::optional<TVorbisEntry> SplitVorbisEntry(std::string_view Entry);

// Appends vendor length, vendor, count and the entries, each after its length. False
// (and Out unchanged) when a length or the count does not fit 32 bits.
bool AppendVorbisComment(std::vector<uint8_t>& Out, std::string_view Vendor,
                         std::span<const std::string> Entries);

}  // namespace covrilo
